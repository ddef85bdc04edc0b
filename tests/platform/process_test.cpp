#include "platform/files.hpp"
#include "tests/platform/desktop_fixture.hpp"

#include <cerrno>
#include <thread>
#include <unistd.h>

namespace zs::test {
namespace {

using process_test = desktop_fixture;
using platform::name_match;

std::string proc_field(platform::process_id pid, int index) {
    std::string stat;
    platform::read_file("/proc/" + std::to_string(pid) + "/stat", stat);
    std::size_t pos = stat.rfind(')') + 2; // field 3 starts here
    for (int i = 3; i < index; ++i) {
        pos = stat.find(' ', pos) + 1;
    }
    return stat.substr(pos, stat.find(' ', pos) - pos);
}

bool gone_within(platform::process_id pid, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (!platform::folder_exists("/proc/" + std::to_string(pid) + "/")) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST_F(process_test, StartWaitsForTheWindowThenFindAndTerminate) {
    const auto pid = start(program("Zebw.exe"));
    ASSERT_NE(pid, 0u);
    EXPECT_NE(window_of(pid), 0);
    EXPECT_TRUE(platform::process_runs(pid));
    EXPECT_EQ(platform::find_process("Zebw.exe", name_match::exact), pid);
    EXPECT_EQ(platform::find_process("zebw.exe", name_match::exact), 0u);
    EXPECT_EQ(platform::find_process("ZEBW.EXE", name_match::ignore_case), pid);
    // Own session and the given current folder.
    EXPECT_EQ(proc_field(pid, 6), std::to_string(pid));
    char cwd[4096] = {};
    ASSERT_GT(::readlink(("/proc/" + std::to_string(pid) + "/cwd").c_str(), cwd, sizeof cwd - 1),
              0);
    EXPECT_EQ(std::string(cwd) + "/", programs_.path());

    EXPECT_TRUE(platform::terminate_process(pid, std::chrono::seconds(5)));
    EXPECT_FALSE(platform::process_runs(pid));
    EXPECT_EQ(platform::find_process("Zebw.exe", name_match::exact), 0u);
    EXPECT_TRUE(gone_within(pid, std::chrono::seconds(5))); // reaped, no zombie
}

TEST_F(process_test, ProgramsOfAnotherDesktopAreNotFound) {
    // A name no other program has: a server someone runs on the default
    // desktop of this machine has a zebw.exe there.
    const std::string name = "zebw-" + std::to_string(::getpid()) + ".exe";
    const auto pid = start(program(name));
    ASSERT_NE(pid, 0u);
    temp_folder other("zs-other");
    ::setenv("ZEBRIX_DESKTOP", other.path().c_str(), 1);
    EXPECT_EQ(platform::find_process(name, name_match::exact), 0u);
    ::unsetenv("ZEBRIX_DESKTOP"); // the default desktop: it named one, so not there either
    EXPECT_EQ(platform::find_process(name, name_match::exact), 0u);
    ::setenv("ZEBRIX_DESKTOP", desktop_.path().c_str(), 1);
    EXPECT_EQ(platform::find_process(name, name_match::exact), pid);
}

TEST_F(process_test, NoZombieAfterAStartedProgramExits) {
    const auto r = platform::start_process("/bin/sh", {"-c", "exit 3"}, programs_.path(),
                                           std::chrono::seconds(10));
    ASSERT_NE(r.pid, 0u);
    EXPECT_TRUE(gone_within(r.pid, std::chrono::seconds(10)));
    EXPECT_FALSE(platform::process_runs(r.pid));
}

TEST_F(process_test, FailedStartGivesTheSystemError) {
    const auto r = platform::start_process(programs_ / "missing.exe", {}, programs_.path(),
                                           std::chrono::seconds(1));
    EXPECT_EQ(r.pid, 0u);
    EXPECT_EQ(r.error, ENOENT);
    EXPECT_FALSE(platform::process_runs(0));
    EXPECT_FALSE(platform::terminate_process(0, std::chrono::milliseconds(10)));
}

} // namespace
} // namespace zs::test
