// The staged server over loopback: protocol refusal, the protocol-1
// handshake and password, client types, discovery, and the service's
// stop and start through SIGUSR1.
#include "client/client_session.hpp"
#include "client/discovery_client.hpp"
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
    session s(3s);
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
    session s(3s);
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
    session unknown(3s);
    ASSERT_TRUE(unknown.open_protocol1("127.0.0.1", server_->tcp_port(), "whatever"));
    EXPECT_EQ(unknown.choose_client_type(5), 0);
    EXPECT_TRUE(unknown.wait_closed());

    session song(1500ms);
    ASSERT_TRUE(song.open_protocol1("127.0.0.1", server_->tcp_port(), "whatever"));
    EXPECT_EQ(song.choose_client_type(0), 0);
    EXPECT_FALSE(song.wait_closed()) << "a song client stays open while its peer does";
}

TEST_F(NetDefault, DiscoveryAnswersOnlyRequests) {
    const auto found = zs::client::discover("127.0.0.1", server_->udp_port(), 500ms);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].identity, "0123abcd-0000-4000-8000-00000000cafe");
    EXPECT_EQ(found[0].name, "Zebrix Server");

    using boost::asio::ip::udp;
    boost::asio::io_context io;
    udp::socket sock(io, udp::endpoint(udp::v4(), 0));
    const udp::endpoint target(boost::asio::ip::make_address("127.0.0.1"), server_->udp_port());
    auto exact = zs::client::discovery_request();
    auto short_one = exact;
    short_one.resize(115);
    auto wrong = exact;
    zs::protocol::put_word(&wrong[16], 11);
    std::vector<std::uint8_t> buf(70000);
    for (const auto* datagram : {&short_one, &wrong, &exact}) {
        sock.send_to(boost::asio::buffer(*datagram), target);
    }
    // Only the last one is answered: exactly one reply of 129 bytes arrives.
    std::vector<std::size_t> sizes;
    udp::endpoint from;
    std::function<void()> receive = [&] {
        sock.async_receive_from(boost::asio::buffer(buf), from,
                                [&](const boost::system::error_code& ec, std::size_t n) {
                                    if (!ec) {
                                        sizes.push_back(n);
                                        receive();
                                    }
                                });
    };
    receive();
    io.run_for(700ms);
    EXPECT_EQ(sizes, std::vector<std::size_t>{129});
}

TEST(NetPassword, OnlyTheDigestOfTheStoredPasswordPasses) {
    staged_server server;
    write_config(server, "Secret9", "");
    ASSERT_TRUE(server.start());
    session right(3s);
    const auto info = right.open_protocol1("127.0.0.1", server.tcp_port(), "secret9");
    ASSERT_TRUE(info) << right.error();
    EXPECT_EQ(info->name, "") << "an empty name is the word 0 alone";
    EXPECT_EQ(right.choose_client_type(0), 0);

    session wrong_case(3s);
    EXPECT_FALSE(wrong_case.open_protocol1("127.0.0.1", server.tcp_port(), "Secret9"));
    EXPECT_EQ(wrong_case.error(), "login refused");
    EXPECT_TRUE(wrong_case.wait_closed());

    session zeros(3s);
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
        failing.push_back(std::make_unique<session>(3s));
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
    sixth.set_timeout(3s);
    EXPECT_TRUE(sixth.wait_closed());
    // The responder stops right after the TCP service.
    bool silent = false;
    for (int i = 0; i < 10 && !silent; ++i) {
        silent = zs::client::discover("127.0.0.1", server.udp_port(), 200ms).empty();
    }
    EXPECT_TRUE(silent);
    ASSERT_TRUE(server.signal(SIGUSR1));
    ASSERT_TRUE(zs::test::wait_for_tcp(port, 5s));
    session again(3s);
    EXPECT_TRUE(again.open_protocol1("127.0.0.1", port, "other")) << again.error();
    EXPECT_EQ(zs::client::discover("127.0.0.1", server.udp_port(), 500ms).size(), 1u);
    server.stop();
}

} // namespace
