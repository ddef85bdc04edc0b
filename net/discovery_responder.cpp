#include "net/discovery_responder.hpp"

#include "net/port_failure.hpp"
#include "net/wire.hpp"
#include "platform/env.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

namespace zs::net {

std::vector<std::uint8_t> build_discovery_reply(const std::uint8_t* request, std::size_t size,
                                                const std::array<std::uint8_t, 16>& identity,
                                                const std::string& server_name) {
    static constexpr std::int32_t expected[] = {0, 3, 0, 0, 10};
    if (size < discovery_request_size) {
        return {};
    }
    for (std::size_t i = 0; i < 5; ++i) {
        if (read_word(request + 4 * i) != expected[i]) {
            return {};
        }
    }
    // The name counts up to its first NUL, as a C string would.
    const std::size_t name_size = std::min(server_name.find('\0'), server_name.size());
    std::vector<std::uint8_t> reply(discovery_request_size + name_size, 0);
    write_word(&reply[0], 0);
    write_word(&reply[4], 3);
    write_word(&reply[8], 0);
    write_word(&reply[12], static_cast<std::int32_t>(name_size));
    write_word(&reply[16], 22);
    write_word(&reply[20], 3);
    std::copy(identity.begin(), identity.end(), reply.begin() + 24);
    std::memcpy(reply.data() + discovery_request_size, server_name.data(), name_size);
    if (reply.size() > discovery_buffer_size) {
        reply.resize(discovery_buffer_size);
    }
    return reply;
}

discovery_responder::discovery_responder(discovery_settings settings)
    : settings_(std::move(settings)), socket_(context_), receive_(discovery_buffer_size) {
    if (!settings_.port) {
        settings_.port = [] { return platform::udp_port(); };
    }
}

discovery_responder::~discovery_responder() {
    stop();
}

bool discovery_responder::start() {
    if (thread_.joinable()) {
        return true;
    }
    try {
        using boost::asio::ip::udp;
        udp::resolver resolver(context_);
        const udp::endpoint endpoint =
            *resolver.resolve("0.0.0.0", std::to_string(settings_.port())).begin();
        socket_.open(endpoint.protocol());
        socket_.bind(endpoint);
        start_receive();
        thread_ = std::thread([this] { context_.run(); });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "exception: %s\n", e.what());
        std::fflush(stderr);
        failure_ = port_failure("UDP", settings_.port(), e);
        boost::system::error_code ignored;
        socket_.close(ignored);
        context_.restart();
        context_.poll();
        context_.restart();
        return false;
    }
    return true;
}

void discovery_responder::start_receive() {
    socket_.async_receive_from(
        boost::asio::buffer(receive_), sender_,
        [this](const boost::system::error_code& ec, std::size_t n) { handle_receive(ec, n); });
}

void discovery_responder::handle_receive(const boost::system::error_code& ec, std::size_t bytes) {
    if (ec == boost::asio::error::operation_aborted || !socket_.is_open()) {
        return; // the stop's close: no further receive
    }
    if (!ec) {
        reply_ = build_discovery_reply(receive_.data(), bytes, settings_.identity(),
                                       settings_.server_name());
        if (!reply_.empty()) {
            socket_.async_send_to(
                boost::asio::buffer(reply_), sender_,
                [this](const boost::system::error_code& e, std::size_t) { handle_send(e); });
            return;
        }
    }
    start_receive();
}

void discovery_responder::handle_send(const boost::system::error_code& ec) {
    if (ec == boost::asio::error::operation_aborted || !socket_.is_open()) {
        return;
    }
    start_receive();
}

void discovery_responder::stop() {
    if (!thread_.joinable()) {
        return;
    }
    context_.stop();
    thread_.join();
    boost::system::error_code ignored;
    socket_.close(ignored);
    // Run the cancelled receive now, so it cannot issue another later.
    context_.restart();
    context_.poll();
    context_.restart();
}

} // namespace zs::net
