#include "tests/support/job_calls.hpp"

#include "client/client_session.hpp"
#include "protocol/proto0_records.hpp"

#include <algorithm>
#include <thread>

namespace zs::test {

using namespace std::chrono_literals;

std::vector<std::uint8_t> job_request_bytes(std::int32_t type, std::int32_t id,
                                            std::int32_t body_length, const std::string& password) {
    const auto header = protocol::JOB_REQUEST_HEADER{type, id, body_length, password}.to_bytes();
    std::vector<std::uint8_t> bytes(4 + header.size(), 0); // protocol 0, then the header
    std::copy(header.begin(), header.end(), bytes.begin() + 4);
    return bytes;
}

job_reply job_call(std::uint16_t port, std::int32_t type, std::int32_t id, const std::string& body,
                   const job_call_options& options) {
    client::session s(20s);
    auto request = job_request_bytes(
        type, id, options.announced_length.value_or(static_cast<std::int32_t>(body.size())),
        options.password);
    request.insert(request.end(), body.begin(), body.end());
    job_reply r;
    s.set_source(options.source);
    if (!s.connect("127.0.0.1", port) || !s.write_bytes(request.data(), request.size())) {
        return r;
    }
    r.password_word = s.read_word().value_or(-2);
    const bool known = type == protocol::JOB_SUBMIT || type == protocol::JOB_FETCH_RESULT ||
                       type == protocol::JOB_STATUS || type == protocol::JOB_FETCH_ARCHIVE;
    if (r.password_word != 1 || !known) {
        if (options.wait_close) {
            std::size_t extra_bytes = 0;
            r.closed_after = s.wait_closed(&extra_bytes) && extra_bytes == 0;
        }
        return r;
    }
    const auto head = s.read_exact(protocol::job_response_size);
    if (!head) {
        return r;
    }
    const auto header = *protocol::JOB_RESPONSE_HEADER::from_bytes(*head);
    r.status = header.status;
    r.id = header.id;
    r.length = header.body_length;
    r.extra = header.extra;
    r.padding_zero = std::all_of(head->begin() + 20, head->end(), [](auto b) { return b == 0; });
    if (r.length > 0) {
        if (const auto data = s.read_exact(static_cast<std::size_t>(r.length))) {
            r.body.assign(data->begin(), data->end());
        }
    }
    if (options.wait_close) {
        std::size_t extra_bytes = 0;
        r.closed_after = s.wait_closed(&extra_bytes) && extra_bytes == 0;
    }
    return r;
}

bool wait_job_state(std::uint16_t port, std::int32_t id, std::int32_t status,
                    std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        const std::int32_t now = job_call(port, protocol::JOB_STATUS, id, "").status;
        if (now == status) {
            return true;
        }
        if (now == -1) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

} // namespace zs::test
