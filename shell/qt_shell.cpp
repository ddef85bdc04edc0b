#include "shell/qt_shell.hpp"

#include "core/lifecycle.hpp"
#include "platform/env.hpp"
#include "platform/host_network.hpp"
#include "shell/shell_controller.hpp"
#include "shell/signal_watcher.hpp"

#include <QApplication>
#include <QSessionManager>
#include <csignal>

namespace zs::shell {

bool display_available(std::string* unreachable_reason) {
    if (!platform::env_or("WAYLAND_DISPLAY", "").empty() ||
        !platform::env_or("QT_QPA_PLATFORM", "").empty()) {
        return true;
    }
    const std::string display = platform::env_or("DISPLAY", "");
    if (display.empty()) {
        return false;
    }
    // The toolkit aborts the process on a display it cannot open.
    if (!platform::x_display_reachable(display)) {
        if (unreachable_reason != nullptr) {
            *unreachable_reason = "display " + display + " cannot be reached";
        }
        return false;
    }
    return true;
}

qt_shell::qt_shell(core::config_store& config, int& argc, char** argv, shell_settings settings) {
    if (QCoreApplication::instance() == nullptr) {
        own_app_ = std::make_unique<QApplication>(argc, argv);
    }
    // The window starts hidden and dialogs come and go: only Exit ends the loop.
    QApplication::setQuitOnLastWindowClosed(false);
    const bool with_signals = settings.handle_signals;
    dispatcher_ = std::make_unique<QObject>();
    controller_ = std::make_unique<shell_controller>(config, std::move(settings));

    QObject::connect(controller_.get(), &shell_controller::exit_requested, dispatcher_.get(),
                     [this] {
                         closed_ = true;
                         QCoreApplication::exit(0);
                     });
    // A log-off or shutdown closes the shell and lets the session end.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, dispatcher_.get(),
                     [this](QSessionManager&) { controller_->close(); });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, dispatcher_.get(),
                     [this] { controller_->close(); });
    if (with_signals) {
        signals_ = std::make_unique<signal_watcher>(
            [this](int number) { post([this, number] { handle_signal(number); }); });
    }
}

qt_shell::~qt_shell() {
    signals_.reset(); // no more posts from the watcher thread
    controller_.reset();
    dispatcher_.reset();
}

void qt_shell::handle_signal(int number) {
    if (number == SIGUSR1) {
        controller_->start_stop();
        return;
    }
    controller_->close();
}

void qt_shell::create(core::command_hook hook) {
    controller_->create(std::move(hook));
}

void qt_shell::set_ip_text(const std::string& text) {
    controller_->set_ip_text(text);
}

void qt_shell::set_problem_text(const std::string& text) {
    controller_->set_problem_text(text);
}

void qt_shell::show_window() {
    if (controller_->hidden()) {
        controller_->toggle_visible();
    }
}

void qt_shell::refresh_running_state() {
    controller_->refresh_running_state();
}

void qt_shell::show_message(const std::u16string& text, core::message_icon icon) {
    controller_->show_message(QString::fromStdU16String(text), icon);
}

void qt_shell::close() {
    controller_->close();
}

int qt_shell::run() {
    if (closed_) {
        return 0;
    }
    return QApplication::exec();
}

void qt_shell::post(std::function<void()> work) {
    // Queued onto the main thread's event loop; safe from any thread.
    QMetaObject::invokeMethod(
        dispatcher_.get(), [job = std::move(work)] { job(); }, Qt::QueuedConnection);
}

} // namespace zs::shell
