#pragma once
// The TCP service: an acceptor with its own thread, a pool of I/O threads for
// the connections, and the list of live connections.
#include "core/lifecycle.hpp"
#include "net/connection_manager.hpp"
#include "net/io_service_pool.hpp"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace zs::net {

struct server_settings {
    std::function<std::uint16_t()> port; // read at each start; default ZEBRIX_TCP_PORT
    std::size_t pool_size = 5;
    connection_settings connection;
    std::chrono::milliseconds stop_drain{3000};  // bound on the stop's wait for pool threads
    std::chrono::milliseconds accept_retry{100}; // after a failed accept (e.g. no descriptors)
    // Runs on the acceptor thread once per log period and at stop, for the
    // summaries other parts of the service write.
    std::function<void()> log_summaries;
};

class zebsock_server final : public core::service_piece {
public:
    explicit zebsock_server(session_factories factories, server_settings settings = {});
    ~zebsock_server() override;

    // Errors go to standard error as "exception: " + text, and give false.
    bool start() override;
    void stop() override;
    std::string failure() const override { return failure_; }
    // Only while stopped (connections refer to the factories).
    void set_factories(session_factories factories) { factories_ = std::move(factories); }
    bool started() const { return acceptor_thread_.joinable(); }
    std::size_t connection_count() const { return manager_.size(); }

private:
    void start_accept();
    void handle_accept(const boost::system::error_code& ec);
    void run_acceptor();
    bool admit(); // next_ may be served; else it is closed at once and counted
    void arm_log_timer();
    void write_summaries();

    session_factories factories_;
    server_settings settings_;
    boost::asio::io_context acceptor_context_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer accept_retry_timer_;
    boost::asio::steady_timer log_timer_;
    std::thread acceptor_thread_;
    std::shared_ptr<zebsock_connection> next_;
    io_service_pool pool_;
    connection_manager manager_;
    std::string failure_; // of the last failed start
    std::size_t total_cap_ = 0;
    // Connections refused since the last summary, per client address
    // (acceptor thread only).
    std::map<boost::asio::ip::address, std::size_t> refused_;
};

} // namespace zs::net
