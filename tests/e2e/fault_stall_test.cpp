// A slow or hung program holds only the client it serves: the handshakes of
// others go on and a stop does not wait for it. Connections that never log
// in are closed 30 s after they were accepted, a drip of bytes or not.
#include "tests/e2e/zebrix_e2e.hpp"

#include <future>

namespace {

using namespace zs;
using namespace zs::test;
using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;

constexpr int command_stop = 4;      // one message to the program
constexpr int command_song_list = 1; // the one the behaviour file slows down

class StalledProgram : public zebrix_e2e {
protected:
    // A controlling client whose command 1 is in the program's hands.
    void start_slow_command(int delay_ms) {
        ASSERT_TRUE(holder.open(server.tcp_port()));
        ASSERT_TRUE(holder.controls());
        auto ready = holder.call(command_stop); // the program runs
        ASSERT_TRUE(ready);
        ASSERT_EQ(ready->status, 1);
        behave("delay_ms.1=" + std::to_string(delay_ms) + "\n");
        pending = std::async(std::launch::async, [this] { return holder.call(command_song_list); });
        std::this_thread::sleep_for(500ms); // the program is inside the command
    }

    rc_client holder;
    std::future<std::shared_ptr<protocol::ZebResponse>> pending;
};

TEST_F(StalledProgram, HandshakesGoOnWhileAProgramIsSlow) {
    start_slow_command(8000);
    for (int i = 0; i < 30; ++i) {
        const auto began = clock_type::now();
        client::session s(5s);
        ASSERT_TRUE(s.open_protocol1("127.0.0.1", server.tcp_port(), "kxvwq"))
            << "handshake " << i << ": " << s.error();
        EXPECT_EQ(s.choose_client_type(protocol::CLIENT_ZEBRIX_RC), 1);
        EXPECT_EQ(s.read_word(), 0) << "refused at once: another client controls Zebrix";
        EXPECT_LT(clock_type::now() - began, 1500ms) << "handshake " << i;
    }
    ASSERT_EQ(pending.wait_for(20s), std::future_status::ready);
    const auto reply = pending.get();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 1) << "the slow command itself still succeeds";
}

TEST_F(StalledProgram, SigtermExitsWithinFiveSecondsWhileAProgramHangs) {
    start_slow_command(120000); // longer than the 60 s send time-out
    const auto began = clock_type::now();
    EXPECT_EQ(server.stop(20s), 0) << "a clean exit, not a kill";
    EXPECT_LT(clock_type::now() - began, 5s);
    ASSERT_EQ(pending.wait_for(10s), std::future_status::ready);
    const auto reply = pending.get();
    if (reply) {
        EXPECT_EQ(reply->action, 0) << "a stopped command never reports success";
    }
}

TEST(SilentConnections, ClosedAfterThirtySecondsUntilLoggedIn) {
    staged_server server;
    ASSERT_TRUE(server.start());
    const auto port = server.tcp_port();
    const auto began = clock_type::now();
    client::session quiet(45s);
    ASSERT_TRUE(quiet.connect("127.0.0.1", port));
    client::session challenged(45s); // stops before its answer
    ASSERT_TRUE(challenged.connect("127.0.0.1", port));
    ASSERT_TRUE(challenged.write_word(1));
    ASSERT_TRUE(challenged.read_exact(20));
    client::session answered(45s); // never names its client type
    ASSERT_TRUE(answered.connect("127.0.0.1", port));
    ASSERT_TRUE(answered.write_word(1));
    ASSERT_TRUE(answered.handshake("kxvwq"));
    client::session job(45s); // stops in the middle of its render-job request
    ASSERT_TRUE(job.connect("127.0.0.1", port));
    ASSERT_TRUE(job.write_word(0));
    const std::array<std::uint8_t, 50> part{};
    ASSERT_TRUE(job.write_bytes(part.data(), part.size()));
    client::session song(2s); // logged in: not a deadline case
    ASSERT_TRUE(song.open_protocol1("127.0.0.1", port, "kxvwq"));
    ASSERT_EQ(song.choose_client_type(protocol::CLIENT_SONG), 0);
    // One byte of a render-job request every 2 s: a silence limit that each
    // byte restarts never closed it.
    auto drip = std::async(std::launch::async, [port] {
        client::session s(5s);
        if (!s.connect("127.0.0.1", port) || !s.write_word(0)) {
            return clock_type::duration::max();
        }
        const auto start = clock_type::now();
        const std::uint8_t zero = 0;
        while (clock_type::now() - start < 45s && !s.wait_readable(2s)) {
            s.write_bytes(&zero, 1);
        }
        return clock_type::now() - start;
    });

    EXPECT_TRUE(quiet.wait_closed());
    EXPECT_TRUE(challenged.wait_closed());
    EXPECT_TRUE(answered.wait_closed()) << "the deadline ended with the answer";
    EXPECT_TRUE(job.wait_closed());
    EXPECT_GE(clock_type::now() - began, 29s) << "closed before the limit";
    const auto dripped = drip.get();
    EXPECT_GE(dripped, 29s) << "closed before the limit";
    EXPECT_LT(dripped, 40s) << "a drip held the connection open";
    EXPECT_FALSE(song.wait_closed()) << "a logged-in session stays";
    server.stop();
}

} // namespace
