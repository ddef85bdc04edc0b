#pragma once
// Byte layout of the records the writer produces, and the time conversions
// its fields need.
#include <cstdint>
#include <ctime>
#include <string>

namespace zs::zip {

inline constexpr std::uint32_t local_header_signature = 0x04034B50;
inline constexpr std::uint32_t central_header_signature = 0x02014B50;
inline constexpr std::uint32_t end_record_signature = 0x06054B50;
inline constexpr std::uint16_t version_needed = 20;
inline constexpr std::uint16_t version_made_by = 0x0B17;
inline constexpr std::uint16_t timestamp_extra_id = 0x5455; // "UT"
inline constexpr std::uint16_t local_extra_size = 17;       // id, size, flags, 3 times
inline constexpr std::uint16_t central_extra_size = 9;      // id, size, flags, 1 time
inline constexpr std::uint16_t flags_max_compression = 2;
inline constexpr std::uint16_t method_stored = 0;
inline constexpr std::uint16_t method_deflated = 8;
inline constexpr std::uint32_t folder_attributes = 0x41C00010;
inline constexpr std::size_t max_name_bytes = 259;

struct dos_stamp {
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};

// MS-DOS fields of a Unix time taken in UTC (years clamped to 1980..2107).
dos_stamp dos_stamp_utc(std::time_t t);

// The local wall-clock time now, as MS-DOS fields and as a Unix time that
// reads that wall-clock time as if it were UTC.
struct local_now {
    dos_stamp stamp;
    std::uint32_t unix_time = 0;
};
local_now local_time_now();

// Appends little-endian integers to a byte string.
class byte_sink {
public:
    void u16(std::uint16_t v) {
        bytes.push_back(static_cast<char>(v & 0xFF));
        bytes.push_back(static_cast<char>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v & 0xFFFF));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void text(const std::string& s) { bytes += s; }
    std::string bytes;
};

// True when the name's extension (from its last ".", any case) marks data
// that is compressed already and is stored as it is.
bool is_stored_extension(const std::string& name);

} // namespace zs::zip
