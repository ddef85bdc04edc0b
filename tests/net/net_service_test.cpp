// The TCP service and discovery responder in process: start and stop cycles,
// refusal of unknown protocols, a port already taken, and the reply bytes.
#include "client/discovery_client.hpp"
#include "net/discovery_responder.hpp"
#include "net/wire.hpp"
#include "net/zebsock_server.hpp"
#include "tests/support/staged_server.hpp"

#include <boost/asio/connect.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using namespace zs;
using boost::asio::ip::tcp;

net::server_settings fast(std::uint16_t port) {
    net::server_settings s;
    s.port = [port] { return port; };
    s.connection.refusal_pause = std::chrono::milliseconds(20);
    return s;
}

// Sends one protocol word; returns what the server sent before closing.
std::string exchange(std::uint16_t port, std::int32_t protocol) {
    boost::asio::io_context io;
    tcp::socket s(io);
    s.connect({boost::asio::ip::make_address("127.0.0.1"), port});
    std::array<std::uint8_t, 4> w{};
    net::write_word(w.data(), protocol);
    boost::asio::write(s, boost::asio::buffer(w));
    std::string got;
    std::array<char, 64> buf{};
    boost::system::error_code ec;
    while (!ec) {
        const std::size_t n = s.read_some(boost::asio::buffer(buf), ec);
        got.append(buf.data(), n);
    }
    return got;
}

TEST(TcpService, RefusesUnknownProtocolsAcrossRestarts) {
    const auto port = test::free_tcp_port();
    net::zebsock_server server({}, fast(port)); // no sessions registered: 0 and 1 refused too
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(server.start()) << round;
        EXPECT_EQ(exchange(port, 7), std::string("\0\0\0\0\1\0\0\0", 8));
        EXPECT_EQ(exchange(port, 1), std::string("\0\0\0\0\1\0\0\0", 8));
        server.stop();
        EXPECT_EQ(server.connection_count(), 0u);
    }
}

TEST(TcpService, TakenPortFailsWithException) {
    const auto port = test::free_tcp_port();
    boost::asio::io_context io;
    tcp::acceptor holder(io, {tcp::v4(), port}); // no reuse: the port stays taken
    net::zebsock_server server({}, fast(port));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(server.start());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("exception: ", 0), 0u) << err;
    EXPECT_EQ(server.failure(), "TCP port " + std::to_string(port) + " is in use");
    holder.close();
    EXPECT_TRUE(server.start()) << "a failed start leaves nothing behind";
    server.stop();
}

TEST(TcpService, StopClosesIdleConnections) {
    const auto port = test::free_tcp_port();
    net::zebsock_server server({}, fast(port));
    ASSERT_TRUE(server.start());
    boost::asio::io_context io;
    tcp::socket s(io);
    s.connect({boost::asio::ip::make_address("127.0.0.1"), port}); // never sends its word
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server.stop();
    std::array<char, 4> buf{};
    boost::system::error_code ec;
    s.read_some(boost::asio::buffer(buf), ec);
    EXPECT_TRUE(ec == boost::asio::error::eof || ec == boost::asio::error::connection_reset)
        << ec.message();
}

std::vector<std::uint8_t> request_of(std::size_t size, std::int32_t code = 10) {
    auto r = client::discovery_request();
    net::write_word(&r[16], code);
    r.resize(size, 0x55);
    return r;
}

TEST(Discovery, ReplyBytes) {
    std::array<std::uint8_t, 16> id{};
    for (std::size_t i = 0; i < id.size(); ++i) {
        id[i] = static_cast<std::uint8_t>(0xa0 + i);
    }
    auto req = request_of(116);
    const auto reply = net::build_discovery_reply(req.data(), req.size(), id, "Zebrix Server");
    ASSERT_EQ(reply.size(), 129u);
    EXPECT_EQ(net::read_word(&reply[12]), 13);
    EXPECT_EQ(net::read_word(&reply[16]), 22);
    EXPECT_EQ(net::read_word(&reply[20]), 3);
    EXPECT_EQ(std::string(reply.end() - 13, reply.end()), "Zebrix Server");
    EXPECT_EQ(std::vector<std::uint8_t>(reply.begin() + 40, reply.begin() + 116),
              std::vector<std::uint8_t>(76, 0));
    client::discovered_server parsed;
    ASSERT_TRUE(client::parse_discovery_reply(reply.data(), reply.size(), parsed));
    EXPECT_EQ(parsed.identity, "a0a1a2a3-a4a5-a6a7-a8a9-aaabacadaeaf");
    EXPECT_EQ(parsed.name, "Zebrix Server");

    auto short_req = request_of(115);
    EXPECT_TRUE(net::build_discovery_reply(short_req.data(), short_req.size(), id, "x").empty());
    auto wrong = request_of(116, 11);
    EXPECT_TRUE(net::build_discovery_reply(wrong.data(), wrong.size(), id, "x").empty());
    EXPECT_EQ(
        net::build_discovery_reply(req.data(), req.size(), id, std::string("ab\0cd", 5)).size(),
        118u);
    EXPECT_EQ(
        net::build_discovery_reply(req.data(), req.size(), id, std::string(70000, 'n')).size(),
        65535u);
}

TEST(Discovery, AnswersAgainAfterRestartAndReadsNameEachTime) {
    const auto port = test::free_udp_port();
    std::string name = "first";
    net::discovery_settings s;
    s.port = [port] { return port; };
    s.identity = [] { return std::array<std::uint8_t, 16>{}; };
    s.server_name = [&name] { return name; };
    net::discovery_responder responder(s);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(responder.start());
        auto found = client::discover("127.0.0.1", port, std::chrono::milliseconds(300));
        ASSERT_EQ(found.size(), 1u) << round;
        EXPECT_EQ(found[0].name, name);
        responder.stop();
        name = "second";
    }
    EXPECT_TRUE(client::discover("127.0.0.1", port, std::chrono::milliseconds(100)).empty());
}

} // namespace
