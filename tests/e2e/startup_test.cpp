// The staged server's first start, restart and single instance.
#include "platform/files.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using zs::test::staged_server;

const zs::test::server_options no_port = [] {
    zs::test::server_options o;
    o.wait_for_port = false;
    return o;
}();

std::string read(const std::string& path) {
    std::string text;
    zs::platform::read_file(path, text);
    return text;
}

TEST(Startup, FirstStartWritesConfigAndRestartKeepsIdentity) {
    staged_server server;
    zs::platform::remove_file(server.helper_dir() + "OrvantaPath.txt");
    // Setup's flag: the first start shows the window once and forgets it.
    ASSERT_TRUE(zs::platform::write_file(server.helper_dir() + "firststart.flag", ""));
    ASSERT_TRUE(server.start(no_port));
    const std::string config = read(server.helper_dir() + "config.txt");
    ASSERT_EQ(config.size(), 136u);
    EXPECT_EQ(config.substr(0, 100),
              "IdleTimeToShutDownZEBW3=30\r\nLanguage=default\r\nSERVER_NAME=Zebrix "
              "Server\r\nServerPassword=kxvwq\r\nUUID=");
    const std::string uuid = config.substr(100);
    EXPECT_EQ(uuid.size(), 36u);
    for (char c : uuid) {
        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-') << uuid;
    }
    EXPECT_EQ(read(server.helper_dir() + "OrvantaPath.txt"),
              zs::test::windows_stage() ? "OrvantaPath=D:\\Orvanta\\orvanta.exe\r\n"
                                        : "OrvantaPath=/opt/Orvanta/orvanta.exe\r\n");
    EXPECT_EQ(server.stop(), 0);
    EXPECT_FALSE(zs::platform::file_exists(server.helper_dir() + "firststart.flag"));
    // A proper install has nothing to report.
    EXPECT_EQ(server.stderr_text().find("Start-up check"), std::string::npos)
        << server.stderr_text();

    ASSERT_TRUE(server.start(no_port));
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(read(server.helper_dir() + "config.txt"), config);
}

// Unpacked from the portable archive, the server sat outside any Zebrix
// folder and started as if all were well.
TEST(Startup, AServerOutsideAZebrixFolderSaysWhy) {
    staged_server server;
    ASSERT_TRUE(zs::platform::remove_file(server.zebrix_dir() + "zebw.exe"));
    ASSERT_TRUE(server.start());
    EXPECT_EQ(server.stop(), 0);
    const std::string log = read(server.helper_dir() + "ZebrixServer.log");
    EXPECT_NE(log.find("Start-up check: There is no zebw.exe in "), std::string::npos) << log;
    EXPECT_NE(
        server.stderr_text().find("so neither Zebrix remote control nor render jobs can work"),
        std::string::npos)
        << server.stderr_text();
}

TEST(Startup, SecondInstanceIsRefusedAndFirstKeepsRunning) {
    staged_server server;
    // Up to its port: the running server has emptied outputs by then, so only
    // the refused copy could remove the file below.
    ASSERT_TRUE(server.start());
    // A file in outputs must survive the refused second start.
    zs::platform::write_file(server.helper_dir() + "outputs/keep.txt", "x");
    std::string err;
    EXPECT_EQ(server.run_again(err), 0);
    EXPECT_NE(err.find("Zebrix Server is already running"), std::string::npos) << err;
    EXPECT_TRUE(server.running());
    EXPECT_TRUE(zs::platform::file_exists(server.helper_dir() + "outputs/keep.txt"));
    EXPECT_EQ(server.stop(), 0);
}

TEST(Startup, VersionAndHelp) {
    staged_server server;
    std::string out;
    std::string err;
    EXPECT_EQ(
        zs::test::run_program(server.command(server.server_path(), {"--version"}), {}, out, err),
        0);
    if (zs::test::windows_stage()) {
        std::erase(out, '\r'); // the Windows C runtime writes its text mode
    }
    EXPECT_EQ(out, "2.0.1 build 5058\n");
    EXPECT_EQ(zs::test::run_program(server.command(server.server_path(), {"--help"}), {}, out, err),
              0);
    EXPECT_NE(out.find("--headless"), std::string::npos);
}

// An install owned by the administrator and a server run by an ordinary
// user, as after setup on a real PC: before, the server wrote no log line,
// lost every setting and failed every job without a word. Here the user is
// uid 65534 against a root-owned copy of the stage (Wine enforces no rights,
// so the Windows stage cannot show this).
TEST(Startup, AnOrdinaryUserAgainstARootOwnedInstallIsToldAndStillServes) {
    if (zs::test::windows_stage()) {
        GTEST_SKIP() << "Wine enforces no file permissions";
    }
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the server as another user against a root-owned copy";
    }
    constexpr uid_t nobody = 65534;
    staged_server server;
    zs::platform::remove_file(server.helper_dir() + "config.txt"); // a silent deployment
    const std::string state = server.root() + "state/";
    ASSERT_TRUE(zs::platform::make_folders(state));
    // Only the desktop and the user's own folder are the user's; the rest stays root's.
    for (const std::string& own : {server.desktop(), state}) {
        ASSERT_EQ(::chown(own.c_str(), nobody, nobody), 0) << own;
    }
    ASSERT_EQ(::chmod(server.root().c_str(), 0755), 0);
    zs::test::server_options as_user;
    as_user.prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    as_user.env = {{"XDG_STATE_HOME", state}, {"HOME", state}};
    ASSERT_TRUE(server.start(as_user)) << server.stderr_text();

    // Remote control still answers.
    std::string out;
    std::string err;
    EXPECT_EQ(zs::test::run_program(
                  {server.client_path(), "--port", std::to_string(server.tcp_port()), "info"},
                  server.environment(), out, err),
              0)
        << err;
    EXPECT_NE(out.find("name: Zebrix Server"), std::string::npos) << out;

    const std::string helper = server.helper_dir().substr(0, server.helper_dir().size() - 1);
    const std::string log_path = state + "ZebrixServer/ZebrixServer.log";
    const std::string check_line = "Start-up check: Cannot write to " + helper +
                                   ": Permission denied. Give the user who runs the server "
                                   "write access to that folder.";
    const std::string log = read(log_path);
    EXPECT_NE(log.find(check_line), std::string::npos) << log;
    EXPECT_NE(log.find("Start-up check: The log is written to " + log_path + " instead."),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("new identity at every start"), std::string::npos) << log;
    EXPECT_NE(log.find("Service started on"), std::string::npos) << log;
    EXPECT_EQ(log.find(check_line), log.rfind(check_line)); // once
    EXPECT_EQ(server.stop(), 0);
    // The message box's text: headless, on standard error.
    EXPECT_NE(server.stderr_text().find("\nThe log is written to " + log_path + " instead."),
              std::string::npos)
        << server.stderr_text();
    EXPECT_FALSE(zs::platform::file_exists(server.helper_dir() + "ZebrixServer.log"));
    EXPECT_FALSE(zs::platform::file_exists(server.helper_dir() + "config.txt"));
}

} // namespace
