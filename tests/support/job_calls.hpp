#pragma once
// Render-job requests (protocol 0) as the end-to-end tests send them: one
// request per connection, its answer read back, and polling for a job state.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zs::test {

// The protocol word 0 and the 112-byte header; the caller appends the body.
// `body_length` is what the header announces, whatever follows.
std::vector<std::uint8_t> job_request_bytes(std::int32_t type, std::int32_t id,
                                            std::int32_t body_length,
                                            const std::string& password = "");

struct job_call_options {
    std::string password;
    std::optional<std::int32_t> announced_length; // the body's size unless set
    bool wait_close = false; // waits for the server to close (sets closed_after)
    std::string source;      // the client's address, when not 127.0.0.1
};

struct job_reply {
    std::int32_t password_word = -2; // -2: it never came
    std::int32_t status = -2;        // -2: no answer header came
    std::int32_t id = -2;
    std::int32_t length = 0; // the body length the header announced
    std::int32_t extra = 0;
    std::string body;
    bool padding_zero = false; // the header's last 96 bytes are zero
    bool closed_after = false; // with wait_close: closed with nothing after the answer
};

// One request. The answer header is read for the four known request types
// once the password word is 1; the server answers nothing to other types.
job_reply job_call(std::uint16_t port, std::int32_t type, std::int32_t id, const std::string& body,
                   const job_call_options& options = {});

// Polls the job's state until it is `status`; false after `limit` or once
// the job is unknown (status -1, it can never come back).
bool wait_job_state(std::uint16_t port, std::int32_t id, std::int32_t status,
                    std::chrono::milliseconds limit);

} // namespace zs::test
