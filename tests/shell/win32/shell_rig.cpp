#include "tests/shell/win32/shell_rig.hpp"

#include "core/strings.hpp"
#include "tests/shell/win32/window_png.hpp"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <thread>

namespace zs::shell::win32::test {

namespace {
std::string env(const char* name) {
    char buffer[1024];
    const DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

std::string scratch_folder() {
    char base[MAX_PATH];
    ::GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    std::string path = std::string(base) + "zs-shell-" + std::to_string(::GetCurrentProcessId()) +
                       "-" + std::to_string(++counter) + "\\";
    ::CreateDirectoryA(path.c_str(), nullptr);
    return path;
}
} // namespace

core::lifecycle_pieces shell_rig::pieces(switch_piece& service) {
    core::lifecycle_pieces p;
    p.tcp = &service;
    p.server_address = [] { return std::string("192.0.2.7"); };
    return p;
}

shell_rig::shell_rig()
    : helper(scratch_folder()), shell(config,
                                      [this](const platform::window_message& m) -> std::int64_t {
                                          notifications.push_back(m);
                                          return m.message >= 1025 && m.message <= 1043 ? 1 : 0;
                                      },
                                      {.always_message_box = true}),
      lifecycle(pieces(service), shell) {
    config.load(helper);
    core::install_string_table(helper);
    lifecycle.start_service();
    shell.create([this](zs::core::hook_code code) { return lifecycle.server_command_hook(code); });
    shell.set_ip_text("192.0.2.7");
    shell.refresh_running_state();
    pump();
}

shell_rig::~shell_rig() {
    shell.close();
    pump();
    const std::string config_file = helper + "config.txt";
    ::DeleteFileA(config_file.c_str());
    ::RemoveDirectoryA(helper.c_str());
}

void shell_rig::pump(std::chrono::milliseconds span) {
    pump_until([] { return false; }, span);
}

bool shell_rig::pump_until(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                continue; // the rig's shell closed; nothing more to run
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

bool with_display() {
    return env("ZEBRIX_WINE_X") == "1";
}

namespace {

// A window of this process only: a prefix is one machine, and another test
// process may show a window of the same class and title at the same time.
HWND own_window(const wchar_t* class_name, const wchar_t* title) {
    for (HWND w = ::FindWindowExW(nullptr, nullptr, class_name, title); w != nullptr;
         w = ::FindWindowExW(nullptr, w, class_name, title)) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        if (pid == ::GetCurrentProcessId()) {
            return w;
        }
    }
    return nullptr;
}

} // namespace

std::future<std::wstring> when_window(const wchar_t* class_name, const wchar_t* title,
                                      std::function<std::wstring(HWND)> look) {
    return std::async(std::launch::async, [class_name, title, look = std::move(look)] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end) {
            HWND w = own_window(class_name, title);
            if (w != nullptr && ::IsWindowVisible(w)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let it paint
                return look(w);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return std::wstring();
    });
}

void screenshot(HWND window, const std::string& name) {
    const std::string dir = env("ZEBRIX_SCREENSHOT_DIR");
    if (dir.empty() || !with_display()) {
        return;
    }
    std::ofstream(dir + "\\" + name + ".png", std::ios::binary) << zs::test::window_png(window);
}

std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace zs::shell::win32::test
