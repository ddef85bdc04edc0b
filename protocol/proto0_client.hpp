#pragma once
// The render-job protocol: one request per connection (submit a job, ask for
// its state, fetch its result file or an archive of its folder), then close.
#include "protocol/job_queue.hpp"
#include "protocol/login_guard.hpp"
#include "protocol/proto0_records.hpp"
#include "protocol/session_base.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zs::protocol {

struct proto0_settings {
    job_queue* queue = nullptr;
    std::function<std::string()> password; // the configured one, lower case
    std::chrono::milliseconds close_pause = default_close_pause;
    login_guard* guard = nullptr; // as for protocol 1
};

class proto0_client final : public session_base {
public:
    proto0_client(std::shared_ptr<net::zebsock_connection> connection,
                  const proto0_settings& settings);
    void start() override;

private:
    void handle_header(const boost::system::error_code& ec, std::size_t bytes);
    void refuse_password();
    void handle_password_written(const boost::system::error_code& ec, std::size_t bytes);
    void read_body_chunk();
    void handle_body(const boost::system::error_code& ec, std::size_t bytes);
    void handle_response_written(const boost::system::error_code& ec, std::size_t bytes);
    void dispatch();
    void submit();
    void status();
    void fetch(bool archive);
    void send_error(const std::string& text);
    void send_response(std::int32_t status, std::int32_t id, std::int32_t extra);

    const proto0_settings& settings_;
    std::array<std::uint8_t, job_request_size> request_{}; // as read
    JOB_REQUEST_HEADER header_;                            // parsed from it
    std::vector<std::uint8_t> body_;
    std::string reply_body_;
    bool word_pending_ = false; // the password word 1 is not written yet
};

// The factory the TCP service calls for each connection with protocol 0.
net::session_factory make_proto0_factory(const proto0_settings& settings);

} // namespace zs::protocol
