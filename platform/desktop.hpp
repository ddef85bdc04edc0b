#pragma once
// The desktop: top-level windows and numbered messages between processes,
// with the semantics the two music programs expect (see README "Desktop").
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zs::platform {

using window_handle = std::int32_t;  // 1 to 2147483647; 0 is "no window"

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

// Sends and waits for the window procedure's result; 0 when the window does
// not exist, does not answer, or the time-out (ZEBRIX_SEND_TIMEOUT_MS) passes.
std::int64_t send_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                          std::int64_t lparam);
std::int64_t send_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                          std::int64_t lparam, std::chrono::milliseconds timeout);
// True when the frame was written.
bool post_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                  std::int64_t lparam);

} // namespace zs::platform
