#pragma once
// The protocol-1 session: challenge handshake, client-type choice, request
// loop with the keep-alive watchdog, and the queue of response frames.
#include "protocol/login_guard.hpp"
#include "protocol/proto1_interface.hpp"
#include "protocol/session_base.hpp"

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace zs::protocol {

// Read at use time, so a changed password or name applies to the next session.
struct proto1_settings {
    std::function<std::string()> password;
    std::function<std::string()> identity_text;
    std::function<std::string()> server_name;
    proto1_clients clients;
    std::chrono::milliseconds keepalive_limit{5000};
    std::chrono::milliseconds close_pause = default_close_pause;
    // Replies and events queued for a client that does not read them; past
    // this the session is closed rather than let them pile up.
    std::size_t unsent_limit = max_unsent_bytes;
    // Slows wrong passwords down per client address; without one each
    // refusal is answered at once and logged.
    login_guard* guard = nullptr;
};

// The factory the TCP service calls for protocol number 1.
net::session_factory make_proto1_factory(std::shared_ptr<const proto1_settings> settings);

// True when the password check passes for this challenge and answer.
bool password_accepts(const std::string& password, const std::array<std::uint8_t, 16>& challenge,
                      const std::array<std::uint8_t, 16>& answer);
std::array<std::uint8_t, 16> challenge_digest(const std::array<std::uint8_t, 16>& challenge,
                                              const std::string& password);

class proto1_client final : public session_base, public proto1_session {
public:
    proto1_client(std::shared_ptr<net::zebsock_connection> connection,
                  std::shared_ptr<const proto1_settings> settings);
    ~proto1_client() override;

    void start() override;

    send_outcome send_response(std::shared_ptr<ZebResponse> response) override;
    void read_request() override;
    void close_session() override { session_base::close_session(); }
    void post_close_session() override;
    void async_write_word(std::int32_t value, std::function<void()> on_written) override;
    void post_work(std::function<void()> work) override;
    void request_done(bool keep) override;
    // Keeps a read pending and closes when the peer closes (song client).
    void wait_for_peer_close();

private:
    void on_closing() override;
    void write_word_then(std::int32_t value, void (proto1_client::*next)());
    void read_answer();
    void handle_answer();
    void read_client_type();
    void handle_client_type();
    void handle_header();
    void handle_body();
    void dispatch(std::shared_ptr<ZebRequest> request);
    void arm_watchdog();
    void handle_watchdog(const boost::system::error_code& ec, unsigned armed);
    struct frame {
        std::shared_ptr<const std::vector<std::uint8_t>> bytes;
        std::function<void()> on_written;
        bool counted = false; // a response, counted in unsent_
    };
    void queue_frame(frame f);
    void handle_peer_data(const boost::system::error_code& ec);
    void write_next_frame();
    bool io_failed(const boost::system::error_code& ec);
    void handle_frame_written(const boost::system::error_code& ec);

    std::shared_ptr<const proto1_settings> settings_;
    std::array<std::uint8_t, 16> challenge_{};
    std::array<std::uint8_t, 16> answer_{};
    std::array<std::uint8_t, request_header_size> header_bytes_{};
    std::array<std::uint8_t, 4> word_{};
    std::vector<std::uint8_t> body_;
    std::shared_ptr<ZebRequest> pending_;
    std::unique_ptr<boost::asio::steady_timer> watchdog_;
    unsigned keepalive_counter_ = 0;
    bool request_running_ = false;  // handed to the client object, not yet answered
    bool watchdog_expired_ = false; // while it ran: the session closes once it is answered
    std::deque<frame> frames_;
    std::atomic<std::size_t> unsent_{0}; // bytes of responses accepted and not yet written
    std::array<std::uint8_t, 256> discard_{};
    std::mutex post_mutex_;                                // guards post_target_
    std::shared_ptr<net::zebsock_connection> post_target_; // for other threads; null once closed
    std::unique_ptr<proto1_interface> client_;             // destroyed first (declared last)
};

} // namespace zs::protocol
