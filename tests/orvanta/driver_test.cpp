// Finding, starting and linking the program, and carrying commands to it.
#include "orvanta/ov_driver.hpp"
#include "tests/orvanta/fake_desktop.hpp"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using zs::orvanta::OV;
using zs::orvanta::ov_timing;
using zs::test::fake_desktop;

constexpr zs::platform::window_handle server_window = 9001;

ov_timing fast() {
    ov_timing t;
    t.round_wait = 1ms;
    t.poll_wait = 1ms;
    t.start_wait = 1ms;
    return t;
}

struct DriverTest : ::testing::Test {
    fake_desktop desk;
    OV ov{desk, [] { return std::string("/Music/Orvanta/"); }, [] { return server_window; },
          fast()};
};

TEST_F(DriverTest, FindsTheRunningProgramIdentifiesItAndRegistersTheServerWindow) {
    desk.running_pid = 31;
    desk.extra_windows = {{5, 31, "TOther", "Other"}, {6, 99, "TOrvantaWindow", "Orvanta"}};
    EXPECT_EQ(ov.send_command(0, 4, 0), 1);
    EXPECT_TRUE(desk.started.empty());
    EXPECT_EQ(ov.window(), fake_desktop::program_window);
    const auto all = desk.messages();
    ASSERT_EQ(all.size(), 3u); // identify, register, the command
    EXPECT_EQ(all[0].message, 1283u);
    EXPECT_EQ(all[1].wparam, 19);
    EXPECT_EQ(all[1].lparam, server_window);
    // Every command searches and registers again.
    ov.send_command(0, 4, 0);
    EXPECT_EQ(desk.commands(19).size(), 2u);
}

TEST_F(DriverTest, StartsTheProgramFromTheOrvantaFolderWithX4) {
    EXPECT_EQ(ov.post_command(0, 6, 0), 1);
    ASSERT_EQ(desk.started.size(), 1u);
    EXPECT_EQ(desk.started[0], "/Music/Orvanta/orvanta.exe /x4");
    EXPECT_EQ(ov.process(), desk.next_pid);
    EXPECT_TRUE(desk.messages().back().posted);
}

TEST_F(DriverTest, UnreachableProgramGivesMinusOne) {
    desk.can_start = false;
    EXPECT_EQ(ov.send_command(0, 4, 0), -1);
    EXPECT_EQ(ov.post_command(0, 6, 0), -1);
    EXPECT_EQ(desk.started.size(), 2u); // one attempt per call, no rounds
    EXPECT_EQ(ov.process(), 0u);

    // Running, but its window never answers identify with 259: every round searches.
    fake_desktop other;
    other.running_pid = 8;
    other.identify_answer = 258;
    ov_timing t = fast();
    t.rounds = 5;
    OV stubborn(
        other, [] { return std::string("/o/"); }, [] { return 1; }, t);
    EXPECT_EQ(stubborn.send_command(0, 4, 0), -1);
    EXPECT_EQ(other.messages().size(), 5u);
    EXPECT_TRUE(other.commands(19).empty());

    other.title = "Not Orvanta";
    other.identify_answer = 259;
    EXPECT_EQ(stubborn.send_command(0, 4, 0), -1);
    EXPECT_EQ(other.messages().size(), 5u); // a foreign title is never asked
}

TEST_F(DriverTest, CommandWordCarriesTheFirstArgumentInTheHighBits) {
    desk.running_pid = 3;
    std::int64_t seen_w = 0, seen_l = 0;
    desk.program = [&](std::uint32_t, std::int64_t w, std::int64_t l, bool) -> std::int64_t {
        if ((w & 0xFFFF) == 10) {
            seen_w = w;
            seen_l = l;
            return 7;
        }
        return 1;
    };
    EXPECT_EQ(ov.send_command(3, 10, 499), 7);
    EXPECT_EQ(seen_w, (3 << 16) | 10);
    EXPECT_EQ(seen_l, 499);
    ov.send_command(0, 0x1000A, 0); // only the low 16 bits of the code count
    EXPECT_EQ(seen_w, 10);
}

TEST_F(DriverTest, AnExitedProgramIsNoticedAndSoughtAgain) {
    desk.running_pid = 3;
    ov.send_command(0, 4, 0);
    desk.running_pid = 0; // it exited; the next start gives a new one
    desk.next_pid = 12;
    EXPECT_EQ(ov.send_command(0, 4, 0), 1);
    EXPECT_EQ(ov.process(), 12u);
    EXPECT_EQ(desk.started.size(), 1u);
}

TEST_F(DriverTest, UnlinkWithdrawsTheWindowAndForgetsButTheProgramRuns) {
    desk.running_pid = 3;
    ov.unlink();
    EXPECT_TRUE(desk.messages().empty()); // nothing known: nothing sent
    ov.ensure_running();
    ov.unlink();
    const auto regs = desk.commands(19);
    ASSERT_EQ(regs.size(), 2u);
    EXPECT_EQ(regs.back().lparam, 0);
    EXPECT_EQ(ov.process(), 0u);
    EXPECT_EQ(ov.window(), 0);
    EXPECT_EQ(desk.running_pid, 3u);
}

TEST(DriverLifetime, DestructionEndsARunningSearchAtOnce) {
    fake_desktop desk;
    desk.running_pid = 5;
    desk.identify_answer = 0; // never identifies: 60 rounds of 1 s
    {
        OV ov(
            desk, [] { return std::string("/o/"); }, [] { return 1; }, ov_timing{});
        ov.start_background();
        ov.start_background();
        while (desk.messages().empty()) {
            std::this_thread::yield();
        }
    }
    // Each search stopped after its current round instead of running 60.
    const auto asked = desk.messages().size();
    EXPECT_GE(asked, 1u);
    EXPECT_LE(asked, 4u);
}

} // namespace
