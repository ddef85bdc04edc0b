#include "tests/shell/shell_rig.hpp"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace zs::test {

void ensure_qt_app() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "shell_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives until the process ends
}

void drain_events() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

bool save_screenshot(QWidget& widget, const QString& name) {
    QDir().mkpath(ZS_SCREENSHOT_DIR);
    return widget.grab().save(QStringLiteral(ZS_SCREENSHOT_DIR "/%1.png").arg(name));
}

shell_rig::shell_rig(bool tray_area) {
    ensure_qt_app();
    config.load(helper.path());
    shell::shell_settings settings;
    settings.handle_signals = false;
    settings.tray_available = [tray_area] { return tray_area; };
    settings.message_sink = [this](const QString& text, core::message_icon) {
        messages.push_back(text);
    };
    static int argc = 1;
    shell = std::make_unique<shell::qt_shell>(config, argc, nullptr, settings);
    core::lifecycle_pieces pieces;
    pieces.tcp = &tcp;
    pieces.server_address = [this] {
        ++refresh_address_calls;
        return address;
    };
    lifecycle = std::make_unique<core::server_lifecycle>(pieces, *shell);
    shell->create([this](zs::core::hook_code code) { return lifecycle->server_command_hook(code); });
}

shell_rig::~shell_rig() {
    shell.reset();
    drain_events();
}

} // namespace zs::test
