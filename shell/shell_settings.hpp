#pragma once
// What the shell lets a caller choose: time constants and where message
// texts go (tests collect them instead of opening a modal box).
#include "core/shell_interface.hpp"

#include <QString>
#include <QSystemTrayIcon>
#include <chrono>
#include <functional>

namespace zs::shell {

struct shell_settings {
    // How often the tray icon looks whether the notification area came back.
    std::chrono::milliseconds tray_poll{2000};
    // Empty: a modal message box with the caption of string 0.
    std::function<void(const QString& text, core::message_icon icon)> message_sink;
    // Handle SIGINT/SIGTERM (close) and SIGUSR1 (Start/Stop) as headless does.
    bool handle_signals = true;
    // Whether a notification area is there to hold the icon; without one the
    // window is shown, since a hidden window could not be reached again.
    std::function<bool()> tray_available = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
};

} // namespace zs::shell
