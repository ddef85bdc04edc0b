#include "protocol/proto0_records.hpp"

#include "net/wire.hpp"

#include <algorithm>
#include <cstring>

namespace zs::protocol {

namespace {
constexpr std::size_t password_offset = 48;
}

std::optional<JOB_REQUEST_HEADER>
JOB_REQUEST_HEADER::from_bytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < job_request_size) {
        return std::nullopt;
    }
    const std::uint8_t* b = bytes.data();
    const char* text = reinterpret_cast<const char*>(b + password_offset);
    return JOB_REQUEST_HEADER{net::read_word(b), net::read_word(b + 4), net::read_word(b + 8),
                              std::string(text, strnlen(text, job_password_size))};
}

std::array<std::uint8_t, job_request_size> JOB_REQUEST_HEADER::to_bytes() const {
    std::array<std::uint8_t, job_request_size> out{};
    net::write_word(out.data(), type);
    net::write_word(out.data() + 4, id);
    net::write_word(out.data() + 8, body_length);
    std::memcpy(out.data() + password_offset, password.data(),
                std::min(job_password_size, password.size()));
    return out;
}

std::optional<JOB_RESPONSE_HEADER>
JOB_RESPONSE_HEADER::from_bytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < job_response_size) {
        return std::nullopt;
    }
    const std::uint8_t* b = bytes.data();
    return JOB_RESPONSE_HEADER{net::read_word(b + 4), net::read_word(b + 8), net::read_word(b + 12),
                               net::read_word(b + 16)};
}

std::array<std::uint8_t, job_response_size> JOB_RESPONSE_HEADER::to_bytes() const {
    std::array<std::uint8_t, job_response_size> out{};
    net::write_word(out.data() + 4, status);
    net::write_word(out.data() + 8, id);
    net::write_word(out.data() + 12, body_length);
    net::write_word(out.data() + 16, extra);
    return out;
}

} // namespace zs::protocol
