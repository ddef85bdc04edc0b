// The staged server over loopback: protocol refusal, the protocol-1
// handshake and password, client types, discovery, and the service's
// stop and start through SIGUSR1.
#include "client/client_session.hpp"
#include "client/discovery_client.hpp"
#include "net/wire.hpp"
#include "platform/files.hpp"
#include "protocol/payload.hpp"
#include "tests/support/staged_server.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;
using zs::client::session;
using zs::test::staged_server;

void write_config(const staged_server& server, const std::string& password,
                  const std::string& name) {
    zs::platform::write_file(server.helper_dir() + "config.txt",
                             "IdleTimeToShutDownZEBW3=30\r\nLanguage=default\r\n"
                             "SERVER_NAME=" +
                                 name + "\r\nServerPassword=" + password +
                                 "\r\nUUID=0123abcd-0000-4000-8000-00000000cafe\r\n");
}

// Runs the handshake with a fixed answer (not the digest).
std::optional<std::int32_t> login_with(session& s, std::uint16_t port,
                                       const std::array<std::uint8_t, 16>& answer) {
    if (!s.connect("127.0.0.1", port) || !s.write_word(1) || s.read_word() != 1 ||
        !s.read_exact(16) || !s.write_bytes(answer.data(), answer.size())) {
        return std::nullopt;
    }
    return s.read_word();
}

class NetDefault : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new staged_server;
        write_config(*server_, "KXVWQ", "Zebrix Server"); // stored lower case: the check is off
        ASSERT_TRUE(server_->start());
    }
    static void TearDownTestSuite() {
        server_->stop();
        delete server_;
    }
    static staged_server* server_;
};
staged_server* NetDefault::server_ = nullptr;

TEST_F(NetDefault, UnknownProtocolGetsEightBytesThenClose) {
    session s(20s);
    ASSERT_TRUE(s.connect("127.0.0.1", server_->tcp_port()));
    ASSERT_TRUE(s.write_word(7));
    const auto reply = s.read_exact(8);
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0, 0, 0}));
    std::size_t more = 99;
    EXPECT_TRUE(s.wait_closed(&more));
    EXPECT_EQ(more, 0u);
}

TEST_F(NetDefault, AnyAnswerPassesAndIdentityAndNameFollow) {
    session s(20s);
    ASSERT_EQ(login_with(s, server_->tcp_port(), {}), 1);
    EXPECT_EQ(s.read_word(), 36);
    const auto uuid = s.read_exact(36);
    ASSERT_TRUE(uuid);
    EXPECT_EQ(std::string(uuid->begin(), uuid->end()), "0123abcd-0000-4000-8000-00000000cafe");
    EXPECT_EQ(s.read_word(), 13);
    const auto name = s.read_exact(13);
    ASSERT_TRUE(name);
    EXPECT_EQ(std::string(name->begin(), name->end()), "Zebrix Server");
}

TEST_F(NetDefault, ClientTypesSongAndUnknown) {
    session unknown(20s);
    ASSERT_TRUE(unknown.open_protocol1("127.0.0.1", server_->tcp_port(), "whatever"));
    EXPECT_EQ(unknown.choose_client_type(5), 0);
    EXPECT_TRUE(unknown.wait_closed());

    session song(20s);
    ASSERT_TRUE(song.open_protocol1("127.0.0.1", server_->tcp_port(), "whatever"));
    EXPECT_EQ(song.choose_client_type(0), 0);
    song.set_timeout(1500ms);
    EXPECT_FALSE(song.wait_closed()) << "a song client stays open while its peer does";
}

// Sends the datagrams in order and collects the replies until the first one
// is in (bounded), then briefly more: the responder answers in arrival order,
// so a reply to an earlier datagram would have come first.
std::vector<std::vector<std::uint8_t>>
replies_to(std::uint16_t port, const std::vector<std::vector<std::uint8_t>>& datagrams) {
    using boost::asio::ip::udp;
    boost::asio::io_context io;
    udp::socket sock(io, udp::endpoint(udp::v4(), 0));
    const udp::endpoint target(boost::asio::ip::make_address("127.0.0.1"), port);
    for (const auto& datagram : datagrams) {
        sock.send_to(boost::asio::buffer(datagram), target);
    }
    std::vector<std::vector<std::uint8_t>> got;
    std::vector<std::uint8_t> buf(70000);
    udp::endpoint from;
    std::function<void()> receive = [&] {
        sock.async_receive_from(boost::asio::buffer(buf), from,
                                [&](const boost::system::error_code& ec, std::size_t n) {
                                    if (!ec) {
                                        got.emplace_back(buf.begin(), buf.begin() + n);
                                        receive();
                                    }
                                });
    };
    receive();
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (got.empty() && std::chrono::steady_clock::now() < end) {
        io.run_one_for(250ms);
    }
    io.run_for(200ms);
    return got;
}

TEST_F(NetDefault, DiscoveryAnswersOnlyRequests) {
    const auto exact = zs::client::discovery_request();
    const auto answer = replies_to(server_->udp_port(), {exact});
    ASSERT_EQ(answer.size(), 1u);
    zs::client::discovered_server found;
    ASSERT_TRUE(zs::client::parse_discovery_reply(answer[0].data(), answer[0].size(), found));
    EXPECT_EQ(found.identity, "0123abcd-0000-4000-8000-00000000cafe");
    EXPECT_EQ(found.name, "Zebrix Server");

    auto short_one = exact;
    short_one.resize(115);
    auto wrong = exact;
    zs::net::write_word(&wrong[16], 11);
    // Only the last one is answered: exactly one reply of 129 bytes arrives.
    const auto got = replies_to(server_->udp_port(), {short_one, wrong, exact});
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].size(), 129u);
}

TEST(NetPassword, OnlyTheDigestOfTheStoredPasswordPasses) {
    staged_server server;
    write_config(server, "Secret9", "");
    ASSERT_TRUE(server.start());
    session right(20s);
    const auto info = right.open_protocol1("127.0.0.1", server.tcp_port(), "secret9");
    ASSERT_TRUE(info) << right.error();
    EXPECT_EQ(info->name, "") << "an empty name is the word 0 alone";
    EXPECT_EQ(right.choose_client_type(0), 0);

    session wrong_case(20s);
    EXPECT_FALSE(wrong_case.open_protocol1("127.0.0.1", server.tcp_port(), "Secret9"));
    EXPECT_EQ(wrong_case.error(), "login refused");
    EXPECT_TRUE(wrong_case.wait_closed());

    session zeros(20s);
    EXPECT_EQ(login_with(zeros, server.tcp_port(), {}), 0);
    server.stop();
}

TEST(NetService, FailingLoginsDoNotStallOthersAndSigusr1Restarts) {
    staged_server server;
    write_config(server, "other", "Zebrix Server");
    ASSERT_TRUE(server.start());
    const auto port = server.tcp_port();

    // Five refused logins at once; each close pauses 500 ms, on a timer.
    std::vector<std::unique_ptr<session>> failing;
    for (int i = 0; i < 5; ++i) {
        failing.push_back(std::make_unique<session>(10s)); // refusals wait up to 4 s
        ASSERT_TRUE(failing.back()->connect("127.0.0.1", port));
        ASSERT_TRUE(failing.back()->write_word(1));
    }
    for (auto& f : failing) {
        ASSERT_EQ(f->read_word(), 1);
        ASSERT_TRUE(f->read_exact(16));
        ASSERT_TRUE(f->write_bytes(std::array<std::uint8_t, 16>{}.data(), 16));
    }
    for (auto& f : failing) {
        EXPECT_EQ(f->read_word(), 0);
    }
    // While those five wait out their pause, a sixth client logs in; a sleeping
    // close would hold every pool thread and this would time out.
    session sixth(400ms);
    const auto info = sixth.open_protocol1("127.0.0.1", port, "other");
    ASSERT_TRUE(info) << sixth.error();
    EXPECT_EQ(sixth.choose_client_type(0), 0);
    for (auto& f : failing) {
        EXPECT_TRUE(f->wait_closed());
    }

    // Stop through the headless hook: the live session closes.
    ASSERT_TRUE(server.signal(SIGUSR1));
    sixth.set_timeout(20s);
    EXPECT_TRUE(sixth.wait_closed());
    // The responder stops right after the TCP service.
    bool silent = false;
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (!silent && std::chrono::steady_clock::now() < end) {
        silent = zs::client::discover("127.0.0.1", server.udp_port(), 200ms).empty();
    }
    EXPECT_TRUE(silent);
    // Started again: the TCP service first, then the responder.
    ASSERT_TRUE(server.signal(SIGUSR1));
    ASSERT_TRUE(zs::test::wait_for_tcp(port, 20s));
    session again(20s);
    EXPECT_TRUE(again.open_protocol1("127.0.0.1", port, "other")) << again.error();
    EXPECT_TRUE(zs::test::wait_for_discovery(server.udp_port(), 20s));
    server.stop();
}

} // namespace
