#pragma once
// Deflates one stream as a chain of blocks compressed on a few threads at
// once. Each block starts with the 32 KiB before it as its dictionary and
// ends byte-aligned, so the blocks joined in order are one raw deflate
// stream. Where the blocks fall depends on the data alone: the output is the
// same whatever the number of threads.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace zs::zip {

inline constexpr std::size_t deflate_block_size = 256 * 1024;

enum class deflate_status { ok, read_failed, write_failed, flate_failed };

struct deflate_totals {
    std::uint32_t crc = 0;
    std::uint64_t in = 0;
    std::uint64_t out = 0;
};

// Up to size bytes into data, got 0 at the end; false on a read error.
using deflate_read = std::function<bool(char* data, std::size_t size, std::size_t& got)>;
// False when the bytes could not be stored.
using deflate_write = std::function<bool(const char* data, std::size_t size)>;

// Raw deflate at level 8 with the tuned match parameters, from read to the
// end, handed to write in order. threads 0: one per processor. Every thread
// it starts has ended when it returns, whatever the outcome.
deflate_status deflate_stream(const deflate_read& read, const deflate_write& write,
                              unsigned threads, deflate_totals& totals);

} // namespace zs::zip
