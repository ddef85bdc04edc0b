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
    : socket_(context), pause_(context), deadline_(context), manager_(manager),
      factories_(factories), settings_(settings) {}

zebsock_connection::~zebsock_connection() {
    // The session goes first: it may still refer to this connection's socket.
    session_.reset();
    boost::system::error_code ignored;
    socket_.close(ignored);
}

void zebsock_connection::start() {
    // One deadline for the whole login, set once: a drip of bytes does not
    // move it.
    logging_in_ = true;
    deadline_.expires_after(settings_.limits.login_deadline);
    auto self = shared_from_this();
    deadline_.async_wait(
        [self](const boost::system::error_code& ec) { self->handle_deadline(ec); });
    boost::asio::async_read(socket_, boost::asio::buffer(exchange_.data(), 4),
                            [self](const boost::system::error_code& ec, std::size_t n) {
                                self->handle_protocol(ec, n);
                            });
}

void zebsock_connection::handle_deadline(const boost::system::error_code& ec) {
    if (!ec) {
        close_unlogged();
    }
}

void zebsock_connection::close_unlogged() {
    if (!logging_in_ || closing()) {
        return;
    }
    logging_in_ = false;
    close();
    if (session_) {
        session_->connection_closed();
    }
}

void zebsock_connection::logged_in() {
    logging_in_ = false;
    deadline_.cancel();
    manager_.logged_in(this);
}

void zebsock_connection::push_out() {
    auto self = shared_from_this();
    post_if_open([self] { self->close_unlogged(); });
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
    logging_in_ = false; // the pause closes it
    deadline_.cancel();
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
    deadline_.cancel();
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
        self->deadline_.cancel();
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
