#include "net/zebsock_server.hpp"

#include "core/server_log.hpp"
#include "net/port_failure.hpp"
#include "platform/env.hpp"
#include "platform/fd_limit.hpp"
#include "platform/trace.hpp"

#include <boost/asio/post.hpp>

#include <cstdio>
#include <exception>
#include <string>

namespace zs::net {

zebsock_server::zebsock_server(session_factories factories, server_settings settings)
    : factories_(std::move(factories)), settings_(std::move(settings)),
      acceptor_(acceptor_context_), accept_retry_timer_(acceptor_context_),
      log_timer_(acceptor_context_) {
    if (!settings_.port) {
        settings_.port = [] { return platform::tcp_port(); };
    }
}

zebsock_server::~zebsock_server() {
    stop();
}

bool zebsock_server::start() {
    if (started()) {
        return true;
    }
    pool_.create(settings_.pool_size);
    const connection_limits& limits = settings_.connection.limits;
    total_cap_ = limits.total != 0 ? limits.total : connection_cap(platform::open_file_limit());
    try {
        next_ = manager_.create(pool_.next(), factories_, settings_.connection);
        using boost::asio::ip::tcp;
        tcp::resolver resolver(acceptor_context_);
        const tcp::endpoint endpoint =
            *resolver.resolve("0.0.0.0", std::to_string(settings_.port())).begin();
        acceptor_.open(endpoint.protocol());
        acceptor_.set_option(tcp::acceptor::reuse_address(true));
        acceptor_.bind(endpoint);
        acceptor_.listen(boost::asio::socket_base::max_listen_connections);
        start_accept();
        arm_log_timer();
        acceptor_thread_ = std::thread([this] { run_acceptor(); });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "exception: %s\n", e.what());
        std::fflush(stderr);
        failure_ = port_failure("TCP", settings_.port(), e);
        // Unlike a half-made start, nothing of this attempt stays behind.
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        log_timer_.cancel();
        next_.reset();
        manager_.stop_all();
        pool_.stop(settings_.stop_drain);
        acceptor_context_.restart();
        return false;
    }
    return true;
}

void zebsock_server::start_accept() {
    acceptor_.async_accept(next_->socket(), next_->accepted_peer(),
                           [this](const boost::system::error_code& ec) { handle_accept(ec); });
}

void zebsock_server::handle_accept(const boost::system::error_code& ec) {
    if (ec == boost::asio::error::operation_aborted || !acceptor_.is_open()) {
        return;
    }
    if (ec) {
        // A failed accept (out of descriptors, say) must not end accepting
        // for good: try again shortly, on a timer.
        platform::trace("accept failed: %s", ec.message().c_str());
        accept_retry_timer_.expires_after(settings_.accept_retry);
        accept_retry_timer_.async_wait([this](const boost::system::error_code& timer_ec) {
            if (!timer_ec && acceptor_.is_open()) {
                start_accept();
            }
        });
        return;
    }
    if (!admit()) {
        next_ = manager_.create(pool_.next(), factories_, settings_.connection);
        start_accept();
        return;
    }
    boost::system::error_code ignored;
    next_->socket().set_option(boost::asio::socket_base::keep_alive(true), ignored);
    // Handshake records are small writes answered by the peer; without this
    // each waits for a delayed acknowledgement.
    next_->socket().set_option(boost::asio::ip::tcp::no_delay(true), ignored);
    auto accepted = next_;
    boost::asio::post(accepted->executor(), [accepted] { accepted->start(); });
    next_ = manager_.create(pool_.next(), factories_, settings_.connection);
    start_accept();
}

bool zebsock_server::admit() {
    const auto& address = next_->peer().address();
    const connection_limits& limits = settings_.connection.limits;
    if (manager_.admit(next_.get(), address, limits.per_address, total_cap_) ==
        connection_manager::admission::admitted) {
        return true;
    }
    // Closed at once, without the refusal pause: a pause would hold the
    // descriptor the caps are there to keep free.
    ++refused_[address];
    next_->close();
    return false;
}

void zebsock_server::arm_log_timer() {
    log_timer_.expires_after(settings_.connection.limits.log_period);
    log_timer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec && acceptor_.is_open()) {
            write_summaries();
            arm_log_timer();
        }
    });
}

void zebsock_server::write_summaries() {
    if (!refused_.empty()) {
        std::size_t count = 0;
        auto most = refused_.begin();
        for (auto it = refused_.begin(); it != refused_.end(); ++it) {
            count += it->second;
            if (it->second > most->second) {
                most = it;
            }
        }
        const connection_limits& limits = settings_.connection.limits;
        core::server_log::line(
            "Refused " + std::to_string(count) + " connection" + (count == 1 ? "" : "s") +
            " over the limits of " + std::to_string(limits.per_address) +
            " per client address and " + std::to_string(total_cap_) + " in all, " +
            std::to_string(most->second) + " of them from " + most->first.to_string() +
            (refused_.size() > 1
                 ? " and the rest from " + std::to_string(refused_.size() - 1) + " other addresses"
                 : std::string()));
        refused_.clear();
    }
    if (settings_.log_summaries) {
        settings_.log_summaries();
    }
}

void zebsock_server::run_acceptor() {
    pool_.run();
    acceptor_context_.run();
    next_.reset();
    manager_.stop_all();
    pool_.stop(settings_.stop_drain);
}

void zebsock_server::stop() {
    if (!started()) {
        return;
    }
    acceptor_context_.stop();
    acceptor_thread_.join();
    boost::system::error_code ignored;
    accept_retry_timer_.cancel();
    acceptor_.close(ignored);
    log_timer_.cancel();
    write_summaries(); // what the last period counted
    acceptor_context_.restart();
    // The accept the close cancelled must not run on the next start.
    acceptor_context_.poll();
    acceptor_context_.restart();
}

} // namespace zs::net
