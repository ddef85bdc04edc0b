// Drives one page of a setup or uninstaller window under Wine (X11 driver):
// waits for the page, has page_probe.dll measure its texts inside the setup
// process, saves a screenshot, then acts on it (types into edits, unticks
// boxes, presses a button).
//   setup_pages.exe TITLE PNG EXPECTED [edit:N=TEXT] [uncheck:TEXT] [absent:TEXT] [click:ID]
// TITLE: how the window's title begins; EXPECTED: a text the page shows; the
// actions run in order (absent: no button with that text shows). Exit code
// 0: every text fits; 1: a text is cut off (each named on standard output);
// 3: no such window or page within the bound, or an action failed.
#include "tests/shell/win32/window_png.hpp"
#include "tests/win/page_probe.hpp"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

namespace {

// Generous bounds on a hang: setup unpacks itself and Wine starts processes slowly.
constexpr auto page_wait = std::chrono::seconds(90);
constexpr DWORD probe_wait_ms = 30000;
constexpr auto poll = std::chrono::milliseconds(100);

std::wstring wide(const char* text) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

std::wstring text_of(HWND w) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
        return std::wstring();
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG, 2000, &got);
    text.resize(got);
    return text;
}

std::wstring class_of(HWND w) {
    wchar_t name[64] = {};
    ::GetClassNameW(w, name, 64);
    return name;
}

std::vector<HWND> visible_controls(HWND top) {
    std::vector<HWND> all;
    ::EnumChildWindows(
        top,
        [](HWND w, LPARAM list) {
            if (::IsWindowVisible(w)) {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

bool shows(HWND top, const std::wstring& expected) {
    for (HWND w : visible_controls(top)) {
        if (text_of(w).find(expected) != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

// Setup adds the page's name to its title ("... Setup: Installing").
HWND window_titled(const std::wstring& title) {
    for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); w != nullptr;
         w = ::FindWindowExW(nullptr, w, L"#32770", nullptr)) {
        wchar_t text[256] = {};
        ::GetWindowTextW(w, text, 256);
        if (std::wstring(text).rfind(title, 0) == 0 && ::IsWindowVisible(w)) {
            return w;
        }
    }
    return nullptr;
}

template <class Condition> bool wait_for(Condition done) {
    const auto end = std::chrono::steady_clock::now() + page_wait;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(poll);
    }
    return true;
}

// The probe's report on the page, or "" when it could not run.
std::string probe(HWND top) {
    wchar_t self[MAX_PATH];
    std::wstring dll(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
    dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"page_probe.dll";
    HMODULE module = ::LoadLibraryW(dll.c_str());
    auto hook = module != nullptr ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                                        ::GetProcAddress(module, "probe_hook")))
                                  : nullptr;
    HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          zs::test::probe_report_size, zs::test::probe_report);
    HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, zs::test::probe_done);
    std::string report;
    HHOOK installed = hook != nullptr
                          ? ::SetWindowsHookExW(WH_GETMESSAGE, hook, module,
                                                ::GetWindowThreadProcessId(top, nullptr))
                          : nullptr;
    if (installed != nullptr && mapping != nullptr && done != nullptr) {
        ::PostMessageW(top, ::RegisterWindowMessageW(zs::test::probe_message), 0, 0);
        if (::WaitForSingleObject(done, probe_wait_ms) == WAIT_OBJECT_0) {
            if (const void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {
                report = static_cast<const char*>(view);
                ::UnmapViewOfFile(view);
            }
        }
        ::UnhookWindowsHookEx(installed);
    }
    for (HANDLE h : {mapping, done}) {
        if (h != nullptr) {
            ::CloseHandle(h);
        }
    }
    return report;
}

HWND control_with_text(HWND top, const std::wstring& kind, const std::wstring& text) {
    for (HWND w : visible_controls(top)) {
        if (class_of(w) == kind && text_of(w) == text) {
            return w;
        }
    }
    return nullptr;
}

bool act(HWND top, const std::wstring& action) {
    if (action.rfind(L"edit:", 0) == 0) {
        const std::size_t eq = action.find(L'=');
        const int index = std::stoi(action.substr(5, eq - 5));
        int seen = 0;
        for (HWND w : visible_controls(top)) {
            if (class_of(w) == L"Edit" && seen++ == index) {
                const std::wstring text = action.substr(eq + 1);
                ::SendMessageW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
                return true;
            }
        }
        return false;
    }
    if (action.rfind(L"uncheck:", 0) == 0) {
        HWND box = control_with_text(top, L"Button", action.substr(8));
        if (box != nullptr) {
            ::SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
        }
        return box != nullptr;
    }
    if (action.rfind(L"absent:", 0) == 0) {
        return control_with_text(top, L"Button", action.substr(7)) == nullptr;
    }
    if (action.rfind(L"click:", 0) == 0) {
        const int id = std::stoi(action.substr(6));
        HWND button = ::GetDlgItem(top, id);
        if (button == nullptr || !wait_for([button] { return ::IsWindowEnabled(button) != 0; })) {
            return false;
        }
        ::PostMessageW(top, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::printf("usage: setup_pages TITLE PNG EXPECTED [edit:N=TEXT] [uncheck:TEXT] "
                    "[click:ID]...\n");
        return 3;
    }
    const std::wstring title = wide(argv[1]);
    const std::wstring expected = wide(argv[3]);
    HWND top = nullptr;
    if (!wait_for([&] {
            top = window_titled(title);
            return top != nullptr && shows(top, expected);
        })) {
        std::printf("no window \"%s\" showing \"%s\"\n", argv[1], argv[3]);
        return 3;
    }
    // The page is built; a moment to paint it, for the screenshot only.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const std::string report = probe(top);
    std::printf("%s: %s", argv[2], report.empty() ? "the probe did not answer\n" : report.c_str());
    std::fflush(stdout);
    std::ofstream(argv[2], std::ios::binary) << zs::test::window_png(top);
    for (int i = 4; i < argc; ++i) {
        if (!act(top, wide(argv[i]))) {
            std::printf("failed: %s\n", argv[i]);
            return 3;
        }
    }
    const bool fits = report.find("cut off: ") == std::string::npos &&
                      report.find("measured 0 ") == std::string::npos && !report.empty();
    return fits ? 0 : 1;
}
