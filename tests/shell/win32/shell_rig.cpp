#include "tests/shell/win32/shell_rig.hpp"

#include "core/strings.hpp"

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
                                      }),
      lifecycle(pieces(service), shell) {
    config.load(helper);
    core::install_string_table(helper);
    lifecycle.start_service();
    shell.create([this](int code) { return lifecycle.server_command_hook(code); });
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

std::future<std::wstring> when_window(const wchar_t* class_name, const wchar_t* title,
                                      std::function<std::wstring(HWND)> look) {
    return std::async(std::launch::async, [class_name, title, look = std::move(look)] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end) {
            HWND w = ::FindWindowW(class_name, title);
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
    RECT r{};
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    const DWORD size = static_cast<DWORD>(((w * 3 + 3) & ~3) * h);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4d42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    std::ofstream out(dir + "\\" + name + ".bmp", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), size);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}

std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace zs::shell::win32::test
