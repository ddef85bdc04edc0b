#include "client/discovery_client.hpp"

#include "protocol/payload.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstdio>
#include <functional>

namespace zs::client {

std::vector<std::uint8_t> discovery_request() {
    std::vector<std::uint8_t> request(116, 0);
    protocol::put_word(&request[4], 3);
    protocol::put_word(&request[16], 10);
    return request;
}

bool parse_discovery_reply(const std::uint8_t* data, std::size_t size, discovered_server& out) {
    if (size < 116 || protocol::get_word(data) != 0 || protocol::get_word(data + 4) != 3 ||
        protocol::get_word(data + 16) != 22) {
        return false;
    }
    const std::int32_t name_size = protocol::get_word(data + 12);
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
    boost::system::error_code failure;
    const auto address = boost::asio::ip::make_address(host, failure);
    boost::asio::io_context io;
    udp::socket socket(io);
    if (!failure) {
        socket.open(address.is_v6() ? udp::v6() : udp::v4(), failure);
    }
    if (!failure && address.is_v4()) {
        socket.set_option(boost::asio::socket_base::broadcast(true), failure);
    }
    const auto request = discovery_request();
    if (!failure) {
        socket.send_to(boost::asio::buffer(request), udp::endpoint(address, port), 0, failure);
    }
    if (failure) {
        if (error) {
            *error = failure.message();
        }
        return found;
    }

    std::vector<std::uint8_t> buffer(65535);
    udp::endpoint sender;
    std::function<void()> receive = [&] {
        socket.async_receive_from(boost::asio::buffer(buffer), sender,
                                  [&](const boost::system::error_code& ec, std::size_t n) {
                                      if (ec == boost::asio::error::operation_aborted) {
                                          return;
                                      }
                                      discovered_server server;
                                      if (!ec && parse_discovery_reply(buffer.data(), n, server)) {
                                          server.address = sender.address().to_string();
                                          found.push_back(server);
                                      }
                                      receive();
                                  });
    };
    receive();
    boost::asio::steady_timer timer(io, listen);
    timer.async_wait([&](const boost::system::error_code&) { socket.close(); });
    io.run_for(listen + std::chrono::seconds(1));
    return found;
}

} // namespace zs::client
