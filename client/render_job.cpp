#include "client/render_job.hpp"

#include "client/whole_number.hpp"

#include <cstring>
#include <vector>

namespace zs::client {

namespace {

constexpr std::size_t header_size = 112;
constexpr std::size_t password_offset = 48;
constexpr std::size_t password_size = 64;
constexpr std::size_t answer_size = 116;

std::int32_t word_at(const std::vector<std::uint8_t>& b, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | b[offset + static_cast<std::size_t>(i)];
    }
    return static_cast<std::int32_t>(v);
}

} // namespace

bool exchange(const common_options& o, std::int32_t type, std::int32_t id, const std::string& body,
              job_reply& reply, std::string& error) {
    session s(std::chrono::milliseconds(o.timeout_ms));
    const std::string where = address_text(o.host, o.port);
    if (!s.connect(o.host, o.port)) {
        error = "cannot connect to " + where + ": " + s.error();
        return false;
    }
    std::vector<std::uint8_t> header(header_size, 0);
    const std::int32_t words[3] = {type, id, static_cast<std::int32_t>(body.size())};
    for (std::size_t w = 0; w < 3; ++w) {
        for (std::size_t i = 0; i < 4; ++i) {
            header[w * 4 + i] =
                static_cast<std::uint8_t>(static_cast<std::uint32_t>(words[w]) >> (8 * i));
        }
    }
    std::memcpy(header.data() + password_offset, o.password.data(),
                std::min(password_size, o.password.size()));
    if (!s.write_word(0) || !s.write_bytes(header.data(), header.size()) ||
        (!body.empty() && !s.write_bytes(body.data(), body.size()))) {
        error = where + ": " + s.error();
        return false;
    }
    const auto password_ok = s.read_word();
    if (!password_ok || *password_ok == 0) {
        error = where + ": " + (password_ok ? "the server refused the password" : s.error());
        return false;
    }
    const auto response = s.read_exact(answer_size);
    if (!response) {
        error = where + ": " + s.error();
        return false;
    }
    reply.status = word_at(*response, 4);
    reply.id = word_at(*response, 8);
    const std::int32_t length = word_at(*response, 12);
    reply.extra = word_at(*response, 16);
    if (length > 0) {
        const auto data = s.read_exact(static_cast<std::size_t>(length));
        if (!data) {
            error = where + ": " + s.error();
            return false;
        }
        reply.body.assign(data->begin(), data->end());
    }
    if (reply.status == job_error) {
        error = reply.body;
        return false;
    }
    return true;
}

std::string state_text(const job_reply& r) {
    if (r.status == job_waiting) {
        return "waiting, position " + std::to_string(r.extra + 1);
    }
    return r.status == job_rendering ? "rendering" : "done";
}

bool parse_job_id(const std::string& text, std::int32_t& id) {
    const auto value = parse_whole(text, 0, INT32_MAX);
    if (!value) {
        return false;
    }
    id = static_cast<std::int32_t>(*value);
    return true;
}

bool render_output_option(const std::string& arg) {
    return arg == "-o" || arg == "--output";
}

} // namespace zs::client
