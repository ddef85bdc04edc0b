#pragma once
// ZEBW: the server's one link to the interactive zebw.exe. It finds or starts
// the program, identifies its main window, checks that it answers, registers
// the server's window for notifications and carries WM_ZEBW_COMMAND messages.
#include "platform/desktop.hpp"
#include "platform/process.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zs::zebrix {

// Every wait of the driver, in one place so tests can shorten them.
struct zebw_timing {
    std::chrono::milliseconds attempt_wait{500}; // between window attempts and probes
    int window_attempts = 20;                    // about 10 s
    int probe_repeats = 60;                      // about 30 s
    std::chrono::milliseconds start_wait{10000}; // until a started program shows its window
};

// The operating-system services the driver uses; the desktop one is the
// real thing, tests hand in their own program.
class zebw_system {
public:
    virtual ~zebw_system() = default;
    virtual platform::process_id find_process(const std::string& exe_name) = 0;
    virtual platform::start_result start_process(const std::string& path, const std::string& cwd,
                                                 std::chrono::milliseconds wait) = 0;
    virtual bool process_runs(platform::process_id pid) = 0;
    // The windows of that process, topmost first (others may be among them).
    virtual std::vector<platform::window_info> windows(platform::process_id pid) = 0;
    virtual std::int64_t send(platform::window_handle window, std::uint32_t message,
                              std::int64_t wparam, std::int64_t lparam) = 0;
    // While set, sends end at once with no answer (a send in progress too).
    virtual void cancel_sends(bool) {}
};
std::unique_ptr<zebw_system> make_desktop_system();

// What the command set needs from the program.
class zebw_target {
public:
    virtual ~zebw_target() = default;
    virtual std::int32_t send_command(std::int32_t first, std::int32_t code,
                                      std::int32_t second) = 0;
    virtual std::int32_t send_raw(std::int64_t wparam, std::int64_t lparam) = 0;
    // True while the service stops: loops over a client's input end early.
    virtual bool stopping() { return false; }
};

class ZEBW final : public zebw_target {
public:
    // zebrix_dir ends in "/": zebw.exe lives there and runs there.
    ZEBW(std::string zebrix_dir, std::unique_ptr<zebw_system> system, zebw_timing timing = {});
    ~ZEBW() override;
    ZEBW(const ZEBW&) = delete;
    ZEBW& operator=(const ZEBW&) = delete;

    // The window the program sends its notifications to (the main window),
    // asked for at each registration.
    void set_notify_window(std::function<platform::window_handle()> source) {
        notify_window_ = std::move(source);
    }

    platform::process_id find_process();
    platform::process_id start_process();
    platform::window_handle find_window(platform::process_id pid);
    void ensure_running();
    bool is_connected();
    std::int32_t send_command(std::int32_t first, std::int32_t code, std::int32_t second) override;
    std::int32_t send_raw(std::int64_t wparam, std::int64_t lparam) override;
    bool stopping() override;
    // Runs ensure_running once on a detached thread (the destructor waits for
    // such threads after stop(), so a short-lived driver is safe too).
    void start_background();
    // Sends the release command to a known window and forgets process and window.
    void release();

    // Ends every pending wait and send at once; later ones return
    // immediately until resume().
    void stop();
    void resume();

private:
    bool connected_locked();
    // True when a window answered ready; false after the probes ran out or a stop.
    bool search_window_locked();
    // False when stopped: the caller gives up.
    bool pause();

    const std::string zebrix_dir_;
    const std::unique_ptr<zebw_system> system_;
    const zebw_timing timing_;
    std::function<platform::window_handle()> notify_window_; // set before first use

    std::mutex driver_lock_;
    platform::process_id pid_ = 0;
    platform::window_handle window_ = 0;

    std::mutex stop_lock_;
    std::condition_variable stop_signal_;
    bool stopped_ = false;
    int background_running_ = 0; // detached threads still inside ensure_running
};

} // namespace zs::zebrix
