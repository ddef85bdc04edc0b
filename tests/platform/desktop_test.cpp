#include "platform/desktop_window.hpp"
#include "platform/files.hpp"
#include "tests/platform/desktop_fixture.hpp"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace zs::test {
namespace {

using platform::desktop_window;
using platform::message_loop;
using platform::window_message;

// A window of this process whose owner thread is a message_loop of its own.
class owned_window {
public:
    owned_window(const std::string& cls, const std::string& title, desktop_window::procedure p)
        : window_(cls, title, std::move(p), loop_), owner_([this] { loop_.run(); }) {}
    ~owned_window() {
        loop_.stop();
        owner_.join();
    }
    platform::window_handle handle() const { return window_.handle(); }
    std::thread::id owner_id() const { return owner_.get_id(); }

private:
    message_loop loop_;
    desktop_window window_;
    std::thread owner_;
};

using desktop_test = desktop_fixture;

TEST_F(desktop_test, SendIsAnsweredByAnotherProcess) {
    const auto pid = start(program());
    ASSERT_NE(pid, 0u);
    const auto h = window_of(pid); // start_process waited for this window
    ASSERT_NE(h, 0);
    EXPECT_EQ(platform::send_message(h, 1286, 16, 0), 7);
    EXPECT_EQ(platform::send_message(h, 1286, (3 << 16) | 13, 4), 54);
    std::string log;
    platform::read_file(programs_ / "zebw.exe.log", log);
    EXPECT_EQ(log, "sent 1286 16 0 7\nsent 1286 196621 4 54\n");
}

TEST_F(desktop_test, MessagesRunOnTheOwnerThreadInArrivalOrder) {
    std::mutex m;
    std::vector<std::string> seen;
    std::thread::id ran_on;
    owned_window w("TTest", "Test", [&](const window_message& msg) -> std::int64_t {
        std::lock_guard lock(m);
        ran_on = std::this_thread::get_id();
        seen.push_back((msg.sent ? "sent " : "posted ") + std::to_string(msg.message) + " " +
                       std::to_string(msg.wparam) + " " + std::to_string(msg.lparam));
        return msg.wparam + msg.lparam;
    });
    ASSERT_NE(w.handle(), 0);
    EXPECT_TRUE(platform::post_message(w.handle(), 7, 1, -1));
    EXPECT_TRUE(platform::post_message(w.handle(), 8, 2, -2));
    const std::int64_t big = std::int64_t(1) << 40;
    EXPECT_EQ(platform::send_message(w.handle(), 9, big, -5), big - 5);
    std::lock_guard lock(m);
    EXPECT_EQ(seen, (std::vector<std::string>{"posted 7 1 -1", "posted 8 2 -2",
                                              "sent 9 " + std::to_string(big) + " -5"}));
    EXPECT_EQ(ran_on, w.owner_id());
}

TEST_F(desktop_test, FrameIsTwentyFourLittleEndianBytesAndAnswerEight) {
    owned_window w("TTest", "Test", [](const window_message& m) -> std::int64_t {
        return m.sent && m.message == 0x01020304 && m.wparam == -2 && m.lparam == 0x0A0B0C0D0E ? -3
                                                                                               : 99;
    });
    const std::string path = desktop_ / (std::to_string(w.handle()) + ".sock");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const unsigned char frame[24] = {1,    0,    0,    0,    4,    3,    2,    1,
                                     0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                     0x0E, 0x0D, 0x0C, 0x0B, 0x0A, 0,    0,    0};
    ASSERT_EQ(::write(fd, frame, sizeof frame), 24);
    unsigned char answer[9] = {};
    ssize_t got = 0;
    for (ssize_t n = 1; n > 0 && got < 9; got += n) {
        n = ::read(fd, answer + got, sizeof answer - static_cast<std::size_t>(got));
        if (n <= 0) {
            break;
        }
    }
    ::close(fd);
    ASSERT_EQ(got, 8); // then the window closes the connection
    const unsigned char minus_three[8] = {0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(answer, minus_three, 8), 0);
}

TEST_F(desktop_test, SendToAVanishedWindowGivesZeroAndPostFalse) {
    platform::window_handle gone = 0;
    {
        owned_window w("TTest", "Test", [](const window_message&) -> std::int64_t { return 5; });
        gone = w.handle();
        EXPECT_EQ(platform::send_message(gone, 1, 0, 0), 5);
    }
    // An hour-long time-out: returning at all shows it did not wait.
    EXPECT_EQ(platform::send_message(gone, 1, 0, 0, std::chrono::hours(1)), 0);
    EXPECT_FALSE(platform::post_message(gone, 1, 0, 0));
    EXPECT_EQ(platform::send_message(0, 1, 0, 0), 0);
    EXPECT_FALSE(platform::file_exists(desktop_ / (std::to_string(gone) + ".win")));
    EXPECT_FALSE(platform::file_exists(desktop_ / (std::to_string(gone) + ".sock")));
}

TEST_F(desktop_test, SendToAWindowThatNeverAnswersGivesZeroAfterTheTimeOut) {
    ::setenv("ZEBRIX_SEND_TIMEOUT_MS", "200", 1);
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::atomic<bool> returned{false};
    {
        owned_window w("THung", "Hung", [&](const window_message&) -> std::int64_t {
            std::unique_lock lock(m);
            cv.wait_for(lock, std::chrono::seconds(30), [&] { return release; });
            returned = true;
            return 42;
        });
        EXPECT_EQ(platform::send_message(w.handle(), 1, 0, 0), 0);
        EXPECT_FALSE(returned); // the procedure was still running when the send gave up
        {
            std::lock_guard lock(m);
            release = true;
        }
        cv.notify_all();
    }
    ::unsetenv("ZEBRIX_SEND_TIMEOUT_MS");
    EXPECT_TRUE(returned);
}

// A send that waits on a hung window ends as soon as it is cancelled, and
// later ones give up at once until the cancel is lifted.
TEST_F(desktop_test, CancelEndsASendInProgressAndLaterOnesUntilLifted) {
    std::mutex m;
    std::condition_variable cv;
    bool hung = true;
    {
        owned_window w("THung", "Hung", [&](const window_message& msg) -> std::int64_t {
            std::unique_lock lock(m);
            cv.wait_for(lock, std::chrono::seconds(30), [&] { return !hung; });
            return msg.wparam;
        });
        platform::send_cancel cancel;
        const auto began = std::chrono::steady_clock::now();
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            cancel.set(true);
        });
        EXPECT_EQ(platform::send_message(w.handle(), 1, 5, 0, cancel), 0); // 60 s time-out
        canceller.join();
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
        EXPECT_EQ(platform::send_message(w.handle(), 1, 6, 0, cancel), 0);
        EXPECT_FALSE(platform::post_message(w.handle(), 1, 7, 0, cancel));
        {
            std::lock_guard lock(m);
            hung = false;
        }
        cv.notify_all();
        cancel.set(false);
        EXPECT_EQ(platform::send_message(w.handle(), 1, 8, 0, cancel), 8);
    }
}

TEST_F(desktop_test, NewWindowIsTopmostAndFilesDescribeIt) {
    auto proc = [](const window_message&) -> std::int64_t { return 0; };
    owned_window a("TFirst", "First", proc);
    owned_window b("TSecond", "Second title", proc);
    owned_window c("TThird", "Third", proc);
    const auto list = platform::enumerate_windows();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].handle, c.handle());
    EXPECT_EQ(list[1].handle, b.handle());
    EXPECT_EQ(list[2].handle, a.handle());
    EXPECT_EQ(list[1].class_name, "TSecond");
    EXPECT_EQ(list[1].title, "Second title");
    EXPECT_EQ(list[1].pid, static_cast<int>(::getpid()));
    std::string text;
    platform::read_file(desktop_ / (std::to_string(b.handle()) + ".win"), text);
    EXPECT_EQ(text,
              "pid=" + std::to_string(::getpid()) + "\nclass=TSecond\ntitle=Second title\nz=2\n");
}

TEST_F(desktop_test, StaleEntryOfAKilledProcessIsSkippedAndRemoved) {
    const auto pid = start(program());
    const auto h = window_of(pid);
    ASSERT_NE(h, 0);
    owned_window mine("TMine", "Mine", [](const window_message&) -> std::int64_t { return 0; });
    ASSERT_TRUE(platform::terminate_process(pid, std::chrono::seconds(5)));
    ASSERT_TRUE(platform::file_exists(desktop_ / (std::to_string(h) + ".win")));
    const auto list = platform::enumerate_windows();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].handle, mine.handle());
    EXPECT_FALSE(platform::file_exists(desktop_ / (std::to_string(h) + ".win")));
    EXPECT_FALSE(platform::file_exists(desktop_ / (std::to_string(h) + ".sock")));
    EXPECT_EQ(platform::send_message(h, 1286, 16, 0), 0);
}

} // namespace
} // namespace zs::test
