// A program that sends a notification to the server's main window while it
// handles one of the server's own commands must not deadlock with it.
#include "platform/desktop.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "server/main_window.hpp"
#include "tests/support/staged_server.hpp"

#include <condition_variable>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace zs::test {
namespace {

TEST(desktop_notify_test, NotificationDuringACommandDoesNotDeadlock) {
    staged_server stage;
    ::setenv("ZEBRIX_DESKTOP", stage.desktop().c_str(), 1);
    ::unsetenv("ZEBRIX_SEND_TIMEOUT_MS");
    platform::write_file(stage.zebrix_dir() + "zebw.exe.behaviour", "send_notify.5=1287,3,4\n");

    // The "main thread" of this server: a loop that runs the window's queued work.
    platform::message_loop main_loop;
    std::thread main_thread([&] { main_loop.run(); });
    std::mutex command_lock; // what a driver holds for a whole command
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<std::int64_t, std::int64_t>> events;
    server::main_window_events hooks;
    hooks.zebrix_event = [&](std::int64_t w, std::int64_t l) {
        std::lock_guard command(command_lock);
        std::lock_guard lock(m);
        events.emplace_back(w, l);
        cv.notify_all();
    };
    server::main_window window([&](std::function<void()> work) { main_loop.post(std::move(work)); },
                               hooks);
    ASSERT_TRUE(window.create());

    const auto zebw = platform::start_process(stage.zebrix_dir() + "zebw.exe", {},
                                              stage.zebrix_dir(), std::chrono::seconds(10));
    platform::window_handle program = 0;
    for (const auto& w : platform::enumerate_windows()) {
        if (static_cast<platform::process_id>(w.pid) == zebw.pid) {
            program = w.handle;
        }
    }
    ASSERT_NE(program, 0);
    std::int64_t reply = 0;
    {
        std::lock_guard command(command_lock);
        EXPECT_EQ(platform::send_message(program, 1286, 18, window.handle()), 1);
        // The program sends 1287 to the main window before it replies.
        // The program's own send waits up to its 60 s default; ours gives up sooner,
        // so a deadlock shows as a reply of 0 here.
        reply = platform::send_message(program, 1286, 5, 0, std::chrono::seconds(20));
        std::lock_guard lock(m);
        EXPECT_TRUE(events.empty()); // delivered only once the command is over
    }
    EXPECT_EQ(reply, 1);
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return !events.empty(); }));
        EXPECT_EQ(events.front(), std::make_pair(std::int64_t{3}, std::int64_t{4}));
    }
    std::string log;
    platform::read_file(stage.zebrix_dir() + "zebw.exe.log", log);
    EXPECT_EQ(log, "sent 1286 18 " + std::to_string(window.handle()) + " 1\nsent 1286 5 0 1\n");

    platform::terminate_process(zebw.pid, std::chrono::seconds(5));
    window.destroy();
    main_loop.stop();
    main_thread.join();
    ::unsetenv("ZEBRIX_DESKTOP");
}

} // namespace
} // namespace zs::test
