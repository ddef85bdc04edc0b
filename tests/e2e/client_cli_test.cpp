// zebrix-client's settings and conventions against the staged server:
// passwords in any case from every source, host names and IPv6, messages that
// name the address or the reason, named commands, options anywhere, JSON
// errors, --version, and following events until Ctrl-C.
#include "client/client_session.hpp"
#include "client/discovery_client.hpp"
#include "net/wire.hpp"
#include "protocol/payload.hpp"
#include "protocol/proto1_client.hpp"
#include "tests/e2e/client_e2e.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <atomic>

namespace zs::test {
namespace {

constexpr const char* identity = "0f1e2d3c-4b5a-4978-8796-a5b4c3d2e1f0";

class client_with_password : public client_e2e {
protected:
    void prepare() override {
        ASSERT_TRUE(platform::write_file(server.helper_dir() + "config.txt",
                                         "ServerPassword=secret1\r\nSERVER_NAME=Locked\r\n"));
    }
    void write_config(const std::string& text) {
        platform::make_folders(config_home / "zebrix-client/");
        ASSERT_TRUE(platform::write_file(config_home / "zebrix-client/config", text));
    }
};

TEST_F(client_with_password, EverySourceOfThePasswordIsSentInLowerCase) {
    std::string out, err;
    EXPECT_EQ(client({"--password", "Secret1", "info"}, out, err), 0) << err;
    EXPECT_NE(out.find("name: Locked"), std::string::npos) << out;
    // Protocol 0 compares bytes: lower-cased too.
    platform::write_file(config_home / "job.txt", "Output=songlist\r\n");
    EXPECT_EQ(client({"render", "submit", config_home / "job.txt"}, out, err,
                     {"ZEBRIX_PASSWORD=SECRET1"}),
              0)
        << err;

    EXPECT_EQ(client({"--password", "wrong", "info"}, out, err), 1);
    EXPECT_NE(err.find("127.0.0.1:" + port() + ": login refused: wrong password"),
              std::string::npos)
        << err;

    // The file, then the environment, then the command line.
    write_config("# studio\nhost = localhost\npassword = SeCrEt1\n");
    EXPECT_EQ(client({"info"}, out, err), 0) << err;
    EXPECT_EQ(client({"info"}, out, err, {"ZEBRIX_PASSWORD=nope"}), 1);
    EXPECT_NE(err.find("localhost:" + port()), std::string::npos) << err;
    EXPECT_EQ(client({"info", "--password", "SECRET1"}, out, err, {"ZEBRIX_PASSWORD=nope"}), 0)
        << err;
    write_config("hots = x\n");
    EXPECT_EQ(client({"info"}, out, err), 2);
    EXPECT_NE(err.find("zebrix-client/config:1: unknown key 'hots'"), std::string::npos) << err;
}

TEST_F(client_with_password, PasswordDashReadsALineWithoutEchoOnATerminal) {
    std::string screen;
    ASSERT_EQ(on_terminal({"--expect", "Password: ", "--send", "Secret1"},
                          {"--password", "-", "info"}, screen),
              0)
        << screen;
    EXPECT_NE(screen.find("name: Locked"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("Secret1"), std::string::npos) << "echoed: " << screen;

    // From a pipe: the first line, no prompt needed.
    std::string out, err;
    const std::vector<std::string> argv = {
        "/bin/sh", "-c", "echo SECRET1 | \"$0\" --password - info", server.client_path()};
    EXPECT_EQ(run_program(argv, client_env(), out, err), 0) << err;
    EXPECT_NE(out.find("name: Locked"), std::string::npos) << out;
}

using client_cli = client_e2e;

TEST_F(client_cli, HostNamesResolveAndAddressesAreNamedInErrors) {
    std::string out, err;
    EXPECT_EQ(client({"--host", "localhost", "info"}, out, err), 0) << err;
    EXPECT_EQ(client({"--host", "localhost", "discover"}, out, err), 0) << err;
    EXPECT_NE(out.find("127.0.0.1 "), std::string::npos) << out;

    const std::string closed = std::to_string(free_tcp_port());
    EXPECT_EQ(client({"--port", closed, "info"}, out, err), 1);
    EXPECT_NE(err.find("cannot connect to 127.0.0.1:" + closed + ": Connection refused"),
              std::string::npos)
        << err;
    EXPECT_EQ(client({"--port", closed, "render", "status", "0"}, out, err), 1);
    EXPECT_NE(err.find("cannot connect to 127.0.0.1:" + closed), std::string::npos) << err;
    EXPECT_EQ(client({"--host", "no-such-host.invalid", "info"}, out, err), 1);
    EXPECT_NE(err.find("cannot connect to no-such-host.invalid:"), std::string::npos) << err;

    // Nobody listens on the discovery port: said in words, within the bound.
    EXPECT_EQ(
        client({"--udp-port", std::to_string(free_udp_port()), "--timeout", "2000", "discover"},
               out, err),
        1);
    EXPECT_NE(err.find("no server answered within 200 ms"), std::string::npos) << err;
}

// A login and a discovery answer on the IPv6 loopback, checking the digest
// of the lower-cased password.
class ipv6_server {
public:
    bool open() {
        using namespace boost::asio::ip;
        boost::system::error_code ec;
        tcp_.open(tcp::v6(), ec);
        tcp_.bind(tcp::endpoint(address_v6::loopback(), 0), ec);
        tcp_.listen(1, ec);
        udp_.open(udp::v6(), ec);
        udp_.bind(udp::endpoint(address_v6::loopback(), 0), ec);
        if (ec) {
            return false;
        }
        tcp_.async_accept([this](const boost::system::error_code& e, tcp::socket peer) {
            if (!e) {
                login(peer);
            }
        });
        udp_.async_receive_from(boost::asio::buffer(datagram_), sender_,
                                [this](const boost::system::error_code& e, std::size_t) {
                                    if (!e) {
                                        answer_discovery();
                                    }
                                });
        thread_ = std::thread([this] { io_.run_for(60s); });
        return true;
    }
    ~ipv6_server() {
        io_.stop();
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    std::uint16_t tcp_port() const { return tcp_.local_endpoint().port(); }
    std::uint16_t udp_port() const { return udp_.local_endpoint().port(); }
    std::atomic<bool> digest_matched{false};

private:
    static std::vector<std::uint8_t> word(std::int32_t v) {
        std::vector<std::uint8_t> b(4);
        net::write_word(b.data(), v);
        return b;
    }
    void login(boost::asio::ip::tcp::socket& peer) {
        boost::system::error_code ec;
        std::array<std::uint8_t, 4> protocol_word{};
        boost::asio::read(peer, boost::asio::buffer(protocol_word), ec);
        std::array<std::uint8_t, 16> challenge{};
        challenge.fill(7);
        std::array<std::uint8_t, 16> answer{};
        boost::asio::write(peer, boost::asio::buffer(word(1)), ec);
        boost::asio::write(peer, boost::asio::buffer(challenge), ec);
        boost::asio::read(peer, boost::asio::buffer(answer), ec);
        digest_matched = answer == protocol::challenge_digest(challenge, "secret1");
        std::vector<std::uint8_t> rest = word(digest_matched ? 1 : 0);
        for (const std::string& text : {std::string(identity), std::string("Six")}) {
            const auto size = word(static_cast<std::int32_t>(text.size()));
            rest.insert(rest.end(), size.begin(), size.end());
            rest.insert(rest.end(), text.begin(), text.end());
        }
        boost::asio::write(peer, boost::asio::buffer(rest), ec);
    }
    void answer_discovery() {
        std::vector<std::uint8_t> reply(116, 0);
        net::write_word(&reply[4], 3);
        net::write_word(&reply[12], 3);
        net::write_word(&reply[16], 22);
        reply.insert(reply.end(), {'S', 'i', 'x'});
        boost::system::error_code ec;
        udp_.send_to(boost::asio::buffer(reply), sender_, 0, ec);
    }

    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor tcp_{io_};
    boost::asio::ip::udp::socket udp_{io_};
    std::array<std::uint8_t, 116> datagram_{};
    boost::asio::ip::udp::endpoint sender_;
    std::thread thread_;
};

TEST_F(client_cli, Ipv6AddressesLogInAndDiscover) {
    ipv6_server six;
    if (!six.open()) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    std::string out, err;
    EXPECT_EQ(client({"--host", "::1", "--port", std::to_string(six.tcp_port()), "--password",
                      "SECRET1", "info"},
                     out, err),
              0)
        << err;
    EXPECT_TRUE(six.digest_matched);
    EXPECT_EQ(out, std::string("identity: ") + identity + "\nname: Six\n");
    EXPECT_EQ(client({"--host", "::1", "--udp-port", std::to_string(six.udp_port()), "discover"},
                     out, err),
              0)
        << err;
    EXPECT_EQ(out.rfind("::1 ", 0), 0u) << out;
    EXPECT_NE(out.find(" Six"), std::string::npos) << out;
}

TEST_F(client_cli, NamedCommandsOptionsAnywhereVersionAndJsonErrors) {
    std::string out, err, by_code;
    ASSERT_EQ(client({"zebrix", "songs"}, out, err), 0) << err;
    ASSERT_EQ(client({"zebrix", "1"}, by_code, err), 0) << err;
    EXPECT_EQ(out, by_code);
    ASSERT_EQ(client({"zebrix", "song", "3", "--port", port()}, out, err), 0) << err;
    ASSERT_FALSE(commands_logged(2).empty());
    EXPECT_EQ(commands_logged(2).back().wparam, (3 << 16) | 2);
    ASSERT_EQ(client({"zebrix", "tracks", "--json"}, out, err), 0) << err;
    EXPECT_NE(out.find("Audio=58"), std::string::npos) << out; // 50 + track code 8
    ASSERT_EQ(client({"orvanta", "folder"}, out, err), 0) << err;
    EXPECT_NE(out.find(server.served_orvanta_dir()), std::string::npos) << out;
    ASSERT_EQ(client({"orvanta", "tracks"}, out, err), 0) << err;
    EXPECT_NE(out.find("data ("), std::string::npos) << out;
    std::string help;
    ASSERT_EQ(client({"--help"}, help, err), 0);
    for (const char* name : {"zebrix songs", "zebrix song N", "zebrix sections", "zebrix tracks",
                             "orvanta songs", "orvanta folder", "orvanta status"}) {
        EXPECT_NE(help.find(name), std::string::npos) << name;
    }

    ASSERT_EQ(client({"--version"}, out, err), 0);
    EXPECT_EQ(out.rfind("zebrix-client 2.", 0), 0u) << out;

    EXPECT_EQ(client({"--json", "render", "status", "77"}, out, err), 1);
    EXPECT_EQ(out.rfind("{\"error\":\"job 77: ", 0), 0u) << out;
    EXPECT_NE(out.find("\"status\":1}"), std::string::npos) << out;
    EXPECT_NE(err.find("job 77"), std::string::npos) << err;
    EXPECT_EQ(client({"zebrix", "1", "--bogus", "--json"}, out, err), 2);
    EXPECT_EQ(out.rfind("{\"error\":", 0), 0u) << out;
}

TEST_F(client_cli, EventsZeroFollowsUntilCtrlC) {
    behave("notify.4=1287,10,20\n");
    std::string screen;
    ASSERT_EQ(on_terminal({"--expect", "\"status\":10,\"value\":20", "--interrupt"},
                          {"--json", "zebrix", "4", "--events", "0"}, screen),
              0)
        << screen;
    EXPECT_NE(screen.find("\"kind\":\"event\""), std::string::npos) << screen;
    const auto last = screen.find_last_not_of(" \r\n");
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(screen[last], ']') << "the array is closed: " << screen;
    // The session ended politely: the program is free again.
    std::string out, err;
    EXPECT_EQ(client({"zebrix", "4"}, out, err), 0) << err;
}

TEST(client_stage, ManualPagesAndCompletionAreStagedAsWritten) {
    const std::vector<std::pair<std::string, std::string>> staged = {
        {"packaging/man/ZebrixServer.1", "share/man/man1/ZebrixServer.1"},
        {"packaging/man/zebrix-client.1", "share/man/man1/zebrix-client.1"},
        {"packaging/man/zebrix-desktop.1", "share/man/man1/zebrix-desktop.1"},
        {"packaging/bash-completion/zebrix-client",
         "share/bash-completion/completions/zebrix-client"},
    };
    for (const auto& [source, target] : staged) {
        std::string written, installed;
        ASSERT_TRUE(platform::read_file(std::string(ZS_SOURCE_DIR) + source, written)) << source;
        ASSERT_TRUE(platform::read_file(std::string(ZS_STAGE_DIR) + "/" + target, installed))
            << target;
        EXPECT_EQ(installed, written) << target;
    }
}

} // namespace
} // namespace zs::test
