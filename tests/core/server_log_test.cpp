// The operator log: one time-stamped line per call, control bytes of the
// text never split a line, and the file turns over with one old copy kept.
#include "core/server_log.hpp"
#include "platform/files.hpp"
#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <regex>

namespace {

using namespace zs::core;

std::string read(const std::string& path) {
    std::string text;
    zs::platform::read_file(path, text);
    return text;
}

TEST(ServerLog, TimeStampedLinesRotatedWithOneOldCopy) {
    zs::test::temp_folder dir{"zs-log"};
    server_log::open(dir.path(), 200);
    server_log::line("Refused a login\r\nfrom\tthere");
    const std::string first = read(dir / server_log::file_name);
    EXPECT_TRUE(std::regex_match(
        first,
        std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d Refused a login  from there\r\n")))
        << first;

    // 61 bytes a line: the file turns over twice.
    for (int i = 0; i < 6; ++i) {
        server_log::line("line " + std::to_string(i) + std::string(33, 'x'));
    }
    server_log::close();
    server_log::line("standard error only");
    const std::string now = read(dir / server_log::file_name);
    const std::string old = read(dir / server_log::old_file_name);
    EXPECT_LE(now.size(), 200u);
    EXPECT_LE(old.size(), 200u);
    EXPECT_EQ(old.find("Refused"), std::string::npos) << "only one old copy is kept";
    EXPECT_NE(now.find("line 5"), std::string::npos);
    EXPECT_NE(old.find("line 2"), std::string::npos);
    EXPECT_EQ(now.find("standard error only"), std::string::npos);

    // A new start appends to what is there and counts its size.
    server_log::open(dir.path(), 200);
    server_log::line("again" + std::string(150, 'y'));
    server_log::close();
    EXPECT_NE(read(dir / server_log::file_name).rfind("again"), std::string::npos);
    EXPECT_NE(read(dir / server_log::old_file_name).find("line 5"), std::string::npos);
}

} // namespace
