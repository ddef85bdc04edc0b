#pragma once
// Result codes of the ZIP writer and the text that describes each.
#include <cstdint>

namespace zs::zip {

using zip_result = std::uint32_t;

inline constexpr zip_result ZR_OK = 0x00000000;
inline constexpr zip_result ZR_NODUPH = 0x00000100;
inline constexpr zip_result ZR_NOFILE = 0x00000200;
inline constexpr zip_result ZR_NOALLOC = 0x00000300;
inline constexpr zip_result ZR_WRITE = 0x00000400;
inline constexpr zip_result ZR_NOTFOUND = 0x00000500;
inline constexpr zip_result ZR_MORE = 0x00000600;
inline constexpr zip_result ZR_CORRUPT = 0x00000700;
inline constexpr zip_result ZR_READ = 0x00000800;
inline constexpr zip_result ZR_ARGS = 0x00010000;
inline constexpr zip_result ZR_NOTMMAP = 0x00020000;
inline constexpr zip_result ZR_MEMSIZE = 0x00030000;
inline constexpr zip_result ZR_FAILED = 0x00040000;
inline constexpr zip_result ZR_ENDED = 0x00050000;
inline constexpr zip_result ZR_MISSIZE = 0x00060000;
inline constexpr zip_result ZR_PARTIALUNZ = 0x00070000;
inline constexpr zip_result ZR_ZMODE = 0x00080000;
inline constexpr zip_result ZR_NOTINITED = 0x01000000;
inline constexpr zip_result ZR_SEEK = 0x02000000;
inline constexpr zip_result ZR_NOCHANGE = 0x04000000;
inline constexpr zip_result ZR_FLATE = 0x05000000;

// "unknown zip result code" for any code not listed.
const char* zip_result_text(zip_result code);

} // namespace zs::zip
