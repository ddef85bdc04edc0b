#include "client/discovery_client.hpp"

#include "net/wire.hpp"
#include "protocol/payload.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstdio>
#include <functional>

namespace zs::client {

namespace {
constexpr auto resolve_limit = std::chrono::seconds(10);
}

std::vector<std::uint8_t> discovery_request() {
    std::vector<std::uint8_t> request(116, 0);
    net::write_word(&request[4], 3);
    net::write_word(&request[16], 10);
    return request;
}

bool parse_discovery_reply(const std::uint8_t* data, std::size_t size, discovered_server& out) {
    if (size < 116 || net::read_word(data) != 0 || net::read_word(data + 4) != 3 ||
        net::read_word(data + 16) != 22) {
        return false;
    }
    const std::int32_t name_size = net::read_word(data + 12);
    if (name_size < 0 || static_cast<std::size_t>(name_size) > size - 116) {
        return false;
    }
    char text[37];
    const std::uint8_t* id = data + 24;
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", id[0],
                  id[1], id[2], id[3], id[4], id[5], id[6], id[7], id[8], id[9], id[10], id[11],
                  id[12], id[13], id[14], id[15]);
    out.identity = text;
    out.name.assign(reinterpret_cast<const char*>(data + 116), static_cast<std::size_t>(name_size));
    return true;
}

std::vector<discovered_server> discover(const std::string& host, std::uint16_t port,
                                        std::chrono::milliseconds listen, std::string* error) {
    using boost::asio::ip::udp;
    std::vector<discovered_server> found;
    boost::asio::io_context io;
    // A name gives every address it has; one socket per address family.
    std::vector<udp::endpoint> targets;
    boost::system::error_code failure;
    const auto address = boost::asio::ip::make_address(host, failure);
    if (!failure) {
        targets.emplace_back(address, port);
    } else {
        failure = boost::asio::error::timed_out;
        udp::resolver resolver(io);
        resolver.async_resolve(
            host, std::to_string(port), boost::asio::ip::resolver_base::numeric_service,
            [&](const boost::system::error_code& ec, udp::resolver::results_type r) {
                failure = ec;
                for (const auto& entry : r) {
                    targets.push_back(entry.endpoint());
                }
            });
        io.run_for(resolve_limit);
        io.restart();
    }
    if (failure) {
        if (error) {
            *error = failure.message();
        }
        return found;
    }
    udp::socket v4(io);
    udp::socket v6(io);
    const auto request = discovery_request();
    bool sent = false;
    for (const auto& target : targets) {
        const auto to = target.address();
        udp::socket& socket = to.is_v6() ? v6 : v4;
        boost::system::error_code ec;
        if (!socket.is_open()) {
            socket.open(to.is_v6() ? udp::v6() : udp::v4(), ec);
            if (!ec && to.is_v4()) {
                socket.set_option(boost::asio::socket_base::broadcast(true), ec);
            }
        }
        if (!ec) {
            socket.send_to(boost::asio::buffer(request), target, 0, ec);
        }
        sent = sent || !ec;
        failure = ec ? ec : failure;
    }
    if (!sent) {
        if (error) {
            *error = failure ? failure.message() : "no address";
        }
        return found;
    }

    struct listener {
        explicit listener(udp::socket* s) : socket(s) {}
        udp::socket* socket;
        std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(65535);
        udp::endpoint sender;
    };
    std::vector<listener> listeners;
    for (udp::socket* socket : {&v4, &v6}) {
        if (socket->is_open()) {
            listeners.emplace_back(socket);
        }
    }
    std::function<void(listener&)> receive = [&](listener& l) {
        l.socket->async_receive_from(boost::asio::buffer(l.buffer), l.sender,
                                     [&](const boost::system::error_code& ec, std::size_t n) {
                                         if (ec == boost::asio::error::operation_aborted) {
                                             return;
                                         }
                                         discovered_server server;
                                         if (!ec &&
                                             parse_discovery_reply(l.buffer.data(), n, server)) {
                                             server.address = l.sender.address().to_string();
                                             found.push_back(server);
                                         }
                                         receive(l);
                                     });
    };
    for (auto& l : listeners) {
        receive(l);
    }
    boost::asio::steady_timer timer(io, listen);
    timer.async_wait([&](const boost::system::error_code&) {
        for (auto& l : listeners) {
            boost::system::error_code ignored;
            l.socket->close(ignored);
        }
    });
    io.run_for(listen + std::chrono::seconds(1));
    return found;
}

} // namespace zs::client
