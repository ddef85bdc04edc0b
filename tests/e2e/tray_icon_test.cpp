// The staged server on an X display with a notification area: it docks its
// tray icon, docks it again when the notification area restarts, and exits
// cleanly on SIGTERM; its window receives the programs' notifications. Skipped where Xvfb or trayer are not installed.
#include "platform/desktop.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "tests/support/staged_server.hpp"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// A helper program running in the background for the length of a test.
class background_program {
public:
    background_program(std::vector<std::string> argv, const std::string& display) {
        std::vector<std::string> env = {"DISPLAY=" + display};
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::string(*e).rfind("DISPLAY=", 0) != 0) {
                env.emplace_back(*e);
            }
        }
        std::vector<char*> args, envp;
        for (auto& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        for (auto& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execve(args[0], args.data(), envp.data());
            ::_exit(127);
        }
    }
    ~background_program() { stop(); }
    background_program(const background_program&) = delete;
    background_program& operator=(const background_program&) = delete;
    void stop() {
        if (pid_ <= 0) {
            return;
        }
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

std::string window_tree(const std::string& display) {
    std::string out, err;
    zs::test::run_program({"/usr/bin/xwininfo", "-root", "-tree"}, {"DISPLAY=" + display}, out, err,
                          10s);
    return out;
}

std::size_t indent_of(const std::string& line) {
    return line.find_first_not_of(' ');
}

// True when a window of the server's class sits inside the panel's window.
bool icon_docked(const std::string& tree) {
    std::istringstream lines(tree);
    std::string line;
    std::size_t panel_indent = std::string::npos;
    while (std::getline(lines, line)) {
        if (panel_indent != std::string::npos) {
            if (indent_of(line) <= panel_indent) {
                panel_indent = std::string::npos;
            } else if (line.find("(\"ZebrixServer\" \"ZebrixServer\")") != std::string::npos) {
                return true;
            }
        }
        if (line.find("(\"panel\" \"trayer\")") != std::string::npos) {
            panel_indent = indent_of(line);
        }
    }
    return false;
}

bool wait_for_dock(const std::string& display, bool docked) {
    for (int i = 0; i < 100; ++i) {
        if (icon_docked(window_tree(display)) == docked) {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

std::unique_ptr<background_program> start_tray(const std::string& display) {
    return std::make_unique<background_program>(
        std::vector<std::string>{"/usr/bin/trayer", "--edge", "top", "--align", "right",
                                 "--widthtype", "pixel", "--width", "120", "--heighttype", "pixel",
                                 "--height", "24"},
        display);
}

TEST(tray_icon, staged_server_docks_its_icon_and_redocks_after_a_tray_restart) {
    if (!exists("/usr/bin/Xvfb") || !exists("/usr/bin/trayer") || !exists("/usr/bin/xwininfo")) {
        GTEST_SKIP() << "Xvfb, trayer or xwininfo not installed";
    }
    int number = 200 + static_cast<int>(::getpid() % 500);
    while (exists("/tmp/.X11-unix/X" + std::to_string(number))) {
        ++number;
    }
    const std::string display = ":" + std::to_string(number);
    background_program xvfb(
        {"/usr/bin/Xvfb", display, "-nolisten", "tcp", "-screen", "0", "800x600x24"}, display);
    for (int i = 0; i < 100 && !exists("/tmp/.X11-unix/X" + std::to_string(number)); ++i) {
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(exists("/tmp/.X11-unix/X" + std::to_string(number)));
    auto tray = start_tray(display);

    zs::test::staged_server server;
    zs::test::server_options options;
    options.args = {};
    options.env = {{"DISPLAY", display}, {"QT_QPA_PLATFORM", "xcb"}};
    ASSERT_TRUE(server.start(options)) << server.stderr_text();
    EXPECT_TRUE(wait_for_dock(display, true)) << window_tree(display);

    // The window of the windowed shell receives the programs' notifications:
    // zebw.exe posts one after command 4 and the attached client gets it.
    zs::platform::replace_file(server.zebrix_dir() + "zebw.exe.behaviour", "notify.4=1287,11,-22\n");
    std::string out, err;
    EXPECT_EQ(zs::test::run_program({server.bin_dir() + "zebrix-client", "zebrix", "4", "--events",
                                     "1"},
                                    server.environment(), out, err, 60s),
              0)
        << err;
    EXPECT_NE(out.find("event id=0 action=1 status=11 value=-22"), std::string::npos) << out;
    for (const auto& w : zs::platform::enumerate_windows(server.desktop())) {
        if (w.class_name == "TZebrixWindow") {
            zs::platform::terminate_process(static_cast<zs::platform::process_id>(w.pid), 5s);
        }
    }

    tray.reset();
    EXPECT_TRUE(wait_for_dock(display, false));
    tray = start_tray(display);
    EXPECT_TRUE(wait_for_dock(display, true)) << window_tree(display);

    EXPECT_EQ(server.stop(), 0) << server.stderr_text();
}

} // namespace
