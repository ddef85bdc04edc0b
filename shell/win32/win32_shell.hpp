#pragma once
// The Windows desktop shell: the skinned main window with its tray icon,
// About and Options, and the message loop of the main thread. The entry
// hands it the notification procedure of the server's main window; the
// window it makes is the one the programs notify.
// Free of <windows.h>, so the entry keeps the programs' message names.
#include "core/shell_interface.hpp"
#include "platform/desktop.hpp"
#include "shell/win32/notification.hpp"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace zs::core {
class config_store;
}

namespace zs::shell::win32 {

class server_window;

struct win32_shell_settings {
    // False: a process with a standard error (started from a console or by
    // a test) gets message texts there, as a box would wait for a click;
    // one started from the desktop gets the box.
    bool always_message_box = false;
};

class win32_shell final : public core::shell_interface {
public:
    win32_shell(core::config_store& config, notification_procedure notify,
                win32_shell_settings settings = {});
    ~win32_shell() override;

    void create(core::command_hook hook) override;
    void set_ip_text(const std::string& text) override;
    void refresh_running_state() override;
    void show_message(const std::u16string& text, core::message_icon icon) override;
    void set_problem_text(const std::string& text) override;
    void show_window() override;
    void close() override;
    int run() override;
    void post(std::function<void()> work) override;

    // The programs' notification target (0 until create()).
    platform::window_handle handle() const;
    server_window& window() { return *window_; }

private:
    void run_posted();

    win32_shell_settings settings_;
    std::unique_ptr<server_window> window_;
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    void* target_ = nullptr; // the window post() wakes the loop through; guarded by mutex_
    bool closed_ = false;
};

} // namespace zs::shell::win32
