#pragma once
// What every session (protocol 0 and protocol 1) shares: its reference to the
// connection, raw reads and writes on it, and the close after a pause.
//
// For the protocol-0 session: derive from session_base, start with
// async_read_exact / async_write_all; handlers run on the connection's I/O
// thread and are not called once the session is closed; call close_session()
// to end (it pauses with a timer, never a sleep).
#include "net/proto_interface.hpp"
#include "net/zebsock_connection.hpp"

#include <boost/asio/steady_timer.hpp>
#include <boost/system/error_code.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zs::protocol {

inline constexpr std::chrono::milliseconds default_close_pause{500};

class session_base : public net::proto_interface {
public:
    session_base(std::shared_ptr<net::zebsock_connection> connection,
                 std::chrono::milliseconds close_pause = default_close_pause);
    ~session_base() override;

    void connection_closed() override;

protected:
    using io_handler = std::function<void(const boost::system::error_code&, std::size_t)>;

    // Reads exactly `size` bytes into `data` (which must outlive the read).
    void async_read_exact(void* data, std::size_t size, io_handler handler);
    // Reads whatever arrives, at most `size` bytes.
    void async_read_some(void* data, std::size_t size, io_handler handler);
    // Writes the whole buffer; the buffer is kept alive until the write completes.
    void async_write_all(std::shared_ptr<const std::vector<std::uint8_t>> buffer,
                         io_handler handler);
    // The same, but also during the close pause (for frames accepted before
    // the close), and the handler runs even once the session is closed.
    void async_write_flushing(std::shared_ptr<const std::vector<std::uint8_t>> buffer,
                              io_handler handler);
    // Runs `then` after `delay` on a timer (never a sleep), unless the
    // session is closed meanwhile.
    void after(std::chrono::milliseconds delay, std::function<void()> then);
    // Sets closed, runs on_closing(), waits the pause on a timer, closes the
    // connection and drops the reference to it. Idempotent. I/O thread only.
    void close_session();
    // close_session for a session whose answers are all written: a peer that
    // has closed its side ends the pause at once, as nobody is left to read.
    void finish_session();
    // Closes the connection now, without the pause and dropping what is not
    // written (a peer that does not read). I/O thread only.
    void abort_session();
    bool closed() const { return closed_; }
    net::zebsock_connection* connection() const { return connection_.get(); }
    // A reference that keeps the connection (and so this session) alive.
    std::shared_ptr<net::zebsock_connection> hold() const { return connection_; }
    // Called once when the session becomes closed (cancel own timers here).
    virtual void on_closing() {}

private:
    void handle_close_pause();
    void watch_peer();
    void handle_peer(const boost::system::error_code& ec);
    void note_read_end(const boost::system::error_code& ec);

    std::shared_ptr<net::zebsock_connection> connection_;
    boost::asio::steady_timer close_timer_;
    boost::asio::steady_timer delay_timer_;
    std::chrono::milliseconds close_pause_;
    bool closed_ = false;
    bool read_pending_ = false;
    bool finish_early_ = false; // the pause ends when the peer leaves
    // How the last read ended when the peer had already gone: the socket
    // reports the end of the stream once, so a read started after it would
    // wait out the pause.
    boost::system::error_code peer_gone_;
    std::array<std::uint8_t, 64> drain_{};
};

} // namespace zs::protocol
