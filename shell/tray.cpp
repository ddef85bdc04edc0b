#include "shell/tray.hpp"
#include "shell/ui_text.hpp"

#include "core/strings.hpp"

namespace zs::shell {

namespace {
constexpr int max_tip_chars = 128;

} // namespace

tray::tray(const QIcon& running, const QIcon& stopped, std::chrono::milliseconds tray_poll)
    : running_(running), stopped_(stopped), icon_(stopped) {
    menu_.setObjectName("Context");
    start_stop_ = menu_.addAction(text_of(core::string_id::start));
    show_hide_ = menu_.addAction(text_of(core::string_id::show));
    menu_.addSeparator();
    about_ = menu_.addAction(text_of(core::string_id::about));
    exit_ = menu_.addAction(text_of(core::string_id::exit));
    icon_.setContextMenu(&menu_);

    connect(&menu_, &QMenu::aboutToShow, this, &tray::menu_opening);
    connect(&icon_, &QSystemTrayIcon::activated, this, &tray::handle_activated);
    poll_.setInterval(tray_poll);
    connect(&poll_, &QTimer::timeout, this, &tray::handle_poll);
}

void tray::add(const QString& tip) {
    icon_.setToolTip(tip.left(max_tip_chars));
    icon_.show();
    added_ = true;
    area_seen_ = QSystemTrayIcon::isSystemTrayAvailable();
    poll_.start();
}

void tray::remove() {
    poll_.stop();
    icon_.hide();
    added_ = false;
}

void tray::set_running(bool running) {
    icon_.setIcon(running ? running_ : stopped_);
}

void tray::relabel(bool running, bool hidden) {
    start_stop_->setText(text_of(running ? core::string_id::stop : core::string_id::start));
    show_hide_->setText(text_of(hidden ? core::string_id::show : core::string_id::hide));
    about_->setText(text_of(core::string_id::about));
    exit_->setText(text_of(core::string_id::exit));
}

void tray::handle_activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) {
        emit left_clicked();
    }
}

void tray::handle_poll() {
    // A restarted notification area has forgotten the icon: add it again.
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available && !area_seen_ && added_) {
        icon_.hide();
        icon_.show();
    }
    area_seen_ = available;
}

} // namespace zs::shell
