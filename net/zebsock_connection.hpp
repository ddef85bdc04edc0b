#pragma once
// One accepted TCP socket: reads the protocol number, hands itself to the
// session that number selects, or refuses it.
#include "net/connection_limits.hpp"
#include "net/proto_interface.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace zs::net {

class connection_manager;

struct connection_settings {
    std::chrono::milliseconds refusal_pause{500}; // before a refused connection is closed
    connection_limits limits;
};

class zebsock_connection : public std::enable_shared_from_this<zebsock_connection> {
public:
    zebsock_connection(boost::asio::io_context& context, connection_manager& manager,
                       const session_factories& factories, connection_settings settings);
    ~zebsock_connection();
    zebsock_connection(const zebsock_connection&) = delete;
    zebsock_connection& operator=(const zebsock_connection&) = delete;

    boost::asio::ip::tcp::socket& socket() { return socket_; }
    // The client's address as the accept gave it, so that no session asks
    // the system for it again; unspecified for a connection not accepted.
    const boost::asio::ip::tcp::endpoint& peer() const { return peer_; }
    boost::asio::ip::tcp::endpoint& accepted_peer() { return peer_; }
    boost::asio::any_io_executor executor() { return socket_.get_executor(); }

    // Reads the protocol number; on the connection's I/O thread.
    void start();
    // Closes the socket and leaves the manager's list; on the I/O thread.
    void close();
    // Server stop, from another thread: marks closing at once, then closes on
    // the I/O thread and tells the session.
    void close_from_outside();
    // Posts work to the I/O thread unless the connection is closing.
    bool post_if_open(std::function<void()> work);
    bool closing() const;

    // The session is logged in (or has read its whole request): the login
    // deadline no longer closes it, nor does a new connection push it out.
    void logged_in();
    // Closes the connection if it is still not logged in (to make room for a
    // new one); from any thread.
    void push_out();

private:
    void handle_protocol(const boost::system::error_code& ec, std::size_t bytes);
    void refuse();
    void handle_refusal_written(const boost::system::error_code& ec);
    void handle_refusal_pause(const boost::system::error_code& ec);
    void handle_deadline(const boost::system::error_code& ec);
    void close_unlogged();
    bool mark_closing(); // true for the first caller

    boost::asio::ip::tcp::socket socket_;
    boost::asio::ip::tcp::endpoint peer_;
    boost::asio::steady_timer pause_;
    boost::asio::steady_timer deadline_;
    bool logging_in_ = false; // I/O thread only
    connection_manager& manager_;
    const session_factories& factories_;
    connection_settings settings_;
    std::array<std::uint8_t, 8> exchange_{};
    std::unique_ptr<proto_interface> session_;
    mutable std::mutex mutex_; // guards the two flags
    bool registered_ = true;
    bool closing_ = false;
};

} // namespace zs::net
