// The zebrix/orvanta options and the saving of returned files.
#include "client/rc_files.hpp"
#include "client/rc_options.hpp"
#include "client/rc_output.hpp"
#include "client/render_job.hpp"
#include "client/whole_number.hpp"
#include "platform/files.hpp"
#include "protocol/proto1_interface.hpp"
#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <climits>

namespace zs::client {
namespace {

rc_parse parse(const std::vector<std::string>& args, rc_request& r, std::string& error) {
    return parse_rc_request(args, r, error);
}

TEST(RcOptions, ParsesEveryOption) {
    rc_request r;
    std::string error;
    ASSERT_EQ(parse({"-12", "--first", "3", "--second", "-4", "--text", "-h", "--want", "a.txt",
                     "--want", "b.txt", "--events", "2", "--out", "/tmp/x", "--action", "0"},
                    r, error),
              rc_parse::ok)
        << error;
    EXPECT_EQ(r.code, -12);
    EXPECT_EQ(r.first, 3);
    EXPECT_EQ(r.second, -4);
    EXPECT_TRUE(r.has_text);
    EXPECT_EQ(r.text, "-h"); // a value, not a request for help
    EXPECT_EQ(r.wanted, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(r.events, 2);
    EXPECT_TRUE(r.has_out);
    EXPECT_EQ(r.out_dir, "/tmp/x/");
    EXPECT_EQ(r.action, 0);

    rc_request plain;
    ASSERT_EQ(parse({"1"}, plain, error), rc_parse::ok);
    EXPECT_EQ(plain.action, 1);
    EXPECT_FALSE(plain.has_out);
    EXPECT_FALSE(plain.has_text);
}

TEST(RcOptions, AsksForHelpOrRefusesBadArguments) {
    rc_request r;
    std::string error;
    EXPECT_EQ(parse({"--help"}, r, error), rc_parse::help);
    EXPECT_EQ(parse({"4", "--first", "1", "-h"}, r, error), rc_parse::help);

    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{}, "missing"},
        {{"x"}, "bad command code"},
        {{"1", "--first"}, "needs a value"},
        {{"1", "--first", "1x"}, "bad value for --first"},
        {{"1", "--events", "-1"}, "bad value for --events"},
        {{"1", "--action", "99999999999"}, "bad value for --action"},
        {{"1", "--bogus", "2"}, "unknown option --bogus"},
        {{"1", "extra"}, "unexpected argument"},
    };
    for (const auto& [args, why] : bad) {
        rc_request fresh;
        error.clear();
        EXPECT_EQ(parse(args, fresh, error), rc_parse::bad) << why;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}

// Every number on the command line goes through one parser: whole, in range,
// and never clamped (strtol clamps to a valid value where long has 32 bits).
TEST(RcOptions, NumbersAreWholeInRangeAndNeverClamped) {
    EXPECT_EQ(parse_whole("65535", 1, 65535), 65535);
    EXPECT_EQ(parse_whole("-4", INT32_MIN, INT32_MAX), -4);
    for (const char* bad : {"", "0", "65536", "1x", "x", "1.5"}) {
        EXPECT_FALSE(parse_whole(bad, 1, 65535)) << bad;
    }
    EXPECT_FALSE(parse_whole("99999999999999999999", LLONG_MIN, LLONG_MAX));

    std::int32_t id = -1;
    EXPECT_TRUE(parse_job_id("2147483647", id));
    EXPECT_EQ(id, INT32_MAX);
    for (const char* bad : {"2147483648", "99999999999", "-1", "7 "}) {
        EXPECT_FALSE(parse_job_id(bad, id)) << bad;
    }
}

TEST(RcOptions, SavesOnlyPlainFileNamesInsideTheFolder) {
    for (const char* name : {"song.txt", "a b.sng"}) {
        EXPECT_TRUE(safe_file_name(name)) << name;
    }
    for (const char* name : {"", ".", "..", "../x", "a/b", "a\\b", "c:x", "x.."}) {
        EXPECT_FALSE(safe_file_name(name)) << name;
    }

    test::temp_folder dir("rc-out");
    rc_request req;
    req.out_dir = dir.path();
    protocol::ZebResponse reply;
    reply.kind = protocol::MSG_RESPONSE;
    reply.action = 1;
    auto* list = reply.add_file_list();
    list->add_file("kept.txt")->content = "kept";
    list->add_file("../escaped.txt")->content = "no";

    testing::internal::CaptureStdout();
    const bool saved_all = print_rc_frame(reply, req, true, false, true);
    const std::string shown = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(saved_all); // the unsafe name is reported, not written
    std::string content;
    ASSERT_TRUE(platform::read_file(dir / "kept.txt", content));
    EXPECT_EQ(content, "kept");
    EXPECT_FALSE(platform::read_file(dir.path() + "../escaped.txt", content));
    EXPECT_NE(shown.find("file kept.txt (4 bytes) saved as " + dir / "kept.txt"), std::string::npos)
        << shown;

    // Shown instead of saved (orvanta without --out): the content is printed, nothing written.
    test::temp_folder other("rc-show");
    req.out_dir = other.path();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(print_rc_frame(reply, req, false, true, true));
    const std::string json = testing::internal::GetCapturedStdout();
    EXPECT_NE(json.find("{\"name\":\"kept.txt\",\"content\":\"kept\",\"size\":4}"),
              std::string::npos)
        << json;
    EXPECT_FALSE(platform::read_file(other / "kept.txt", content));
}

} // namespace
} // namespace zs::client
