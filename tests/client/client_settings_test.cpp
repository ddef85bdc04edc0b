// The client's configuration file and password form, and the careful
// writing of results (checked targets, no overwriting, rescue copies).
#include "client/client_settings.hpp"
#include "platform/files.hpp"
#include "platform/output_file.hpp"
#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace zs::client {
namespace {

TEST(ClientSettings, ConfigFileSetsKnownKeysAndNamesBadLines) {
    common_options o;
    std::vector<std::string> problems;
    apply_config_text("# my studio\n"
                      "host = studio.local\r\n"
                      "  port=7000\n"
                      "\n"
                      "udp-port = 7001\n"
                      "password = Mixed Case = ok\n"
                      "timeout = 2500\n",
                      o, problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(o.host, "studio.local");
    EXPECT_EQ(o.port, 7000);
    EXPECT_EQ(o.udp_port, 7001);
    EXPECT_EQ(o.password, "Mixed Case = ok"); // lower-cased once every source is settled
    EXPECT_EQ(o.timeout_ms, 2500);

    common_options untouched;
    apply_config_text("port = 70000\nhots = x\njust words\ntimeout = 0\nhost =\n", untouched,
                      problems);
    EXPECT_EQ(problems, (std::vector<std::string>{"1: bad port '70000'", "2: unknown key 'hots'",
                                                  "3: a line without '='", "4: bad timeout '0'",
                                                  "5: empty host"}));
    EXPECT_EQ(untouched.port, 6789);
    EXPECT_EQ(untouched.host, "127.0.0.1");
}

TEST(ClientSettings, EnvironmentOverridesAndTheFileLivesUnderXdgConfigHome) {
    ::setenv("XDG_CONFIG_HOME", "/somewhere/cfg", 1);
    EXPECT_EQ(config_path(), "/somewhere/cfg/zebrix-client/config");
    ::unsetenv("XDG_CONFIG_HOME");
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    ::setenv("HOME", "/home/who", 1);
    EXPECT_EQ(config_path(), "/home/who/.config/zebrix-client/config");
    ::setenv("HOME", home.c_str(), 1);

    common_options o;
    std::vector<std::string> problems;
    apply_config_text("port = 7000\npassword = fromfile\n", o, problems);
    ::setenv("ZEBRIX_PASSWORD", "FromEnv", 1);
    ::setenv("ZEBRIX_TCP_PORT", "7100", 1);
    ::setenv("ZEBRIX_UDP_PORT", "x", 1);
    apply_environment(o, problems);
    ::unsetenv("ZEBRIX_PASSWORD");
    ::unsetenv("ZEBRIX_TCP_PORT");
    ::unsetenv("ZEBRIX_UDP_PORT");
    EXPECT_EQ(o.password, "FromEnv");
    EXPECT_EQ(o.port, 7100);
    EXPECT_EQ(problems, (std::vector<std::string>{"ZEBRIX_UDP_PORT: bad udp-port 'x'"}));
}

TEST(ClientSettings, PasswordIsSentAsTheServerStoresIt) {
    EXPECT_EQ(stored_password("Secret1"), "secret1");
    EXPECT_EQ(stored_password("\xc3\x84ND"), "\xc3\x84nd"); // ASCII letters only, as the server
    EXPECT_EQ(stored_password(std::string(70, 'A')), std::string(64, 'a'));
}

TEST(OutputFile, TargetsAreCheckedAndNothingIsReplacedUnlessAllowed) {
    test::temp_folder dir("zc-output");
    std::string reason;
    EXPECT_TRUE(platform::check_writable(dir / "new.txt", platform::overwrite::refused, reason));
    EXPECT_TRUE(platform::check_writable("-", platform::overwrite::refused, reason));
    EXPECT_FALSE(
        platform::check_writable(dir / "no/new.txt", platform::overwrite::allowed, reason));
    EXPECT_EQ(reason, "No such file or directory");
    EXPECT_FALSE(platform::check_writable(dir.path(), platform::overwrite::allowed, reason));
    EXPECT_EQ(reason, "Is a directory");

    ASSERT_TRUE(platform::write_file(dir / "kept.txt", "mine"));
    EXPECT_FALSE(platform::check_writable(dir / "kept.txt", platform::overwrite::refused, reason));
    EXPECT_EQ(reason, "File exists");
    EXPECT_TRUE(platform::check_writable(dir / "kept.txt", platform::overwrite::allowed, reason));
    EXPECT_FALSE(
        platform::write_output(dir / "kept.txt", "theirs", platform::overwrite::refused, reason));
    std::string content;
    ASSERT_TRUE(platform::read_file(dir / "kept.txt", content));
    EXPECT_EQ(content, "mine");
    EXPECT_TRUE(
        platform::write_output(dir / "kept.txt", "theirs", platform::overwrite::allowed, reason));
    ASSERT_TRUE(platform::read_file(dir / "kept.txt", content));
    EXPECT_EQ(content, "theirs");

    ::setenv("TMPDIR", dir.path().c_str(), 1);
    const auto rescue = platform::write_rescue_file("zebrix-job-3", "bytes", reason);
    ::unsetenv("TMPDIR");
    ASSERT_TRUE(rescue) << reason;
    EXPECT_EQ(rescue->rfind(dir / "zebrix-job-3-", 0), 0u) << *rescue;
    ASSERT_TRUE(platform::read_file(*rescue, content));
    EXPECT_EQ(content, "bytes");
}

} // namespace
} // namespace zs::client
