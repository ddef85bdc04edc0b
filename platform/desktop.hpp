#pragma once
// The desktop: top-level windows and numbered messages between processes,
// with the semantics the two music programs expect (see docs/programs.md,
// "The desktop").
// On Windows these are the system's own windows and messages; the desktop
// folder arguments then have no meaning.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zs::platform {

using window_handle = std::int32_t; // 1 to 2147483647; 0 is "no window"

struct window_info {
    window_handle handle = 0;
    int pid = 0;
    std::string class_name;
    std::string title;
};

// Every window from the topmost down; entries of processes that no longer
// run are skipped and removed.
std::vector<window_info> enumerate_windows();
std::vector<window_info> enumerate_windows(const std::string& desktop_folder);
// The windows of one other process, topmost first. Class and title are read
// only for that process's windows, and never for this process's own: on
// Windows reading the title of one's own window waits for the thread that
// owns it, which may be waiting for the caller.
std::vector<window_info> windows_of_process(std::uint32_t pid);

// Lets one thread end the sends of others at once: while it is set, every
// send and post given it gives up without waiting ("no answer").
class send_cancel {
public:
    send_cancel();
    ~send_cancel();
    send_cancel(const send_cancel&) = delete;
    send_cancel& operator=(const send_cancel&) = delete;

    void set(bool cancelled);
    bool cancelled() const;

    class impl; // the system's wake-up object (a pipe, an event)
    const impl& native() const { return *impl_; }

private:
    std::unique_ptr<impl> impl_;
};

// Sends and waits for the window procedure's result; 0 when the window does
// not exist, does not answer, or the time-out (ZEBRIX_SEND_TIMEOUT_MS) passes.
std::int64_t send_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                          std::int64_t lparam);
std::int64_t send_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                          std::int64_t lparam, std::chrono::milliseconds timeout);
// The same, ended at once (0) while `cancel` is set.
std::int64_t send_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                          std::int64_t lparam, const send_cancel& cancel);
// True when the frame was written.
bool post_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                  std::int64_t lparam);
bool post_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                  std::int64_t lparam, const send_cancel& cancel);

// As send_message, but tells "not delivered or no answer" (nullopt) from a result of 0.
std::optional<std::int64_t> try_send_message(const std::string& desktop_folder,
                                             window_handle window, std::uint32_t message,
                                             std::int64_t wparam, std::int64_t lparam,
                                             std::chrono::milliseconds timeout,
                                             const send_cancel* cancel = nullptr);
bool post_message(const std::string& desktop_folder, window_handle window, std::uint32_t message,
                  std::int64_t wparam, std::int64_t lparam, const send_cancel* cancel = nullptr);

// One message as it crosses the desktop: 24 bytes, all little-endian.
inline constexpr std::uint32_t frame_sent = 1;
inline constexpr std::uint32_t frame_posted = 2;
inline constexpr std::size_t frame_size = 24;
inline constexpr std::size_t answer_size = 8;

struct window_message {
    bool sent = true; // false: posted, nobody waits for the result
    std::uint32_t message = 0;
    std::int64_t wparam = 0;
    std::int64_t lparam = 0;
};

} // namespace zs::platform
