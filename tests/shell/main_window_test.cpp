// The main window and the tray icon: Start/Stop, the tray menu, hiding,
// About, Exit and work posted from other threads.
#include "tests/shell/shell_rig.hpp"

#include "core/server_address.hpp"
#include "shell/about_dialog.hpp"
#include "shell/server_window.hpp"
#include "shell/skin_button.hpp"
#include "shell/tray.hpp"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>

namespace {

using zs::test::drain_events;
using zs::test::shell_rig;

QStringList menu_texts(zs::shell::tray& t) {
    emit t.menu()->aboutToShow();
    QStringList texts;
    for (QAction* action : t.menu()->actions()) {
        if (!action->isSeparator()) {
            texts << action->text();
        }
    }
    return texts;
}

qint64 tray_icon_key(shell_rig& rig) {
    return rig.controller().tray_icon()->icon()->icon().cacheKey();
}

TEST(main_window, start_stop_label_and_tray_icon_follow_the_running_state) {
    shell_rig rig;
    auto& window = *rig.controller().window();
    EXPECT_EQ(window.start_stop_button()->text(), "Start");
    EXPECT_EQ(tray_icon_key(rig), rig.controller().look().stopped_icon.cacheKey());
    EXPECT_EQ(window.options_button()->text(), "Options ");

    rig.controller().toggle_visible();
    QTest::mouseClick(window.start_stop_button(), Qt::LeftButton);
    EXPECT_TRUE(rig.lifecycle->running());
    EXPECT_EQ(window.start_stop_button()->text(), "Stop");
    EXPECT_EQ(tray_icon_key(rig), rig.controller().look().running_icon.cacheKey());
    rig.shell->set_ip_text("192.168.7.21");
    EXPECT_TRUE(zs::test::save_screenshot(window, "main_window_running"));

    QTest::mouseClick(window.start_stop_button(), Qt::LeftButton);
    EXPECT_FALSE(rig.lifecycle->running());
    EXPECT_EQ(window.start_stop_button()->text(), "Start");
    EXPECT_EQ(tray_icon_key(rig), rig.controller().look().stopped_icon.cacheKey());
    EXPECT_TRUE(zs::test::save_screenshot(window, "main_window_stopped"));
    EXPECT_TRUE(rig.messages.empty());
}

TEST(main_window, failed_start_keeps_start_and_reports_it) {
    shell_rig rig;
    rig.tcp.succeed = false;
    auto& window = *rig.controller().window();
    QTest::mouseClick(window.start_stop_button(), Qt::LeftButton);
    EXPECT_FALSE(rig.lifecycle->running());
    EXPECT_EQ(window.start_stop_button()->text(), "Start");
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0], "Unable to start server");

    // The tray menu's Start runs the same path; a later success shows Stop.
    rig.tcp.succeed = true;
    rig.controller().tray_icon()->start_stop_action()->trigger();
    EXPECT_EQ(window.start_stop_button()->text(), "Stop");
    EXPECT_EQ(rig.messages.size(), 1u);
}

TEST(main_window, tray_menu_is_relabelled_from_the_state) {
    shell_rig rig;
    auto& tray = *rig.controller().tray_icon();
    EXPECT_EQ(menu_texts(tray), QStringList({"Start", "Show", "About", "Exit"}));

    rig.controller().toggle_visible();
    ASSERT_TRUE(rig.lifecycle->start_service());
    EXPECT_EQ(menu_texts(tray), QStringList({"Stop", "Hide", "About", "Exit"}));
    EXPECT_EQ(tray.icon()->toolTip(), "Zebrix Server");
}

TEST(main_window, starts_hidden_and_toggles_from_tray_hide_button_and_minimize) {
    shell_rig rig;
    auto& window = *rig.controller().window();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(rig.controller().hidden());

    // Showing recomputes the address first.
    const int calls = rig.refresh_address_calls;
    emit rig.controller().tray_icon()->icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(rig.refresh_address_calls, calls + 1);
    EXPECT_EQ(window.status_text(), "Server IP:  192.168.7.21\n<description here>\n");
    EXPECT_EQ(window.version_text(), "Version 2.0.1 build 5058");
    EXPECT_EQ(window.size(), QSize(312, 314));

    QTest::mouseClick(window.hide_button(), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    rig.controller().tray_icon()->show_hide_action()->trigger();
    EXPECT_TRUE(window.isVisible());

    window.setWindowState(Qt::WindowMinimized);
    drain_events();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(rig.controller().hidden());
    EXPECT_FALSE(window.windowState() & Qt::WindowMinimized);
}

// The first start after setup shows the window once, with what the
// start-up check found under the address.
TEST(main_window, first_start_shows_the_window_with_the_startup_problem) {
    shell_rig rig;
    auto& window = *rig.controller().window();
    ASSERT_FALSE(window.isVisible());
    rig.shell->set_problem_text("Cannot write to ZebHelper");
    rig.shell->show_window();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(rig.controller().hidden());
    EXPECT_EQ(window.status_text(),
              "Server IP:  192.168.7.21\n<description here>\nCannot write to ZebHelper");
    rig.shell->show_window(); // shown already: stays so
    EXPECT_TRUE(window.isVisible());
}

TEST(main_window, without_a_notification_area_it_is_shown_and_minimizes_instead_of_hiding) {
    shell_rig rig(false);
    auto& window = *rig.controller().window();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(rig.controller().hidden());
    // This machine's own address, as a client would need it.
    rig.address = zs::core::server_ip_text();
    rig.lifecycle->server_command_hook(zs::core::hook_code::refresh_address);
    EXPECT_TRUE(window.status_text().contains(QString::fromStdString(rig.address)));
    EXPECT_TRUE(zs::test::save_screenshot(window, "main_window_no_tray"));

    // Hide and minimize keep the window reachable: it stays on the taskbar.
    QTest::mouseClick(window.hide_button(), Qt::LeftButton);
    drain_events();
    EXPECT_TRUE(window.windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(rig.controller().hidden());
    window.setWindowState(Qt::WindowMinimized);
    drain_events();
    EXPECT_FALSE(rig.controller().hidden());
}

TEST(main_window, dragging_the_background_moves_the_window) {
    shell_rig rig;
    auto& window = *rig.controller().window();
    rig.controller().toggle_visible();
    window.move(200, 200);
    const QPoint start = window.pos();
    const QPointF grab(150, 200);
    QMouseEvent press(QEvent::MouseButtonPress, grab, window.mapToGlobal(grab), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &press);
    EXPECT_TRUE(window.dragging());
    const QPointF to = window.mapToGlobal(grab) + QPointF(40, 25);
    QMouseEvent move(QEvent::MouseMove, grab + QPointF(40, 25), to, Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&window, &move);
    EXPECT_EQ(window.pos(), start + QPoint(40, 25));
    QMouseEvent release(QEvent::MouseButtonRelease, grab, to, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&window, &release);
    EXPECT_FALSE(window.dragging());
}

TEST(main_window, about_box_shows_version_and_notice) {
    shell_rig rig;
    rig.controller().tray_icon()->about_action()->trigger();
    auto* about = rig.controller().about();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->windowTitle(), "About ZebrixServer");
    EXPECT_EQ(about->version_line(), "ZebrixServer, Version  2.0.1 build 5058");
    EXPECT_FALSE(about->notice_line().isEmpty());
    EXPECT_TRUE(zs::test::save_screenshot(*about, "about_dialog"));
    about->accept();
    drain_events();
    EXPECT_EQ(rig.controller().about(), nullptr);
}

TEST(main_window, exit_ends_the_loop_with_zero_and_removes_the_tray_icon) {
    shell_rig rig;
    rig.controller().toggle_visible();
    QTimer::singleShot(0, [&] { rig.controller().tray_icon()->exit_action()->trigger(); });
    // A bound in case Exit never ends the loop.
    QTimer::singleShot(20000, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(rig.shell->run(), 0);
    EXPECT_FALSE(rig.controller().window()->isVisible());
    EXPECT_FALSE(rig.controller().tray_icon()->icon()->isVisible());
    // Once closed, the loop does not start again.
    EXPECT_EQ(rig.shell->run(), 0);
}

TEST(main_window, posted_work_runs_on_the_main_thread_in_order) {
    shell_rig rig;
    std::vector<int> order;
    bool on_main = true;
    QThread* main_thread = QThread::currentThread();
    std::thread other([&] {
        for (int i = 0; i < 3; ++i) {
            rig.shell->post([&, i] {
                order.push_back(i);
                on_main = on_main && QThread::currentThread() == main_thread;
            });
        }
    });
    other.join();
    EXPECT_TRUE(order.empty()); // queued, not run on the posting thread
    drain_events();
    EXPECT_EQ(order, std::vector<int>({0, 1, 2}));
    EXPECT_TRUE(on_main);
}

} // namespace
