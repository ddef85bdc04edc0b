#include "shell/shell_controller.hpp"
#include "shell/ui_text.hpp"

#include "core/config_store.hpp"
#include "core/lifecycle.hpp"
#include "core/strings.hpp"
#include "shell/about_dialog.hpp"
#include "shell/options_window.hpp"
#include "shell/server_window.hpp"
#include "shell/skin_button.hpp"
#include "shell/tray.hpp"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace zs::shell {

namespace {} // namespace

shell_controller::shell_controller(core::config_store& config, shell_settings settings)
    : config_(config), settings_(std::move(settings)), skin_(skin::make()) {}

shell_controller::~shell_controller() {
    delete options_.data();
    delete about_.data();
}

void shell_controller::create(core::command_hook hook) {
    if (window_) {
        return;
    }
    hook_ = std::move(hook);
    QApplication::setWindowIcon(skin_.window_icon);

    window_ = std::make_unique<server_window>(skin_);
    window_->setWindowIcon(skin_.window_icon);
    window_->set_title(text_of(core::string_id::caption));
    window_->set_options_label(text_of(core::string_id::options));
    connect(window_.get(), &server_window::start_stop_clicked, this, &shell_controller::start_stop);
    connect(window_.get(), &server_window::hide_clicked, this, &shell_controller::toggle_visible);
    connect(window_.get(), &server_window::minimize_requested, this,
            &shell_controller::hide_to_tray);
    connect(window_.get(), &server_window::options_clicked, this, &shell_controller::open_options);
    connect(window_.get(), &server_window::about_requested, this, &shell_controller::show_about);

    tray_ = std::make_unique<tray>(skin_.running_icon, skin_.stopped_icon, settings_.tray_poll);
    connect(tray_.get(), &tray::menu_opening, this, &shell_controller::relabel_menu);
    connect(tray_.get(), &tray::left_clicked, this, &shell_controller::toggle_visible);
    connect(tray_->start_stop_action(), &QAction::triggered, this, &shell_controller::start_stop);
    connect(tray_->show_hide_action(), &QAction::triggered, this,
            &shell_controller::toggle_visible);
    connect(tray_->about_action(), &QAction::triggered, this, &shell_controller::show_about);
    connect(tray_->exit_action(), &QAction::triggered, this, &shell_controller::close);
    tray_->add(text_of(core::string_id::caption));

    hidden_ = tray_area();
    window_->set_minimize_hides(hidden_);
    if (!hidden_) {
        window_->show();
    }
    rebuild_status();
    refresh_running_state();
}

options_window* shell_controller::options() const {
    return options_.data();
}
about_dialog* shell_controller::about() const {
    return about_.data();
}

bool shell_controller::running() const {
    return hook_ && hook_(core::hook_code::query) == 1;
}

void shell_controller::set_ip_text(const std::string& text) {
    ip_text_ = QString::fromStdString(text);
    rebuild_status();
}

void shell_controller::set_problem_text(const std::string& text) {
    problem_text_ = QString::fromStdString(text);
    rebuild_status();
}

void shell_controller::rebuild_status() {
    if (window_) {
        window_->set_status_text(text_of(core::string_id::server_ip) + " " + ip_text_ + "\n" +
                                 text_of(core::string_id::description) + "\n" + problem_text_);
    }
}

void shell_controller::refresh_running_state() {
    if (!window_) {
        return;
    }
    const bool on = running();
    tray_->set_running(on);
    window_->set_running(on, text_of(on ? core::string_id::stop : core::string_id::start));
    rebuild_status();
    relabel_menu();
}

void shell_controller::relabel_menu() {
    if (tray_) {
        tray_->relabel(running(), hidden_);
    }
}

void shell_controller::show_message(const QString& text, core::message_icon icon) {
    // Also on standard error, for whoever started the server from a terminal
    // or a service manager and never sees the box.
    const QByteArray line = (text + '\n').toUtf8();
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    std::fflush(stderr);
    if (settings_.message_sink) {
        settings_.message_sink(text, icon);
        return;
    }
    const QMessageBox::Icon kind = icon == core::message_icon::error     ? QMessageBox::Critical
                                   : icon == core::message_icon::warning ? QMessageBox::Warning
                                                                         : QMessageBox::Information;
    QWidget* owner = window_ && window_->isVisible() ? window_.get() : nullptr;
    QMessageBox box(kind, text_of(core::string_id::caption), text, QMessageBox::Ok, owner);
    box.setWindowIcon(skin_.window_icon);
    box.exec();
}

void shell_controller::start_stop() {
    if (!hook_ || closed_) {
        return;
    }
    // A failed start reports itself through show_message.
    hook_(core::hook_code::toggle);
    refresh_running_state();
}

void shell_controller::toggle_visible() {
    if (!window_ || closed_) {
        return;
    }
    if (hidden_) {
        if (hook_) {
            hook_(core::hook_code::refresh_address);
        }
        hidden_ = false;
        window_->show();
        window_->raise();
        window_->activateWindow();
    } else if (!tray_area()) {
        window_->set_minimize_hides(false);
        window_->showMinimized();
    } else {
        hidden_ = true;
        window_->set_minimize_hides(true);
        window_->hide();
    }
    relabel_menu();
}

bool shell_controller::tray_area() const {
    return !settings_.tray_available || settings_.tray_available();
}

void shell_controller::hide_to_tray() {
    // The platform may report one minimize twice; a second toggle would show it again.
    if (!hidden_) {
        toggle_visible();
    }
}

void shell_controller::open_options() {
    if (!window_ || closed_ || options_) {
        return;
    }
    options_ = new options_window(skin_, config_);
    options_->setWindowIcon(skin_.window_icon);
    options_->move(window_->x() - 106, window_->y() + 17);
    connect(options_, &options_window::closed, this, &shell_controller::handle_options_closed);
    window_->setEnabled(false);
    options_->show();
    options_->raise();
    options_->activateWindow();
}

void shell_controller::handle_options_closed(bool saved) {
    if (!window_) {
        return;
    }
    if (const std::string failure = config_.save_failure(); saved && !failure.empty()) {
        show_message(QString::fromStdString(failure), core::message_icon::warning);
    }
    window_->setEnabled(true);
    if (!hidden_ && !closed_) {
        window_->raise();
        window_->activateWindow();
    }
}

void shell_controller::show_about() {
    if (closed_) {
        return;
    }
    if (!about_) {
        about_ = new about_dialog(skin_.window_icon);
        about_->setAttribute(Qt::WA_DeleteOnClose);
        about_->setWindowModality(Qt::ApplicationModal);
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void shell_controller::close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    if (options_) {
        options_->close();
    }
    if (about_) {
        about_->close();
    }
    if (window_) {
        window_->hide();
    }
    if (tray_) {
        tray_->remove();
    }
    emit exit_requested();
}

} // namespace zs::shell
