#include "tests/shell/win32/shell_rig.hpp"

#include "core/strings.hpp"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <thread>
#include <zlib.h>

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

namespace {
void put_be32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((v >> shift) & 0xff));
    }
}

void put_chunk(std::string& out, const char* type, const std::string& body) {
    put_be32(out, static_cast<std::uint32_t>(body.size()));
    const std::string typed = std::string(type, 4) + body;
    out += typed;
    put_be32(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                                   static_cast<uInt>(typed.size()))));
}

// RGB rows, top first, as a PNG file.
std::string png_file(int w, int h, const std::string& rows) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    put_be32(header, static_cast<std::uint32_t>(w));
    put_be32(header, static_cast<std::uint32_t>(h));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8-bit RGB
    put_chunk(out, "IHDR", header);
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
              reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()), 9);
    packed.resize(size);
    put_chunk(out, "IDAT", packed);
    put_chunk(out, "IEND", std::string());
    return out;
}
} // namespace

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
    info.bmiHeader.biHeight = -h; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    const int stride = (w * 3 + 3) & ~3;
    std::string rows;
    for (int y = 0; y < h; ++y) {
        rows.push_back('\0'); // no filter
        const auto* line = static_cast<const unsigned char*>(bits) + y * stride;
        for (int x = 0; x < w; ++x) {
            rows.push_back(static_cast<char>(line[x * 3 + 2]));
            rows.push_back(static_cast<char>(line[x * 3 + 1]));
            rows.push_back(static_cast<char>(line[x * 3]));
        }
    }
    std::ofstream(dir + "\\" + name + ".png", std::ios::binary) << png_file(w, h, rows);
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
