#pragma once
// A Qt shell on the offscreen platform with the real start-up order behind
// its hook; message boxes are collected instead of shown.
#include "core/config_store.hpp"
#include "core/lifecycle.hpp"
#include "shell/qt_shell.hpp"
#include "shell/shell_controller.hpp"
#include "tests/support/temp_folder.hpp"

#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace zs::test {

// Makes the process's QApplication once (offscreen unless told otherwise).
void ensure_qt_app();
// Runs queued events, deferred deletes included.
void drain_events();
// Saves a widget's image under <build>/screenshots/<name>.png.
bool save_screenshot(QWidget& widget, const QString& name);

class switchable_piece final : public core::service_piece {
public:
    bool start() override { return succeed; }
    void stop() override {}
    bool succeed = true;
};

struct shell_rig {
    // tray_area: whether the notification area is there (offscreen has none).
    explicit shell_rig(bool tray_area = true);
    ~shell_rig();

    shell::shell_controller& controller() { return shell->controller(); }

    temp_folder helper{"zs-shell"};
    core::config_store config;
    switchable_piece tcp;
    std::vector<QString> messages;
    int refresh_address_calls = 0;
    std::string address = "192.168.7.21"; // what the address lookup gives
    std::unique_ptr<shell::qt_shell> shell;
    std::unique_ptr<core::server_lifecycle> lifecycle;
};

} // namespace zs::test
