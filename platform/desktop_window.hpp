#pragma once
// A top-level window of this process on the desktop. The window's own thread
// receives messages (a socket listener on Linux, a message loop on Windows);
// the window procedure runs for each one, one at a time in arrival order, on
// the owner's thread (through the dispatcher), and a sent message is answered
// with its result after the procedure returned.
#include "platform/desktop.hpp"
#include "platform/env.hpp"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace zs::platform {

class message_loop;

class desktop_window {
public:
    using procedure = std::function<std::int64_t(const window_message&)>;
    using dispatcher = std::function<void(std::function<void()>)>;
    struct answer_at_once_t {};
    static constexpr answer_at_once_t answer_at_once{};

    // The procedure runs on the owner's thread: dispatch must run the work it
    // is given there, in the order given.
    desktop_window(const std::string& class_name, const std::string& title, procedure proc,
                   dispatcher dispatch, const std::string& desktop_folder = desktop_dir());
    // The procedure runs on the thread of `owner`, which (on Linux) reads the
    // window's messages itself: no hand-over from a listener thread.
    desktop_window(const std::string& class_name, const std::string& title, procedure proc,
                   message_loop& owner, const std::string& desktop_folder = desktop_dir());
    // The procedure runs on the listener thread and its result is the answer;
    // it must return at once and queue any real work to its owner itself.
    desktop_window(answer_at_once_t, const std::string& class_name, const std::string& title,
                   procedure proc, const std::string& desktop_folder = desktop_dir());
    ~desktop_window(); // unregisters; queued messages are dropped unanswered
    desktop_window(const desktop_window&) = delete;
    desktop_window& operator=(const desktop_window&) = delete;

    bool valid() const { return handle_ != 0; }
    window_handle handle() const { return handle_; }
    // Why the window could not be made (the system's error) when not valid.
    const std::error_code& error() const { return error_; }

    // How long the listener waits for a connected sender's frame.
    static constexpr std::chrono::milliseconds frame_wait{2000};

private:
    class impl; // the system's side: socket and listener, or window and its thread
    std::unique_ptr<impl> impl_;
    window_handle handle_ = 0;
    std::error_code error_;
};

// A plain owner-thread loop for programs without an event loop of their own.
class message_loop {
public:
    message_loop();
    ~message_loop();
    message_loop(const message_loop&) = delete;
    message_loop& operator=(const message_loop&) = delete;

    void post(std::function<void()> work);
    // Runs queued work until stop(); each wait for work is bounded.
    void run();
    void stop();
    // Runs what is queued, waiting at most limit for the first item; the count run.
    std::size_t run_for(std::chrono::milliseconds limit);
    desktop_window::dispatcher dispatcher() {
        return [this](std::function<void()> work) { post(std::move(work)); };
    }

    class impl; // the system's way of waiting (and, on Linux, the windows it reads)
    impl& native() { return *impl_; }

private:
    std::unique_ptr<impl> impl_;
};

} // namespace zs::platform
