// The key/value store and the file operations shared by both drivers.
#include "core/file_exchange.hpp"
#include "core/text.hpp"
#include "platform/files.hpp"
#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace zs::core;
using zs::test::temp_folder;

namespace {

std::string read_all(const std::string& path) {
    std::string out;
    zs::platform::read_file(path, out);
    return out;
}

struct captured_error {
    int code = -100;
    int detail = -100;
    std::string text;
    int calls = 0;
};

error_sink capture(captured_error& into) {
    return [&into](int code, int detail, const std::string& text) {
        into.code = code;
        into.detail = detail;
        into.text = text;
        ++into.calls;
    };
}

} // namespace

TEST(KeyValueStore, KeysIgnoreCaseKeepFirstSpellingAndValueOrder) {
    key_value_store store;
    add_key_value(store, "B", "2");
    add_key_value(store, "a", "1");
    add_key_value(store, "b", "3");
    EXPECT_EQ(store.key_count(), 2u);
    EXPECT_EQ(store.lookup("b"), "2");
    EXPECT_EQ(store.lookup("A"), "1");
    EXPECT_EQ(store.lookup("missing"), "");
    EXPECT_EQ(store.values("B"), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(serialize_key_values(store), "a=1\nB=2\nB=3\n");
}

TEST(KeyValueStore, OrdersByUnsignedBytesAndLowersOnlyAscii) {
    key_value_store store;
    add_key_value(store, "\xc4x", "hi"); // a high byte sorts after every ASCII letter
    add_key_value(store, "Z", "z");
    add_key_value(store, "_", "u");         // '_' (0x5f) sorts before lower-case letters
    add_key_value(store, "\xe4x", "other"); // not folded onto 0xc4
    EXPECT_EQ(serialize_key_values(store), "_=u\nZ=z\n\xc4x=hi\n\xe4x=other\n");
}

TEST(KeyValueStore, LowersTheAsciiCapitalsOfEveryByteAndNothingElse) {
    const std::string capitals = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::string smalls = "abcdefghijklmnopqrstuvwxyz";
    std::string all;
    std::string expected;
    for (int b = 0x01; b <= 0xFF; ++b) {
        const char c = static_cast<char>(b);
        all += c;
        const auto at = capitals.find(c);
        expected += at == std::string::npos ? c : smalls[at];
    }
    EXPECT_EQ(zs::core::ascii_lower(all), expected);
    // Keys on either side of the capitals stay apart from the small letters.
    key_value_store store;
    add_key_value(store, "@", "at");
    add_key_value(store, "`", "grave");
    add_key_value(store, "[", "bracket");
    add_key_value(store, "{", "brace");
    add_key_value(store, "Z", "zed");
    EXPECT_EQ(store.key_count(), 5u);
    EXPECT_EQ(store.lookup("z"), "zed");
    EXPECT_EQ(store.lookup("@"), "at");
    EXPECT_EQ(store.lookup("["), "bracket");
}

TEST(KeyValueFile, SplitsAtFirstEqualsWithoutTrimming) {
    temp_folder dir("kv");
    zs::platform::write_file(dir / "kv.txt", "B=2\r\na=1\nno equals here\r\nb=3\n"
                                             " k = v=w \r\n=empty key\nlast=no newline");
    key_value_store store;
    add_key_value(store, "stale", "x");
    read_key_value_file(dir / "kv.txt", store);
    EXPECT_EQ(store.lookup("stale"), "");
    EXPECT_EQ(store.lookup(" k "), " v=w ");
    EXPECT_EQ(store.lookup(""), "empty key");
    EXPECT_EQ(store.lookup("last"), "no newline");
    EXPECT_EQ(store.values("b"), (std::vector<std::string>{"2", "3"}));
    EXPECT_TRUE(zs::platform::file_exists(dir / "kv.txt")); // never consumed

    read_key_value_file(dir / "absent.txt", store);
    EXPECT_TRUE(store.empty());
}

TEST(InputFile, WritesHeaderLinesInTextMode) {
    temp_folder dir("in");
    ASSERT_TRUE(write_input_file(dir / "zebinput.txt", 1, 0, "song line\n"));
    EXPECT_EQ(read_all(dir / "zebinput.txt"),
              "Mode=Remote\r\nWParam=1\r\nLParam=0\r\nsong line\r\n");
    ASSERT_TRUE(write_input_file(dir / "zebinput.txt", 3, -7, "abc"));
    EXPECT_EQ(read_all(dir / "zebinput.txt"), "Mode=Remote\r\nWParam=3\r\nLParam=-7\r\nabc");
    EXPECT_FALSE(write_input_file(dir / "no/such/folder/x.txt", 1, 0, "abc"));
}

TEST(ReadAndRemove, ConsumesTheFileOnlyWhenRead) {
    temp_folder dir("rr");
    std::string out = "untouched";
    EXPECT_FALSE(read_and_remove_file(dir / "missing.txt", out));
    EXPECT_EQ(out, "untouched");

    zs::platform::write_file(dir / "empty.txt", "");
    EXPECT_TRUE(read_and_remove_file(dir / "empty.txt", out));
    EXPECT_EQ(out, "");
    EXPECT_FALSE(zs::platform::file_exists(dir / "empty.txt"));

    const std::string bytes("a\0b\r\n\xff", 6);
    zs::platform::write_file(dir / "SongList.TXT", bytes);
    EXPECT_TRUE(read_and_remove_file(dir / "songlist.txt", out)); // case fallback
    EXPECT_EQ(out, bytes);
    EXPECT_FALSE(zs::platform::file_exists(dir / "SongList.TXT"));
}

TEST(LeadingInt, ReadsLikeTheProgramsWriteIt) {
    EXPECT_EQ(zs::core::parse_leading_int("  42abc"), 42);
    EXPECT_EQ(zs::core::parse_leading_int("-100"), -100);
    EXPECT_EQ(zs::core::parse_leading_int("abc"), 0);
    EXPECT_EQ(zs::core::parse_leading_int(""), 0);
    EXPECT_EQ(zs::core::parse_leading_int("99999999999"), 2147483647);
    EXPECT_EQ(zs::core::parse_leading_int("-99999999999"), -2147483647 - 1);
}

TEST(OutputError, MapsTheErrorKeyToReplies) {
    temp_folder dir("out");
    const std::string path = dir / "zeboutput.txt";
    // key, file content, expected (sent, code, detail, text)
    const std::vector<std::tuple<std::string, bool, int, int, std::string>> cases = {
        {"Error=0\r\n", false, 0, 0, ""},
        {"error=  0 trailing\r\n", false, 0, 0, ""},
        {"error=x\r\n", false, 0, 0, ""},
        {"error=7\r\nZebInputErrorString=\r\n", true, 4, 7, "Unknown error"},
        {"ERROR=-3\r\nzebinputerrorstring=Bad song\r\n", true, 4, -3, "Bad song"},
        {"error=\r\n", true, 2, 0, "Unknown error"},
        {"other=1\r\n", true, 2, 0, "Unknown error"},
    };
    for (const auto& [content, sent, code, detail, text] : cases) {
        SCOPED_TRACE(content);
        zs::platform::write_file(path, content);
        captured_error got;
        EXPECT_EQ(check_output_error(path, 4, capture(got)), sent);
        EXPECT_EQ(got.calls, sent ? 1 : 0);
        if (sent) {
            EXPECT_EQ(got.code, code);
            EXPECT_EQ(got.detail, detail);
            EXPECT_EQ(got.text, text);
        }
    }
    zs::platform::remove_file(path);
    captured_error missing;
    EXPECT_TRUE(check_output_error(path, 8, capture(missing)));
    EXPECT_EQ(missing.code, 2);
    EXPECT_EQ(missing.text, "Unknown error");

    zs::platform::write_file(path, "error=5\n");
    captured_error orvanta;
    EXPECT_TRUE(check_output_error(path, 8, capture(orvanta)));
    EXPECT_EQ(orvanta.code, 8);
    EXPECT_EQ(orvanta.detail, 5);
}
