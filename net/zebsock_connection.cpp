#include "net/zebsock_connection.hpp"

#include "net/close_pause.hpp"
#include "net/connection_manager.hpp"
#include "net/wire.hpp"

#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

namespace zs::net {

zebsock_connection::zebsock_connection(boost::asio::io_context& context,
                                       connection_manager& manager,
                                       const session_factories& factories,
                                       connection_settings settings)
    : socket_(context), pause_(context), silence_(context), manager_(manager),
      factories_(factories), settings_(settings) {}

zebsock_connection::~zebsock_connection() {
    // The session goes first: it may still refer to this connection's socket.
    session_.reset();
    boost::system::error_code ignored;
    socket_.close(ignored);
}

void zebsock_connection::start() {
    watching_silence_ = true;
    last_input_ = std::chrono::steady_clock::now();
    wait_silence(last_input_ + settings_.silence_limit);
    auto self = shared_from_this();
    boost::asio::async_read(
        socket_, boost::asio::buffer(exchange_.data(), 4),
        [this](const boost::system::error_code& ec, std::size_t n) -> std::size_t {
            if (n > 0) {
                note_input();
            }
            return ec ? 0 : 4 - n;
        },
        [self](const boost::system::error_code& ec, std::size_t n) {
            self->handle_protocol(ec, n);
        });
}

void zebsock_connection::wait_silence(std::chrono::steady_clock::time_point until) {
    silence_.expires_at(until);
    auto self = shared_from_this();
    silence_.async_wait([self](const boost::system::error_code& ec) { self->handle_silence(ec); });
}

// Bytes that came meanwhile only move the limit on, so a busy connection
// costs one timer wake per limit, not one per read.
void zebsock_connection::handle_silence(const boost::system::error_code& ec) {
    if (ec || !watching_silence_ || closing()) {
        return;
    }
    const auto until = last_input_ + settings_.silence_limit;
    if (until > std::chrono::steady_clock::now()) {
        wait_silence(until);
        return;
    }
    watching_silence_ = false;
    close();
    if (session_) {
        session_->connection_closed();
    }
}

void zebsock_connection::end_silence_watch() {
    watching_silence_ = false;
    silence_.cancel();
}

void zebsock_connection::handle_protocol(const boost::system::error_code& ec, std::size_t bytes) {
    if (closing()) {
        return;
    }
    // Closed or reset before the protocol number arrived: nothing to serve.
    if (ec || bytes != 4) {
        close();
        return;
    }
    const std::int32_t protocol = read_word(exchange_.data());
    const session_factory* factory = nullptr;
    if (protocol == 0 && factories_.protocol0) {
        factory = &factories_.protocol0;
    } else if (protocol == 1 && factories_.protocol1) {
        factory = &factories_.protocol1;
    }
    if (factory == nullptr) {
        refuse();
        return;
    }
    session_ = (*factory)(shared_from_this());
    session_->start();
}

void zebsock_connection::refuse() {
    end_silence_watch(); // the pause closes it
    write_word(exchange_.data(), 0);
    write_word(exchange_.data() + 4, 1);
    auto self = shared_from_this();
    boost::asio::async_write(socket_, boost::asio::buffer(exchange_),
                             [self](const boost::system::error_code& ec, std::size_t) {
                                 self->handle_refusal_written(ec);
                             });
}

void zebsock_connection::handle_refusal_written(const boost::system::error_code& ec) {
    if (ec == boost::asio::error::operation_aborted || closing()) {
        return;
    }
    // Nothing more is read from a refused connection; close it after the pause.
    pause_.expires_at(pause_end(settings_.refusal_pause));
    auto self = shared_from_this();
    pause_.async_wait(
        [self](const boost::system::error_code& e) { self->handle_refusal_pause(e); });
}

void zebsock_connection::handle_refusal_pause(const boost::system::error_code& ec) {
    if (!ec) {
        close();
    }
}

bool zebsock_connection::mark_closing() {
    std::lock_guard lock(mutex_);
    const bool first = !closing_;
    closing_ = true;
    return first;
}

bool zebsock_connection::closing() const {
    std::lock_guard lock(mutex_);
    return closing_;
}

void zebsock_connection::close() {
    auto self = shared_from_this(); // a close may drop the last outside reference
    bool registered = false;
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        registered = registered_;
        registered_ = false;
    }
    boost::system::error_code ignored;
    socket_.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    pause_.cancel();
    silence_.cancel();
    if (registered) {
        manager_.remove(this);
    }
}

void zebsock_connection::close_from_outside() {
    {
        std::lock_guard lock(mutex_);
        registered_ = false; // the manager is emptying its list itself
    }
    if (!mark_closing()) {
        return;
    }
    auto self = shared_from_this();
    boost::asio::post(socket_.get_executor(), [self] {
        boost::system::error_code ignored;
        self->socket_.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
        self->socket_.close(ignored);
        self->pause_.cancel();
        self->silence_.cancel();
        if (self->session_) {
            self->session_->connection_closed();
        }
    });
}

bool zebsock_connection::post_if_open(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (closing_) {
        return false;
    }
    boost::asio::post(socket_.get_executor(), std::move(work));
    return true;
}

} // namespace zs::net
