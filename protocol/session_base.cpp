#include "protocol/session_base.hpp"

#include "net/close_pause.hpp"

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

namespace zs::protocol {

session_base::session_base(std::shared_ptr<net::zebsock_connection> connection,
                           std::chrono::milliseconds close_pause)
    : connection_(std::move(connection)), close_timer_(connection_->executor()),
      delay_timer_(connection_->executor()), close_pause_(close_pause) {}

session_base::~session_base() = default;

void session_base::connection_closed() {
    if (!closed_) {
        closed_ = true;
        on_closing();
    }
    close_timer_.cancel();
    delay_timer_.cancel();
    connection_.reset();
}

void session_base::after(std::chrono::milliseconds delay, std::function<void()> then) {
    if (closed_ || !connection_) {
        return;
    }
    delay_timer_.expires_after(delay);
    delay_timer_.async_wait(
        [this, hold = connection_, t = std::move(then)](const boost::system::error_code& ec) {
            if (!ec && !closed_) {
                t();
            }
        });
}

void session_base::async_read_exact(void* data, std::size_t size, io_handler handler) {
    if (closed_ || !connection_) {
        return;
    }
    // Each pending operation holds the connection, which owns this session.
    auto hold = connection_;
    read_pending_ = true;
    boost::asio::async_read(
        connection_->socket(), boost::asio::buffer(data, size),
        [this, hold, h = std::move(handler)](const boost::system::error_code& ec, std::size_t n) {
            read_pending_ = false;
            note_read_end(ec);
            if (!closed_) {
                h(ec, n);
            } else if (finish_early_) {
                handle_peer(ec);
            }
        });
}

void session_base::async_read_some(void* data, std::size_t size, io_handler handler) {
    if (closed_ || !connection_) {
        return;
    }
    auto hold = connection_;
    read_pending_ = true;
    connection_->socket().async_read_some(
        boost::asio::buffer(data, size),
        [this, hold, h = std::move(handler)](const boost::system::error_code& ec, std::size_t n) {
            read_pending_ = false;
            note_read_end(ec);
            if (!closed_) {
                h(ec, n);
            } else if (finish_early_) {
                handle_peer(ec);
            }
        });
}

void session_base::async_write_all(std::shared_ptr<const std::vector<std::uint8_t>> buffer,
                                   io_handler handler) {
    if (closed_ || !connection_) {
        return;
    }
    auto hold = connection_;
    boost::asio::async_write(connection_->socket(), boost::asio::buffer(*buffer),
                             [this, hold, buffer, h = std::move(handler)](
                                 const boost::system::error_code& ec, std::size_t n) {
                                 if (!closed_) {
                                     h(ec, n);
                                 }
                             });
}

void session_base::async_write_flushing(std::shared_ptr<const std::vector<std::uint8_t>> buffer,
                                        io_handler handler) {
    if (!connection_) {
        return;
    }
    auto hold = connection_;
    boost::asio::async_write(connection_->socket(), boost::asio::buffer(*buffer),
                             [hold, buffer, h = std::move(handler)](
                                 const boost::system::error_code& ec, std::size_t n) { h(ec, n); });
}

void session_base::close_session() {
    if (closed_ || !connection_) {
        return;
    }
    closed_ = true;
    on_closing();
    delay_timer_.cancel();
    // The pause runs on a timer, so the I/O thread keeps serving others.
    auto hold = connection_;
    close_timer_.expires_at(net::pause_end(close_pause_));
    close_timer_.async_wait(
        [this, hold](const boost::system::error_code&) { handle_close_pause(); });
}

void session_base::finish_session() {
    if (closed_ || !connection_) {
        return;
    }
    finish_early_ = true;
    close_session();
    // Without this read the peer's close would only be seen after the pause;
    // meanwhile thousands of half-closed sockets would wait on busy servers.
    if (peer_gone_) {
        handle_peer(peer_gone_);
    } else if (!read_pending_) {
        watch_peer();
    }
}

void session_base::note_read_end(const boost::system::error_code& ec) {
    if (ec && ec != boost::asio::error::operation_aborted) {
        peer_gone_ = ec;
    }
}

void session_base::abort_session() {
    auto keep = connection_; // the connection owns this session
    if (!keep) {
        return;
    }
    connection_closed();
    keep->close();
}

void session_base::watch_peer() {
    if (!connection_) {
        return;
    }
    auto hold = connection_;
    read_pending_ = true;
    connection_->socket().async_read_some(
        boost::asio::buffer(drain_),
        [this, hold](const boost::system::error_code& ec, std::size_t) {
            read_pending_ = false;
            handle_peer(ec);
        });
}

// What arrives after the answer is not a request any more and is dropped;
// the end of the stream (or a reset) closes at once.
void session_base::handle_peer(const boost::system::error_code& ec) {
    if (!connection_ || ec == boost::asio::error::operation_aborted) {
        return;
    }
    if (!ec) {
        watch_peer();
        return;
    }
    close_timer_.cancel();
    handle_close_pause();
}

void session_base::handle_close_pause() {
    if (!connection_) {
        return; // closed from outside meanwhile
    }
    auto hold = std::move(connection_);
    hold->close();
}

} // namespace zs::protocol
