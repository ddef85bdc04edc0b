#pragma once
// The server's main window on the desktop: class "maindlg", title "Zebrix
// Server", the target of the programs' notifications. Notifications are
// answered at once on the window's listener thread and their work is queued
// to the shell's main thread, so a program that notifies while it handles one
// of the server's own commands never waits for the server.
#include "core/shell_interface.hpp"
#include "platform/desktop.hpp"
#include "platform/desktop_window.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zs::server {

// Filled by the composition with the drivers' hooks; empty ones are skipped.
struct main_window_events {
    std::function<void(std::int64_t wparam, std::int64_t lparam)> zebrix_event; // 1287
    std::function<void()> render_done;                                          // 1424
    std::function<void(int code, std::int64_t wparam, std::int64_t lparam)> orvanta_event;
    std::function<void()> close_requested; // WM_CLOSE (16)
};

class main_window {
public:
    using shell_interface = core::shell_interface;
    // work_queue runs work on the main thread (the shell's post()).
    main_window(std::function<void(std::function<void()>)> work_queue, main_window_events events);
    main_window(shell_interface& shell, main_window_events events);

    // The hooks; fill them before create(), the listener reads them afterwards.
    main_window_events& events() { return events_; }

    // Registers the window on the desktop; false when that fails.
    bool create(const std::string& desktop_folder = platform::desktop_dir());
    void destroy();
    platform::window_handle handle() const { return window_ ? window_->handle() : 0; }
    std::error_code error() const { return window_ ? window_->error() : std::error_code(); }

    // The window procedure; runs on the listener thread and gives the answer.
    std::int64_t handle_message(const platform::window_message& m);

private:
    std::function<void(std::function<void()>)> queue_;
    main_window_events events_;
    std::optional<platform::desktop_window> window_;
};

} // namespace zs::server
