#include "client/render_job.hpp"

#include "client/whole_number.hpp"

namespace zs::client {

bool exchange(const common_options& o, std::int32_t type, std::int32_t id, const std::string& body,
              job_reply& reply, std::string& error) {
    session s(std::chrono::milliseconds(o.timeout_ms));
    const std::string where = address_text(o.host, o.port);
    if (!s.connect(o.host, o.port)) {
        error = "cannot connect to " + where + ": " + s.error();
        return false;
    }
    const auto header =
        protocol::JOB_REQUEST_HEADER{type, id, static_cast<std::int32_t>(body.size()), o.password}
            .to_bytes();
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
    const auto response = s.read_exact(protocol::job_response_size);
    if (!response) {
        error = where + ": " + s.error();
        return false;
    }
    const auto answer = *protocol::JOB_RESPONSE_HEADER::from_bytes(*response);
    reply.status = answer.status;
    reply.id = answer.id;
    const std::int32_t length = answer.body_length;
    reply.extra = answer.extra;
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
