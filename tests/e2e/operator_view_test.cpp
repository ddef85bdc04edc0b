// What an operator sees of the staged server: a failed start names the port,
// an unreachable display falls back to headless, and one installation serves
// one desktop.
#include "tests/support/staged_server.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/udp.hpp>
#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;
using zs::test::staged_server;

// Polls the server's standard error until it holds text (bounded).
bool stderr_shows(staged_server& server, const std::string& text,
                  std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (server.stderr_text().find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

TEST(OperatorView, FailedStartNamesThePortThatIsTaken) {
    staged_server server;
    boost::asio::io_context io;
    // Hold the server's TCP port, then its UDP port, as another program would.
    {
        boost::asio::ip::tcp::acceptor holder(io, {boost::asio::ip::tcp::v4(), server.tcp_port()});
        zs::test::server_options options;
        options.wait_for_port = false;
        ASSERT_TRUE(server.start(options));
        EXPECT_TRUE(stderr_shows(server, "Unable to start server\nTCP port " +
                                             std::to_string(server.tcp_port()) + " is in use"))
            << server.stderr_text();
        EXPECT_TRUE(server.running()) << "the server stays up, stopped, for a later Start";
        EXPECT_EQ(server.stop(), 0);
    }
    boost::asio::ip::udp::socket holder(io, {boost::asio::ip::udp::v4(), server.udp_port()});
    zs::test::server_options options;
    options.wait_for_port = false;
    ASSERT_TRUE(server.start(options));
    EXPECT_TRUE(
        stderr_shows(server, "UDP port " + std::to_string(server.udp_port()) + " is in use"))
        << server.stderr_text();
    EXPECT_EQ(server.stop(), 0);
}

TEST(OperatorView, UnreachableDisplayFallsBackToHeadless) {
    staged_server server;
    zs::test::server_options options;
    options.args = {}; // would open the window if the display answered
    options.env = {{"DISPLAY", ":987"}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    ASSERT_TRUE(server.start(options)) << server.stderr_text();
    EXPECT_TRUE(stderr_shows(server, "display :987 cannot be reached; running headless"))
        << server.stderr_text();
    EXPECT_EQ(server.stop(), 0);
}

TEST(OperatorView, SecondDesktopOfOneInstallationIsRefused) {
    staged_server server;
    ASSERT_TRUE(server.start());
    zs::test::temp_folder other_desktop{"zs-desk2"};
    std::vector<std::string> env = server.environment();
    for (auto& entry : env) {
        if (entry.starts_with("ZEBRIX_DESKTOP=")) {
            entry = "ZEBRIX_DESKTOP=" + other_desktop.path();
        } else if (entry.starts_with("ZEBRIX_TCP_PORT=")) {
            entry = "ZEBRIX_TCP_PORT=" + std::to_string(zs::test::free_tcp_port());
        } else if (entry.starts_with("ZEBRIX_UDP_PORT=")) {
            entry = "ZEBRIX_UDP_PORT=" + std::to_string(zs::test::free_udp_port());
        }
    }
    std::string out, err;
    EXPECT_EQ(zs::test::run_program({server.server_path(), "--headless"}, env, out, err), 0);
    EXPECT_NE(err.find("Zebrix Server is already running"), std::string::npos) << err;
    EXPECT_TRUE(server.running());
    EXPECT_TRUE(zs::test::wait_for_tcp(server.tcp_port(), 5s)) << "the first keeps serving";
    EXPECT_EQ(server.stop(), 0);
}

} // namespace
