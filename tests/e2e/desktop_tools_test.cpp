// The staged stand-ins on a private desktop, seen through zebrix-desktop, and
// the staged server's own main window.
#include "platform/desktop.hpp"
#include "platform/process.hpp"
#include "tests/support/staged_server.hpp"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace zs::test {
namespace {

class desktop_tools_test : public ::testing::Test {
protected:
    desktop_tools_test() { ::setenv("ZEBRIX_DESKTOP", stage_.desktop().c_str(), 1); }
    ~desktop_tools_test() override {
        for (auto pid : started_) {
            platform::terminate_process(pid, std::chrono::seconds(5));
        }
        ::unsetenv("ZEBRIX_DESKTOP");
    }
    platform::process_id start(const std::string& folder, const std::string& exe) {
        const auto r = platform::start_process(folder + exe, {}, folder, std::chrono::seconds(10));
        started_.push_back(r.pid);
        return r.pid;
    }
    int tool(const std::vector<std::string>& args, std::string& out) {
        std::vector<std::string> argv = {stage_.bin_dir() + "zebrix-desktop"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string err;
        return run_program(argv, stage_.environment(), out, err);
    }

    staged_server stage_;
    std::vector<platform::process_id> started_;
};

TEST_F(desktop_tools_test, ListShowsTheStandInsTopmostFirst) {
    const auto zebw = start(stage_.zebrix_dir(), "zebw.exe");
    const auto zebw3 = start(stage_.zebrix_dir(), "zebw3.exe");
    const auto orvanta = start(stage_.orvanta_dir(), "orvanta.exe");
    ASSERT_TRUE(zebw != 0 && zebw3 != 0 && orvanta != 0);
    std::string out;
    ASSERT_EQ(tool({"list"}, out), 0);
    std::istringstream lines(out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string handle;
        std::string pid;
        fields >> handle >> pid;
        rows.push_back(pid + " " + line.substr(handle.size() + pid.size() + 2));
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
    const std::string tool_path = stage_.bin_dir() + "zebrix-desktop";
    std::string out, err;
    for (const char* flag : {"--help", "-h"}) {
        ASSERT_EQ(run_program({tool_path, flag}, {}, out, err), 0) << flag;
        EXPECT_NE(out.find("Usage: zebrix-desktop list"), std::string::npos) << out;
        EXPECT_EQ(err, "");
    }
    EXPECT_EQ(run_program({tool_path, "frob"}, {}, out, err), 2);
    EXPECT_NE(err.find("unknown command 'frob'"), std::string::npos) << err;
    EXPECT_EQ(run_program({tool_path, "send", "x", "1", "0", "0"}, {}, out, err), 2);
    EXPECT_NE(err.find("must be numbers"), std::string::npos) << err;

    const std::string missing = stage_.root() + "no-desktop/";
    EXPECT_EQ(run_program({tool_path, "list"}, {"ZEBRIX_DESKTOP=" + missing}, out, err), 1);
    EXPECT_NE(err.find("the desktop folder " + missing + " does not exist"), std::string::npos)
        << err;

    const auto zebw = start(stage_.zebrix_dir(), "zebw.exe");
    ASSERT_NE(zebw, 0);
    EXPECT_EQ(
        run_program({tool_path, "send", "77", "1286", "16", "0"}, stage_.environment(), out, err),
        1);
    EXPECT_EQ(out, "0\n");
    EXPECT_NE(err.find("no window 77 on the desktop " + stage_.desktop()), std::string::npos)
        << err;
    EXPECT_EQ(
        run_program({tool_path, "find", "--class", "TNoSuch"}, stage_.environment(), out, err), 1);
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
    const auto list = platform::enumerate_windows();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].title, "Zebrix Server");
    EXPECT_EQ(list[0].pid, stage_.pid());
    const std::vector<std::pair<std::string, std::string>> answers = {
        {"1287", "0\n"}, {"1424", "0\n"}, {"1025", "1\n"}, {"1030", "1\n"},
        {"1043", "1\n"}, {"1044", "0\n"}, {"1", "0\n"}};
    for (const auto& [message, expected] : answers) {
        std::string reply;
        EXPECT_EQ(tool({"send", handle, message, "2", "3"}, reply), 0) << message;
        EXPECT_EQ(reply, expected) << message;
    }
    EXPECT_EQ(stage_.stop(), 0);
    EXPECT_TRUE(platform::enumerate_windows().empty()); // unregistered at exit
}

} // namespace
} // namespace zs::test
