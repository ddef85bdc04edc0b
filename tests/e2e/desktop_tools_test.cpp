// The staged stand-ins on a private desktop, seen through zebrix-desktop, and
// the staged server's own main window. Against the Windows stage the same
// programs run under Wine, seen through zebrix-desktop.exe.
#include "tests/support/staged_server.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace zs::test {
namespace {

class desktop_tools_test : public ::testing::Test {
protected:
    int start(const std::string& folder, const std::string& exe,
              std::vector<std::string> args = {}) {
        return stage_.start_program(folder, exe, std::move(args));
    }
    // The tool's exit code; its output with lines ending in LF.
    int tool(const std::vector<std::string>& args, std::string& out, std::string& err,
             const std::vector<std::string>& env) {
        const int code = run_program(stage_.desktop_tool(args), env, out, err);
        std::erase(out, '\r'); // the Windows C runtime writes its text mode
        std::erase(err, '\r');
        return code;
    }
    int tool(const std::vector<std::string>& args, std::string& out) {
        std::string err;
        return tool(args, out, err, stage_.environment());
    }

    staged_server stage_;
};

TEST_F(desktop_tools_test, ListShowsTheStandInsTopmostFirst) {
    const auto zebw = start(stage_.zebrix_dir(), "zebw.exe");
    const auto zebw3 = start(stage_.zebrix_dir(), "zebw3.exe", {"/x4"});
    const auto orvanta = start(stage_.orvanta_dir(), "orvanta.exe");
    ASSERT_TRUE(zebw != 0 && zebw3 != 0 && orvanta != 0);
    EXPECT_TRUE(zebw != zebw3 && zebw3 != orvanta && zebw != orvanta);
    std::string out;
    ASSERT_EQ(tool({"list"}, out), 0);
    std::istringstream lines(out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string handle;
        std::string pid;
        fields >> handle >> pid;
        // Wine lists its own input-method windows beside the programs'.
        if (line.find(" IME ") == std::string::npos) {
            rows.push_back(pid + " " + line.substr(handle.size() + pid.size() + 2));
        }
    }
    EXPECT_EQ(rows, (std::vector<std::string>{
                        std::to_string(orvanta) + " TOrvantaWindow Orvanta",
                        std::to_string(zebw3) + " TZebrix3Window zebw3 window",
                        std::to_string(zebw) + " TZebrixWindow Zebrix",
                    }));

    std::string handle;
    ASSERT_EQ(tool({"find", "--class", "TZebrixWindow"}, handle), 0);
    handle.pop_back();
    std::string reply;
    EXPECT_EQ(tool({"send", handle, "1286", "16", "0"}, reply), 0);
    EXPECT_EQ(reply, "7\n");
    EXPECT_EQ(tool({"post", handle, "1286", "17", "0"}, reply), 0);
    ASSERT_EQ(tool({"find", "--title-prefix", "Orv"}, handle), 0);
    handle.pop_back();
    EXPECT_EQ(tool({"send", handle, "1283", "0", "0"}, reply), 0);
    EXPECT_EQ(reply, "259\n");

    EXPECT_EQ(tool({"find", "--class", "TNoSuchWindow"}, out), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(tool({"send", "77", "1", "0", "0"}, reply), 1);
    EXPECT_EQ(reply, "0\n");
    EXPECT_EQ(tool({"post", "77", "1", "0", "0"}, reply), 1);
}

TEST_F(desktop_tools_test, HelpOnStandardOutputAndFailuresInWords) {
    std::string out, err;
    for (const char* flag : {"--help", "-h"}) {
        ASSERT_EQ(tool({flag}, out, err, {}), 0) << flag;
        EXPECT_NE(out.find("Usage: zebrix-desktop list"), std::string::npos) << out;
        EXPECT_EQ(err, "");
    }
    EXPECT_EQ(tool({"frob"}, out, err, {}), 2);
    EXPECT_NE(err.find("unknown command 'frob'"), std::string::npos) << err;
    EXPECT_EQ(tool({"send", "x", "1", "0", "0"}, out, err, {}), 2);
    EXPECT_NE(err.find("must be numbers"), std::string::npos) << err;

    // A Windows session is the desktop itself: there is no folder to miss.
    if (!windows_stage()) {
        const std::string missing = stage_.root() + "no-desktop/";
        EXPECT_EQ(tool({"list"}, out, err, {"ZEBRIX_DESKTOP=" + missing}), 1);
        EXPECT_NE(err.find("the desktop folder " + missing + " does not exist"), std::string::npos)
            << err;
    }

    const auto zebw = start(stage_.zebrix_dir(), "zebw.exe");
    ASSERT_NE(zebw, 0);
    const std::string desktop = windows_stage() ? "" : stage_.desktop();
    EXPECT_EQ(tool({"send", "77", "1286", "16", "0"}, out, err, stage_.environment()), 1);
    EXPECT_EQ(out, "0\n");
    EXPECT_NE(err.find("no window 77 on the desktop " + desktop + "\n"), std::string::npos) << err;
    EXPECT_EQ(tool({"find", "--class", "TNoSuch"}, out, err, stage_.environment()), 1);
    EXPECT_NE(err.find("no window of class 'TNoSuch'"), std::string::npos) << err;
}

TEST_F(desktop_tools_test, ServerMainWindowAnswersNotificationsAtOnce) {
    ASSERT_TRUE(stage_.start());
    std::string out;
    // The window is registered right after the instance check.
    for (int i = 0; i < 100 && tool({"find", "--class", "maindlg"}, out) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(out.empty());
    const std::string handle = out.substr(0, out.size() - 1);
    const auto list = stage_.windows();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(std::to_string(list[0].handle), handle);
    EXPECT_EQ(list[0].title, "Zebrix Server");
    // Under Wine the server's Windows process id is not the Linux one.
    if (!windows_stage()) {
        EXPECT_EQ(list[0].pid, stage_.pid());
    }
    // 2000: a message the window does not know (a system one such as 1,
    // WM_CREATE, carries a pointer that Windows will not pass between processes).
    const std::vector<std::pair<std::string, std::string>> answers = {
        {"1287", "0\n"}, {"1424", "0\n"}, {"1025", "1\n"}, {"1030", "1\n"},
        {"1043", "1\n"}, {"1044", "0\n"}, {"2000", "0\n"}};
    for (const auto& [message, expected] : answers) {
        std::string reply;
        EXPECT_EQ(tool({"send", handle, message, "2", "3"}, reply), 0) << message;
        EXPECT_EQ(reply, expected) << message;
    }
    EXPECT_EQ(stage_.stop(), 0);
    EXPECT_TRUE(stage_.windows().empty()); // unregistered at exit
}

} // namespace
} // namespace zs::test
