#pragma once
// A Windows shell on the test's own thread, with a configuration in a
// scratch helper folder and a lifecycle whose service start can be made to
// fail. Modal loops (menus, message boxes, dialogs) run on this thread while
// a watcher thread looks at them and ends them.
#include "core/config_store.hpp"
#include "core/lifecycle.hpp"
#include "platform/desktop.hpp"
#include "shell/win32/server_window.hpp"
#include "shell/win32/win32_shell.hpp"

#include <windows.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

namespace zs::shell::win32::test {

struct switch_piece final : core::service_piece {
    bool fail = false;
    bool on = false;
    bool start() override { return on = !fail; }
    void stop() override { on = false; }
};

class shell_rig {
public:
    shell_rig();
    ~shell_rig();

    core::config_store config;
    switch_piece service;
    std::vector<platform::window_message> notifications;
    std::string helper;
    win32_shell shell;
    core::server_lifecycle lifecycle;

    HWND main() { return shell.window().handle(); }
    LRESULT command(int id) { return ::SendMessageW(main(), WM_COMMAND, id, 0); }
    // Runs queued messages of this thread for a while.
    void pump(std::chrono::milliseconds span = std::chrono::milliseconds(50));
    // Pumps until ready is true, at most limit; the last value of ready.
    bool pump_until(const std::function<bool()>& ready,
                    std::chrono::milliseconds limit = std::chrono::seconds(20));

private:
    static core::lifecycle_pieces pieces(switch_piece& service);
};

// True under Xvfb (ZEBRIX_WINE_X=1): a notification area exists.
bool with_display();

// Watches, on a thread of its own, for a top-level window of the class and
// title (null: any) and runs look on that thread once it shows; the future
// holds look's answer, or an empty text when the window never showed.
std::future<std::wstring> when_window(const wchar_t* class_name, const wchar_t* title,
                                      std::function<std::wstring(HWND)> look);

// Screen pixels of a window's rectangle into <name>.png in the folder
// ZEBRIX_SCREENSHOT_DIR when it is set and there is a display.
void screenshot(HWND window, const std::string& name);

std::string read_bytes(const std::string& path);

} // namespace zs::shell::win32::test
