#pragma once
// The notification-area icon with its context menu. The menu is relabelled
// from the string table each time it opens.
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>

namespace zs::shell {

class tray final : public QObject {
    Q_OBJECT
public:
    // tray_poll: how often to look whether the notification area came back.
    tray(const QIcon& running, const QIcon& stopped, std::chrono::milliseconds tray_poll);

    void add(const QString& tip); // shows the icon from now on
    void remove();
    void set_running(bool running);
    void relabel(bool running, bool hidden);

    QMenu* menu() { return &menu_; }
    QSystemTrayIcon* icon() { return &icon_; }
    QAction* start_stop_action() const { return start_stop_; }
    QAction* show_hide_action() const { return show_hide_; }
    QAction* about_action() const { return about_; }
    QAction* exit_action() const { return exit_; }

signals:
    void menu_opening(); // before the menu shows: time to relabel
    void left_clicked();

private:
    void handle_activated(QSystemTrayIcon::ActivationReason reason);
    void handle_poll();

    QIcon running_;
    QIcon stopped_;
    QMenu menu_;
    QSystemTrayIcon icon_;
    QAction* start_stop_;
    QAction* show_hide_;
    QAction* about_;
    QAction* exit_;
    QTimer poll_;
    bool added_ = false;
    bool area_seen_ = false;
};

} // namespace zs::shell
