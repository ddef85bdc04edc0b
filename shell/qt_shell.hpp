#pragma once
// The windowed shell: a Qt application with the main window and the tray
// icon. The QApplication exists only here, so the headless path never
// needs a display.
#include "core/shell_interface.hpp"
#include "shell/shell_settings.hpp"

#include <QObject>
#include <memory>
#include <string>

class QApplication;

namespace zs::core {
class config_store;
}

namespace zs::shell {

class shell_controller;
class signal_watcher;

// True when a Qt platform can be expected to start (an X display that
// answers, a Wayland display, or an explicitly chosen Qt platform).
// The reason is filled when a named display cannot be reached.
bool display_available(std::string* unreachable_reason = nullptr);

class qt_shell final : public core::shell_interface {
public:
    // Uses the running QApplication if there is one, else makes its own.
    qt_shell(core::config_store& config, int& argc, char** argv, shell_settings settings = {});
    ~qt_shell() override;

    void create(core::command_hook hook) override;
    void set_ip_text(const std::string& text) override;
    void refresh_running_state() override;
    void show_message(const std::u16string& text, core::message_icon icon) override;
    void set_problem_text(const std::string& text) override;
    void show_window() override;
    void close() override;
    int run() override;
    void post(std::function<void()> work) override;

    shell_controller& controller() { return *controller_; }

private:
    void handle_signal(int number);

    std::unique_ptr<QApplication> own_app_;
    std::unique_ptr<QObject> dispatcher_; // lives on the main thread; receives post()
    std::unique_ptr<shell_controller> controller_;
    std::unique_ptr<signal_watcher> signals_;
    bool closed_ = false;
};

} // namespace zs::shell
