#pragma once
// Protocol-0 records: the fixed request header a render-job client sends and
// the fixed response header the server answers with. Every integer is a
// little-endian word; parsing never looks past the record.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zs::protocol {

// Request types.
inline constexpr std::int32_t JOB_SUBMIT = 0;
inline constexpr std::int32_t JOB_FETCH_RESULT = 1;
inline constexpr std::int32_t JOB_STATUS = 2;
inline constexpr std::int32_t JOB_FETCH_ARCHIVE = 4;

inline constexpr std::size_t job_request_size = 112;
inline constexpr std::size_t job_response_size = 116;
inline constexpr std::int32_t max_job_body = 0x1000000;
inline constexpr std::size_t job_password_size = 64;

struct JOB_REQUEST_HEADER {
    std::int32_t type = 0;
    std::int32_t id = 0;          // ignored by JOB_SUBMIT
    std::int32_t body_length = 0; // as sent; see body_length_valid
    std::string password;         // up to the first NUL, at most 64 bytes

    // Nothing when fewer than 112 bytes are given; bytes past them are not read.
    static std::optional<JOB_REQUEST_HEADER> from_bytes(std::span<const std::uint8_t> bytes);
    // Reserved bytes are zero; a longer password is cut to 64 bytes.
    std::array<std::uint8_t, job_request_size> to_bytes() const;

    bool body_length_valid() const { return body_length >= 0 && body_length <= max_job_body; }
};

struct JOB_RESPONSE_HEADER {
    std::int32_t status = 0; // -1 error, 0 done, 1 accepted or rendering, 2 waiting
    std::int32_t id = 0;
    std::int32_t body_length = 0; // of the error text or file that follows
    std::int32_t extra = 0;       // queue position minus 1, or a result's number

    // Nothing when fewer than 116 bytes are given.
    static std::optional<JOB_RESPONSE_HEADER> from_bytes(std::span<const std::uint8_t> bytes);
    // The leading word and the 96 trailing bytes are zero.
    std::array<std::uint8_t, job_response_size> to_bytes() const;
};

} // namespace zs::protocol
