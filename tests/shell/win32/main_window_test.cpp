// The Windows main window driven by its own messages: the tray, Start/Stop
// and its labels, hiding, a failed start, About, the notifications, closing.
#include "core/strings.hpp"
#include "resources/resources.hpp"
#include "resources/win32/resource_ids.h"
#include "tests/shell/win32/shell_rig.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>

namespace zs::shell::win32::test {
namespace {

std::wstring menu_labels(HWND menu_window, const std::string& shot) {
    auto menu = reinterpret_cast<HMENU>(::SendMessageW(menu_window, MN_GETHMENU, 0, 0));
    std::wstring labels;
    for (int i = 0; menu != nullptr && i < ::GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        labels += std::wstring(labels.empty() ? L"" : L",") + text;
    }
    if (!shot.empty()) {
        screenshot(menu_window, shot);
    }
    ::PostMessageW(menu_window, WM_KEYDOWN, VK_ESCAPE, 0);
    for (int i = 0; i < 100 && ::IsWindowVisible(menu_window); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (::IsWindowVisible(menu_window)) {
        ::PostMessageW(::GetWindow(menu_window, GW_OWNER), WM_CANCELMODE, 0, 0);
    }
    return labels;
}

// Right click on the tray icon: the pop-up's labels as "a,b,c,d".
std::wstring tray_menu(shell_rig& rig, const std::string& shot = {}) {
    auto labels = when_window(L"#32768", nullptr, [shot](HWND w) { return menu_labels(w, shot); });
    ::SendMessageW(rig.main(), tray_callback_message, 1, WM_RBUTTONDOWN);
    rig.pump_until(
        [&] { return labels.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return labels.get();
}

TEST(Win32MainWindow, StartsHiddenInTheTrayOrShownWithoutOne) {
    shell_rig rig;
    wchar_t name[32] = {};
    ::GetClassNameW(rig.main(), name, 32);
    EXPECT_STREQ(name, L"maindlg");
    RECT r{};
    ::GetWindowRect(rig.main(), &r);
    EXPECT_EQ(r.right - r.left, 312);
    EXPECT_EQ(r.bottom - r.top, 314);
    EXPECT_EQ(rig.shell.window().tray_shown(), with_display());
    // Without a notification area a hidden window could never be reached.
    EXPECT_EQ(::IsWindowVisible(rig.main()) != FALSE, !with_display());
    EXPECT_EQ(rig.shell.window().hidden(), with_display());
}

// Hidden in a tray that Windows 11 folds away, a server started by setup
// went unseen; a start-up problem was in no window at all.
TEST(Win32MainWindow, FirstStartShowsTheWindowWithTheStartupProblemInTheStatus) {
    shell_rig rig;
    rig.shell.set_problem_text("Cannot write to ZebHelper");
    rig.shell.show_window();
    EXPECT_TRUE(::IsWindowVisible(rig.main()));
    EXPECT_FALSE(rig.shell.window().hidden());
    std::wstring status;
    for (HWND c = ::GetWindow(rig.main(), GW_CHILD); c != nullptr;
         c = ::GetWindow(c, GW_HWNDNEXT)) {
        wchar_t text[512] = {};
        ::GetWindowTextW(c, text, 512);
        if (std::wstring(text).find(L"192.0.2.7") != std::wstring::npos) {
            status = text;
        }
    }
    EXPECT_NE(status.find(L"\nCannot write to ZebHelper"), std::wstring::npos) << status;
    rig.pump(std::chrono::milliseconds(300));
    screenshot(rig.main(), "first-start");
    rig.shell.show_window(); // shown already: stays so
    EXPECT_TRUE(::IsWindowVisible(rig.main()));
}

TEST(Win32MainWindow, StartStopAndTheTrayMenuRelabel) {
    shell_rig rig;
    if (!rig.shell.window().hidden()) {
        rig.command(ID_TRAY_SHOW_HIDE);
    }
    EXPECT_EQ(rig.shell.window().start_stop_label(), L"Stop");
    EXPECT_EQ(tray_menu(rig), L"Stop,Show,About,Exit");

    rig.command(ID_START_STOP);
    EXPECT_FALSE(rig.service.on);
    EXPECT_EQ(rig.shell.window().start_stop_label(), L"Start");
    EXPECT_EQ(tray_menu(rig, "tray-menu"), L"Start,Show,About,Exit");

    rig.command(ID_TRAY_START_STOP);
    EXPECT_TRUE(rig.service.on);
    rig.command(ID_TRAY_SHOW_HIDE);
    EXPECT_TRUE(::IsWindowVisible(rig.main()));
    rig.pump(std::chrono::milliseconds(300));
    screenshot(rig.main(), "main-window-running");
    EXPECT_EQ(tray_menu(rig), L"Stop,Hide,About,Exit");
    rig.command(ID_START_STOP);
    rig.pump(std::chrono::milliseconds(300));
    screenshot(rig.main(), "main-window-stopped");
}

TEST(Win32MainWindow, MinimizeAndTheHideButtonHideToTheTray) {
    shell_rig rig;
    if (rig.shell.window().hidden()) {
        ::SendMessageW(rig.main(), tray_callback_message, 1, WM_LBUTTONDOWN);
    }
    ASSERT_TRUE(::IsWindowVisible(rig.main()));
    EXPECT_EQ(::GetWindow(rig.main(), GW_OWNER), nullptr); // on the taskbar

    ::SendMessageW(rig.main(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(::IsWindowVisible(rig.main()));
    EXPECT_FALSE(::IsIconic(rig.main()));
    EXPECT_TRUE(rig.shell.window().hidden());
    EXPECT_EQ(::GetWindow(rig.main(), GW_OWNER), rig.shell.window().hidden_owner());

    rig.command(ID_HIDE);
    EXPECT_TRUE(::IsWindowVisible(rig.main()));
    rig.command(ID_HIDE);
    EXPECT_FALSE(::IsWindowVisible(rig.main()));
}

TEST(Win32MainWindow, TaskbarCreatedAddsTheIconAgain) {
    shell_rig rig;
    const UINT taskbar_created = ::RegisterWindowMessageW(L"TaskbarCreated");
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = rig.main();
    icon.uID = 1;
    if (with_display()) {
        ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &icon)); // as a restarted taskbar has lost it
        EXPECT_FALSE(::Shell_NotifyIconW(NIM_MODIFY, &icon));
    }
    ::SendMessageW(rig.main(), taskbar_created, 0, 0);
    EXPECT_EQ(rig.shell.window().tray_shown(), with_display());
    EXPECT_EQ(::Shell_NotifyIconW(NIM_MODIFY, &icon) != FALSE, with_display());
}

TEST(Win32MainWindow, FailedStartLeavesStartAndSaysSo) {
    shell_rig rig;
    rig.command(ID_START_STOP); // stop
    rig.service.fail = true;
    auto box = when_window(L"#32770", L"Zebrix Server", [](HWND w) {
        wchar_t text[256] = {};
        ::GetDlgItemTextW(w, 0xffff, text, 256);
        ::PostMessageW(w, WM_COMMAND, IDOK, 0);
        return std::wstring(text);
    });
    rig.command(ID_START_STOP); // the message box's loop runs inside
    ASSERT_TRUE(rig.pump_until(
        [&] { return box.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(box.get(), L"Unable to start server");
    EXPECT_FALSE(rig.service.on);
    EXPECT_EQ(rig.shell.window().start_stop_label(), L"Start");
}

TEST(Win32MainWindow, WithAStandardErrorMessagesGoThereInsteadOfWaitingForAClick) {
    core::config_store config;
    win32_shell shell(config, {}); // this test program has a standard error
    shell.show_message(u"Zebrix Server is already running", core::message_icon::warning);
    EXPECT_EQ(::FindWindowW(L"#32770", L"Zebrix Server"), nullptr);
}

TEST(Win32MainWindow, AboutShowsTheVersionLine) {
    shell_rig rig;
    auto about = when_window(L"#32770", L"About ZebrixServer", [](HWND w) {
        wchar_t text[256] = {};
        ::GetDlgItemTextW(w, IDC_ABOUT_VERSION, text, 256);
        screenshot(w, "about");
        ::PostMessageW(w, WM_COMMAND, IDOK, 0);
        return std::wstring(text);
    });
    ::PostMessageW(rig.main(), WM_COMMAND, ID_ABOUT, 0);
    ASSERT_TRUE(rig.pump_until(
        [&] { return about.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(about.get(), L"ZebrixServer, Version  2.0.1 build 5058"); // string 9 ends in a space
}

TEST(Win32MainWindow, AltQuestionMarkAndAltSlashOpenAboutThroughTheLoop) {
    for (wchar_t key : {L'?', L'/'}) {
        shell_rig rig;
        HWND main = rig.main();
        auto about = std::async(std::launch::async, [main] {
            const std::wstring seen = when_window(L"#32770", L"About ZebrixServer", [](HWND w) {
                                          ::PostMessageW(w, WM_COMMAND, IDOK, 0);
                                          return std::wstring(L"shown");
                                      }).get();
            ::PostMessageW(main, WM_CLOSE, 0, 0); // ends the loop either way
            return seen;
        });
        // Alt held: Windows matches the character message, Wine the key-down.
        ::PostMessageW(main, WM_SYSKEYDOWN, key, 1 << 29);
        ::PostMessageW(main, WM_SYSCHAR, key, 1 << 29);
        EXPECT_EQ(rig.shell.run(), 0); // the loop translates the accelerator
        EXPECT_EQ(about.get(), L"shown") << static_cast<char>(key);
    }
}

TEST(Win32MainWindow, NotificationsAreAnsweredAndHandedOn) {
    shell_rig rig;
    HWND target = rig.main();
    // Sent from another thread as a program would: answered while this one pumps.
    auto answers = std::async(std::launch::async, [target] {
        std::vector<LRESULT> r;
        for (UINT message : {1025u, 1043u, 1287u, 1424u, 1044u}) {
            DWORD_PTR result = 99;
            ::SendMessageTimeoutW(target, message, 5, 6, SMTO_NORMAL, 10000, &result);
            r.push_back(static_cast<LRESULT>(result));
        }
        return r;
    });
    ASSERT_TRUE(rig.pump_until(
        [&] { return answers.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(answers.get(), (std::vector<LRESULT>{1, 1, 0, 0, 0}));
    ASSERT_EQ(rig.notifications.size(), 4U); // 1044 is not a notification
    EXPECT_EQ(rig.notifications[0].message, 1025U);
    EXPECT_EQ(rig.notifications[0].wparam, 5);
    EXPECT_EQ(rig.notifications[0].lparam, 6);
    EXPECT_TRUE(rig.notifications[0].sent);
    EXPECT_EQ(rig.notifications[3].message, 1424U);
}

// Run elevated, the server heard nothing a program of the user sent it:
// Windows drops messages from a lower integrity level unless the window
// admits them. Every message the window hands on to the server must be
// admitted, with the shell's tray and TaskbarCreated, and nothing more.
TEST(Win32MainWindow, MessageFilterAdmitsExactlyWhatOtherProcessesSend) {
    shell_rig rig;
    const std::vector<UINT>& admitted = rig.shell.window().admitted_messages();
    std::set<UINT> handed_on;
    for (UINT m = WM_USER; m < 0xC000; ++m) {
        if (m == posted_work_message) {
            continue; // the shell's own, posted within the process
        }
        rig.notifications.clear();
        ::SendMessageW(rig.main(), m, 0, 0);
        if (!rig.notifications.empty()) {
            handed_on.insert(m);
        }
    }
    std::set<UINT> expected = handed_on;
    expected.insert(tray_callback_message);
    expected.insert(::RegisterWindowMessageW(L"TaskbarCreated"));
    EXPECT_EQ(std::set<UINT>(admitted.begin(), admitted.end()), expected);
    EXPECT_EQ(admitted.size(), expected.size()); // each once
    EXPECT_GT(handed_on.size(), 2u);
}

// A text wider or taller than the box it is drawn in; empty when it fits.
std::wstring cut_off(HWND window, const text_box& t) {
    HDC dc = ::GetDC(window);
    HGDIOBJ old = ::SelectObject(dc, t.font);
    const int w = t.box.right - t.box.left;
    const int h = t.box.bottom - t.box.top;
    SIZE need{};
    if ((t.format & DT_SINGLELINE) != 0) {
        ::GetTextExtentPoint32W(dc, t.text.c_str(), static_cast<int>(t.text.size()), &need);
    } else {
        // Wrapped at the box's width: a word wider than the box widens the result.
        RECT calc{0, 0, w, 0};
        ::DrawTextW(dc, t.text.c_str(), static_cast<int>(t.text.size()), &calc,
                    t.format | DT_CALCRECT | DT_NOPREFIX);
        need = SIZE{calc.right - calc.left, calc.bottom - calc.top};
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(window, dc);
    if (need.cx <= w && need.cy <= h) {
        return L"";
    }
    return t.name + L" \"" + t.text + L"\" needs " + std::to_wstring(need.cx) + L"x" +
           std::to_wstring(need.cy) + L" in " + std::to_wstring(w) + L"x" + std::to_wstring(h);
}

// At 150 % the Options hint was cut and at 200 % labels and the caption were,
// with the version line over the address: the layout stayed in pixels while
// the fonts grew. Run at 96, 144 and 192 DPI (LogPixels of the prefix).
TEST(Win32Scaling, EveryWindowFollowsTheScaleAndNoTextIsCutOff) {
    shell_rig rig;
    rig.shell.set_problem_text("Cannot write to ZebHelper, outputs, zebinput.txt");
    rig.shell.show_window();
    HDC screen = ::GetDC(nullptr);
    const UINT screen_dpi = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSY));
    ::ReleaseDC(nullptr, screen);
    const UINT dpi = rig.shell.window().dpi();
    EXPECT_EQ(dpi, screen_dpi);
    RECT r{};
    ::GetWindowRect(rig.main(), &r);
    EXPECT_EQ(r.right - r.left, scaled(312, dpi));
    EXPECT_EQ(r.bottom - r.top, scaled(314, dpi));
    for (const text_box& t : rig.shell.window().text_boxes()) {
        EXPECT_EQ(cut_off(rig.main(), t), L"") << "at " << dpi << " DPI";
    }
    // The version line ends above the status text.
    const auto boxes = rig.shell.window().text_boxes();
    EXPECT_LE(boxes[1].box.bottom, boxes[2].box.top);
    rig.pump(std::chrono::milliseconds(300));
    screenshot(rig.main(), "main-" + std::to_string(dpi));

    rig.command(ID_OPTIONS);
    options_dialog& options = rig.shell.window().options();
    ASSERT_TRUE(options.is_open());
    for (const text_box& t : options.text_boxes()) {
        EXPECT_EQ(cut_off(options.window(), t), L"") << "at " << dpi << " DPI";
    }
    rig.pump(std::chrono::milliseconds(300));
    screenshot(options.window(), "options-" + std::to_string(dpi));

    // Moved to a monitor of twice the scale: the system's rectangle, all laid out anew.
    options.close();
    const UINT twice = dpi * 2;
    RECT suggested{r.left, r.top, r.left + scaled(312, twice), r.top + scaled(314, twice)};
    ::SendMessageW(rig.main(), WM_DPICHANGED, MAKEWPARAM(twice, twice),
                   reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(rig.shell.window().dpi(), twice);
    ::GetWindowRect(rig.main(), &r);
    EXPECT_EQ(r.right - r.left, scaled(312, twice));
    for (const text_box& t : rig.shell.window().text_boxes()) {
        EXPECT_EQ(cut_off(rig.main(), t), L"") << "after the move to " << twice << " DPI";
    }
}

TEST(Win32MainWindow, PostedWorkRunsOnTheWindowThread) {
    shell_rig rig;
    const DWORD owner = ::GetCurrentThreadId();
    DWORD ran_on = 0;
    std::thread([&] { rig.shell.post([&] { ran_on = ::GetCurrentThreadId(); }); }).join();
    EXPECT_TRUE(rig.pump_until([&] { return ran_on != 0; }));
    EXPECT_EQ(ran_on, owner);
}

TEST(Win32MainWindow, CloseEndsTheLoopAndRemovesTheWindow) {
    for (UINT how : {UINT(WM_CLOSE), UINT(WM_COMMAND)}) {
        shell_rig rig;
        HWND w = rig.main();
        ::PostMessageW(w, how, how == WM_COMMAND ? ID_EXIT : 0, 0);
        EXPECT_EQ(rig.shell.run(), 0);
        EXPECT_FALSE(::IsWindow(w));
        EXPECT_FALSE(rig.shell.window().tray_shown());
    }
}

TEST(Win32Strings, BuiltInListComesFromTheTxtResourceAndTheFileStillWins) {
    const std::string_view builtin = resources::builtin_strings();
    const auto base = reinterpret_cast<const char*>(::GetModuleHandleW(nullptr));
    EXPECT_NE(builtin.data(), resources::embedded_strings().data());
    EXPECT_GT(builtin.data(), base); // inside the executable's image
    EXPECT_EQ(builtin, resources::embedded_strings());

    shell_rig rig;
    { std::ofstream(rig.helper + core::strings_override_name, std::ios::binary) << "Serveur\n"; }
    core::install_string_table(rig.helper);
    EXPECT_EQ(core::get_string(core::string_id::caption), u"Serveur");
    EXPECT_EQ(core::get_string(core::string_id::stop), u"Stop");
    ::DeleteFileA((rig.helper + core::strings_override_name).c_str());
    core::install_string_table(rig.helper);
}

} // namespace
} // namespace zs::shell::win32::test
