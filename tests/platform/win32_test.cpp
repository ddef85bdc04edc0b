// The Windows platform layer against real windows, processes, files and the
// system's providers, under Wine.
#include "platform/codepage.hpp"
#include "platform/desktop.hpp"
#include "platform/desktop_window.hpp"
#include "platform/digest.hpp"
#include "platform/disk_file.hpp"
#include "platform/env.hpp"
#include "platform/exe_path.hpp"
#include "platform/files.hpp"
#include "platform/instance_lock.hpp"
#include "platform/process.hpp"
#include "platform/win32/wide.hpp"
#include "tests/support/temp_folder.hpp"
#include "zip/zip_writer.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace zs;
using namespace std::chrono_literals;

namespace {

const platform::window_info* find_class(const std::vector<platform::window_info>& all,
                                        const std::string& class_name) {
    const auto it = std::find_if(all.begin(), all.end(), [&](const platform::window_info& w) {
        return w.class_name == class_name;
    });
    return it == all.end() ? nullptr : &*it;
}

std::string hex(const std::array<std::uint8_t, 16>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (auto b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

} // namespace

TEST(win32_windows, own_window_is_found_answers_sends_and_receives_posts) {
    std::atomic<int> posted{0};
    platform::message_loop loop;
    platform::desktop_window window(
        "TWin32Probe", "Probe Window",
        [&posted](const platform::window_message& m) -> std::int64_t {
            if (!m.sent) {
                posted = static_cast<int>(m.wparam);
                return 0;
            }
            return m.wparam + m.lparam;
        },
        loop.dispatcher());
    ASSERT_TRUE(window.valid()) << window.error().message();
    std::thread owner([&loop] { loop.run(); });

    const auto all = platform::enumerate_windows();
    const auto* mine = find_class(all, "TWin32Probe");
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->handle, window.handle());
    EXPECT_EQ(mine->title, "Probe Window");
    EXPECT_EQ(static_cast<DWORD>(mine->pid), GetCurrentProcessId());

    EXPECT_EQ(platform::send_message(window.handle(), 1024 + 7, 40, 2), 42);
    EXPECT_TRUE(platform::post_message(window.handle(), 1024 + 8, 5, 0));
    for (int i = 0; i < 500 && posted != 5; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(posted, 5);
    loop.stop();
    owner.join();
}

// The drivers' sends can be ended by a service stop; until then they answer
// as plain sends do.
TEST(win32_windows, cancellable_send_answers_and_ends_at_once_when_cancelled) {
    std::atomic<bool> hold{false};
    platform::message_loop loop;
    platform::desktop_window window(
        "TWin32Cancel", "Cancel Probe",
        [&hold](const platform::window_message& m) -> std::int64_t {
            while (hold) {
                std::this_thread::sleep_for(5ms);
            }
            return m.wparam * 2;
        },
        loop.dispatcher());
    ASSERT_TRUE(window.valid()) << window.error().message();
    std::thread owner([&loop] { loop.run(); });

    platform::send_cancel cancel;
    // An answered send returns with its answer, not at the end of a wait
    // slice (sends that waited out their time-out passed unnoticed).
    const auto answered = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::send_message(window.handle(), 1024 + 9, 21, 0, cancel), 42);
    EXPECT_EQ(platform::send_message(window.handle(), 1024 + 9, 50, 0, cancel), 100);
    EXPECT_LT(std::chrono::steady_clock::now() - answered, 20s);

    hold = true;
    std::thread stopper([&cancel] {
        std::this_thread::sleep_for(200ms);
        cancel.set(true);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::send_message(window.handle(), 1024 + 9, 21, 0, cancel), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    stopper.join();
    EXPECT_EQ(platform::send_message(window.handle(), 1024 + 9, 21, 0, cancel), 0);
    hold = false;
    cancel.set(false);
    EXPECT_EQ(platform::send_message(window.handle(), 1024 + 9, 4, 0, cancel), 8);
    loop.stop();
    owner.join();

    // A window of the sending thread answers within the send itself: a send
    // that then waited for the answer to arrive ran out its time-out.
    WNDCLASSW own_class{};
    own_class.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        return m == 1024 + 9 ? static_cast<LRESULT>(wp * 3) : DefWindowProcW(w, m, wp, lp);
    };
    own_class.hInstance = GetModuleHandleW(nullptr);
    own_class.lpszClassName = L"TWin32OwnThread";
    ASSERT_NE(RegisterClassW(&own_class), 0);
    HWND own = CreateWindowW(L"TWin32OwnThread", L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                             own_class.hInstance, nullptr);
    ASSERT_NE(own, nullptr);
    const auto own_start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::try_send_message({}, platform::win32::from_hwnd(own), 1024 + 9, 7, 0, 60s,
                                         &cancel),
              21);
    EXPECT_LT(std::chrono::steady_clock::now() - own_start, 20s);
    DestroyWindow(own);
    UnregisterClassW(L"TWin32OwnThread", own_class.hInstance);
}

TEST(win32_windows, send_times_out_on_a_busy_window_and_fails_on_a_gone_one) {
    platform::desktop_window busy(platform::desktop_window::answer_at_once, "TWin32Busy", "Busy",
                                  [](const platform::window_message&) -> std::int64_t {
                                      std::this_thread::sleep_for(1500ms);
                                      return 9;
                                  });
    ASSERT_TRUE(busy.valid());
    EXPECT_EQ(platform::try_send_message({}, busy.handle(), 1024 + 1, 0, 0, 100ms), std::nullopt);
    platform::window_handle gone = 0;
    {
        platform::desktop_window w(
            platform::desktop_window::answer_at_once, "TWin32Gone", "Gone",
            [](const platform::window_message&) -> std::int64_t { return 1; });
        gone = w.handle();
        EXPECT_EQ(platform::send_message(gone, 1024 + 1, 0, 0, 2000ms), 1);
    }
    EXPECT_EQ(platform::try_send_message({}, gone, 1024 + 1, 0, 0, 2000ms), std::nullopt);
    EXPECT_FALSE(platform::post_message(gone, 1024 + 1, 0, 0));
}

TEST(win32_instance, the_named_mutex_admits_one_holder) {
    platform::instance_lock first;
    ASSERT_TRUE(first.acquire({})) << first.error().message();
    platform::instance_lock second;
    EXPECT_FALSE(second.acquire({}));
    EXPECT_FALSE(second.error()) << "another holder is not a failure of the system";
}

// Opened with sharing, the installation lock let a second server of one
// helper folder in; the named mutex hides that end to end.
TEST(win32_instance, the_installation_file_lock_admits_one_holder) {
    test::temp_folder dir("zs-lock");
    const std::string path = dir / "ZebrixServer.lock";
    platform::file_lock first;
    ASSERT_EQ(first.acquire(path), platform::file_lock::result::acquired);
    platform::file_lock second;
    EXPECT_EQ(second.acquire(path), platform::file_lock::result::held_elsewhere);
    EXPECT_FALSE(second.held());
}

TEST(win32_process, starts_finds_ignoring_case_and_terminates_a_gui_program) {
    const std::string folder = platform::current_folder();
    const std::string exe = platform::executable_path();
    // The stand-in is built in ../../sim beside this test's own folder.
    const std::string tests_dir = exe.substr(0, exe.find_last_of('\\'));
    const std::string build_dir = tests_dir.substr(0, tests_dir.find_last_of('\\'));
    const std::string root = build_dir.substr(0, build_dir.find_last_of('\\'));
    const std::string program = root + "\\sim\\" ZS_WINDOW_PROGRAM;
    ASSERT_TRUE(platform::file_exists(program)) << program;

    const auto started = platform::start_process(program, {}, root + "\\sim\\", 20s);
    ASSERT_NE(started.pid, 0u) << "error " << started.error;
    EXPECT_TRUE(platform::process_runs(started.pid));
    EXPECT_EQ(platform::find_process("ZEBW.EXE", platform::name_match::ignore_case), started.pid);
    // Input idle: its window is there once the start returned. (The prefix is
    // a machine others may have left a window of that class on.)
    const auto all = platform::enumerate_windows();
    EXPECT_TRUE(std::any_of(all.begin(), all.end(), [&started](const platform::window_info& w) {
        return w.class_name == "TZebrixWindow" &&
               static_cast<platform::process_id>(w.pid) == started.pid;
    }));
    // The windows of one process: its own, and none of this process (whose
    // title read would wait for its window's thread).
    const auto its = platform::windows_of_process(started.pid);
    EXPECT_TRUE(std::any_of(its.begin(), its.end(), [](const platform::window_info& w) {
        return w.class_name == "TZebrixWindow" && w.title == "Zebrix";
    }));
    EXPECT_TRUE(std::all_of(its.begin(), its.end(), [&started](const platform::window_info& w) {
        return static_cast<platform::process_id>(w.pid) == started.pid;
    }));
    EXPECT_TRUE(platform::windows_of_process(GetCurrentProcessId()).empty());

    EXPECT_TRUE(platform::terminate_process(started.pid, 10s));
    EXPECT_FALSE(platform::process_runs(started.pid));
    EXPECT_EQ(platform::find_process("zebw.exe", platform::name_match::ignore_case), 0u);
}

TEST(win32_files, wide_names_text_mode_and_atomic_replace) {
    test::temp_folder dir("zs-win32");
    const std::string name = dir / "Caf\xC3\xA9 \xE2\x82\xAC.txt"; // "Café €.txt"
    ASSERT_TRUE(platform::write_file(name, "a\nb\n", true));
    std::string back;
    ASSERT_TRUE(platform::read_file(name, back));
    EXPECT_EQ(back, "a\r\nb\r\n");
    ASSERT_TRUE(platform::replace_file(name, "new"));
    ASSERT_TRUE(platform::read_file(name, back));
    EXPECT_EQ(back, "new");
    std::vector<platform::folder_entry> entries;
    ASSERT_TRUE(platform::list_folder(dir.path(), entries));
    ASSERT_EQ(entries.size(), 1u) << "no temporary file is left behind";
    EXPECT_EQ(entries[0].name, "Caf\xC3\xA9 \xE2\x82\xAC.txt");
    EXPECT_TRUE(platform::can_open_for_read(dir / "CAF\xC3\xA9 \xE2\x82\xAC.TXT"));
    ASSERT_TRUE(platform::make_folders(dir / "x\\y\\z\\"));
    EXPECT_TRUE(platform::folder_exists(dir / "x\\y\\z\\"));
}

// Windows gives one file other names (trailing dots and spaces dropped, the
// short 8.3 name), and a device opens under a file name: a client's file is
// read only when it is none of the protected files, by identity, and a disk file.
TEST(win32_files, protected_files_are_known_under_every_name_and_devices_are_never_read) {
    test::temp_folder dir("zs-disk");
    const std::string config = dir / "config.txt";
    const std::string orvanta = dir / "OrvantaPath.txt";
    ASSERT_TRUE(platform::write_file(config, "ServerPassword=x"));
    ASSERT_TRUE(platform::write_file(orvanta, "C:\\Orvanta"));
    ASSERT_TRUE(platform::write_file(dir / "song.txt", "yours"));
    const std::vector<std::string> own = {config, orvanta};
    wchar_t short_path[MAX_PATH] = {};
    const std::wstring long_path = platform::win32::widen(orvanta);
    const DWORD n = ::GetShortPathNameW(long_path.c_str(), short_path, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    const std::string short_name = platform::win32::narrow(short_path);
    ASSERT_NE(short_name.substr(short_name.rfind('\\') + 1), "OrvantaPath.txt") << short_name;

    std::string out = "untouched";
    for (const std::string& alias :
         {config + ".", config + " ", orvanta + ". . .", short_name, dir / "CONFIG.TXT"}) {
        EXPECT_EQ(platform::read_disk_file(alias, own, 1024, out), platform::disk_read::refused)
            << alias;
    }
    EXPECT_EQ(platform::read_disk_file(dir / "NUL", own, 1024, out), platform::disk_read::refused);
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(platform::read_disk_file(dir / "song.txt", own, 4, out),
              platform::disk_read::too_large);
    EXPECT_EQ(platform::read_disk_file(dir / "gone.txt", own, 1024, out),
              platform::disk_read::missing);
    ASSERT_EQ(platform::read_disk_file(dir / "song.txt", own, 5, out), platform::disk_read::read);
    EXPECT_EQ(out, "yours");
}

// The C library's environment is in the ANSI code page (and a copy taken at
// start): a user folder with accented letters was never found.
TEST(win32_env, environment_and_user_folder_are_read_wide) {
    wchar_t saved[MAX_PATH] = {};
    const bool had_appdata = ::GetEnvironmentVariableW(L"APPDATA", saved, MAX_PATH) > 0;
    const wchar_t* roaming = L"C:\\users\\J\u00e9r\u00f4me \u03a9\\AppData\\Roaming";
    ASSERT_TRUE(::SetEnvironmentVariableW(L"APPDATA", roaming));
    EXPECT_EQ(platform::env_or("APPDATA", "unset"),
              "C:\\users\\J\xC3\xA9r\xC3\xB4me \xCE\xA9\\AppData\\Roaming");
    EXPECT_EQ(platform::user_config_dir(),
              "C:\\users\\J\xC3\xA9r\xC3\xB4me \xCE\xA9\\AppData\\Roaming\\");
    // Without the variable, the known folder.
    ASSERT_TRUE(::SetEnvironmentVariableW(L"APPDATA", nullptr));
    const std::string known = platform::user_config_dir();
    EXPECT_FALSE(known.empty());
    EXPECT_TRUE(platform::folder_exists(known)) << known;
    ::SetEnvironmentVariableW(L"APPDATA", had_appdata ? saved : nullptr);
}

// ZIP entries carried "archive" whatever the file's own MS-DOS bits were.
TEST(win32_files, zip_entries_carry_the_files_own_attribute_bits) {
    test::temp_folder dir("zs-attr");
    const std::vector<std::pair<std::string, DWORD>> files = {
        {"system.dat", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
        {"plain.dat", FILE_ATTRIBUTE_ARCHIVE}}; // Wine cannot clear the archive bit
    zip::zip_result code = zip::ZR_OK;
    auto archive = zip::zip_writer::create(dir / "a.zip", code);
    ASSERT_NE(archive, nullptr);
    for (const auto& [name, bits] : files) {
        ASSERT_TRUE(platform::write_file(dir / name, name));
        ASSERT_TRUE(::SetFileAttributesW(platform::win32::widen(dir / name).c_str(), bits));
        EXPECT_EQ(archive->add_file(name, dir / name), zip::ZR_OK);
    }
    ASSERT_EQ(archive->close(), zip::ZR_OK);
    std::string bytes;
    ASSERT_TRUE(platform::read_file(dir / "a.zip", bytes));
    // Each central directory record: the low byte of its external attributes.
    std::vector<int> low_bytes;
    for (auto at = bytes.find("PK\x01\x02"); at != std::string::npos && at + 38 < bytes.size();
         at = bytes.find("PK\x01\x02", at + 4)) {
        low_bytes.push_back(static_cast<unsigned char>(bytes[at + 38]));
    }
    EXPECT_EQ(low_bytes, (std::vector<int>{0x24, 0x20}));
}

TEST(win32_text_and_crypto, code_page_digest_and_random_bytes) {
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_EQ(platform::ansi_to_utf8("\xE9\x80"), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(platform::utf8_to_ansi("\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD"), "\xE9\x80?");
    bool complete = true;
    EXPECT_EQ(platform::utf8_to_utf16("ab\xFF"
                                      "c",
                                      &complete),
              u"ab");
    EXPECT_FALSE(complete);

    const std::string abc = "abc";
    EXPECT_EQ(hex(platform::md5({reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()})),
              "900150983cd24fb0d6963f7d28e17f72");
    std::array<std::uint8_t, 16> a{};
    std::array<std::uint8_t, 16> b{};
    ASSERT_TRUE(platform::random_bytes(a));
    ASSERT_TRUE(platform::random_bytes(b));
    EXPECT_NE(a, b);
}
