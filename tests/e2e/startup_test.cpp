// The staged server's first start, restart and single instance.
#include "platform/files.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

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
    ASSERT_TRUE(server.start(no_port));
    const std::string config = read(server.helper_dir() + "config.txt");
    ASSERT_EQ(config.size(), 136u);
    EXPECT_EQ(config.substr(0, 100), "IdleTimeToShutDownZEBW3=30\r\nLanguage=default\r\nSERVER_NAME=Zebrix "
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

    ASSERT_TRUE(server.start(no_port));
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(read(server.helper_dir() + "config.txt"), config);
}

TEST(Startup, SecondInstanceIsRefusedAndFirstKeepsRunning) {
    staged_server server;
    ASSERT_TRUE(server.start(no_port));
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

} // namespace
