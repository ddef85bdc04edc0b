#include "shell/tray.hpp"

#include "core/strings.hpp"

namespace zs::shell {

namespace {
constexpr unsigned str_stop = 3, str_start = 12, str_show = 15, str_hide = 16, str_about = 17,
                   str_exit = 18;
constexpr int max_tip_chars = 128;

QString text_of(unsigned index) {
    return QString::fromStdU16String(core::get_string(index));
}
} // namespace

tray::tray(const QIcon& running, const QIcon& stopped, std::chrono::milliseconds tray_poll)
    : running_(running), stopped_(stopped), icon_(stopped) {
    menu_.setObjectName("Context");
    start_stop_ = menu_.addAction(text_of(str_start));
    show_hide_ = menu_.addAction(text_of(str_show));
    menu_.addSeparator();
    about_ = menu_.addAction(text_of(str_about));
    exit_ = menu_.addAction(text_of(str_exit));
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
    start_stop_->setText(text_of(running ? str_stop : str_start));
    show_hide_->setText(text_of(hidden ? str_show : str_hide));
    about_->setText(text_of(str_about));
    exit_->setText(text_of(str_exit));
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
