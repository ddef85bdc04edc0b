// The shared byte-string helpers: case, leading numbers, plain names and
// key=value lines, with the edges each caller relies on.
#include "core/text.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace zs::core;

TEST(Text, CaseOfAsciiLettersOnly) {
    EXPECT_EQ(ascii_lower("ZebHelper\xC4\xD6@[`{"), "zebhelper\xC4\xD6@[`{");
    EXPECT_TRUE(iequal_ascii("ZEBHELPER", "zebhelper"));
    EXPECT_FALSE(iequal_ascii("@", "`")); // one apart from 'A' - 'a', not letters
    EXPECT_FALSE(iequal_ascii("\xC4", "\xE4"));
    EXPECT_FALSE(iequal_ascii("abc", "ab"));
}

TEST(Text, LeadingIntegerReadsLikeAtoiAndSaturates) {
    const std::vector<std::pair<std::string, std::int32_t>> cases = {
        {" \t\r\n\v\f42x", 42},
        {"+7", 7},
        {"-", 0},
        {"x1", 0},
        {"", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999999999999", INT_MIN},
        {"- 3", 0},
        {"007", 7}};
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(parse_leading_int(text), value) << '"' << text << '"';
    }
}

TEST(Text, PlainNamesStayInTheirFolder) {
    for (const auto controls : {name_controls::nul_refused, name_controls::all_refused}) {
        EXPECT_TRUE(is_plain_name("song.txt", controls));
        EXPECT_TRUE(is_plain_name(".hidden", controls));
        const std::vector<std::string> bad_names = {"",    ".",    "..",  "x..y",
                                                    "a/b", "a\\b", "C:x", std::string("a\0b", 3)};
        for (const auto& bad : bad_names) {
            EXPECT_FALSE(is_plain_name(bad, controls)) << bad;
        }
    }
    // Only the audio names of jobs refuse the other control characters.
    EXPECT_TRUE(is_plain_name("a\tb", name_controls::nul_refused));
    EXPECT_FALSE(is_plain_name("a\tb", name_controls::all_refused));
    EXPECT_FALSE(is_plain_name("a\x1f", name_controls::all_refused));
}

// Windows opens another file (the name without its trailing dots and
// spaces) or a device for these: a client's file request never gets them.
TEST(Text, WindowsAliasesAndDeviceNamesAreKnown) {
    for (const char* alias :
         {"config.txt.", "config.txt ", "OrvantaPath.txt. . .", "AUX", "aux.txt", "COM1.txt",
          "com9", "Lpt1.sty", "NUL", "nul.tar.gz", "CON .txt", "CONIN$", "conout$.x", "COM\xB9",
          "com\xC2\xB2.txt", "PRN"}) {
        EXPECT_TRUE(is_windows_alias(alias)) << alias;
    }
    for (const char* plain : {"song.txt", "console.txt", "com10.txt", "auxiliary", "lpt.txt",
                              "comx", "nul_song.sty", ".x", "a.b"}) {
        EXPECT_FALSE(is_windows_alias(plain)) << plain;
    }
}

TEST(Text, KeyValueLinesSplitAtTheFirstEqualsSign) {
    using pairs = std::vector<std::pair<std::string, std::string>>;
    const auto read = [](std::string_view text, last_line_cr cr) {
        pairs out;
        for_each_key_value(
            text, cr, [&out](std::string_view k, std::string_view v) { out.emplace_back(k, v); });
        return out;
    };
    const std::string text = "A=1\r\nnone\n=empty key\nk=a=b\r\n\nlast=x\r";
    EXPECT_EQ(read(text, last_line_cr::kept),
              (pairs{{"A", "1"}, {"", "empty key"}, {"k", "a=b"}, {"last", "x\r"}}));
    EXPECT_EQ(read(text, last_line_cr::dropped),
              (pairs{{"A", "1"}, {"", "empty key"}, {"k", "a=b"}, {"last", "x"}}));
    EXPECT_EQ(read("a=1\rb=2\n", last_line_cr::dropped), (pairs{{"a", "1\rb=2"}}));
    EXPECT_FALSE(split_key_value("no equals"));
}

} // namespace
