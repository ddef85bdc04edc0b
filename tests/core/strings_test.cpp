// The string table: built-in list, override file, fallbacks.
#include "core/strings.hpp"
#include "platform/files.hpp"
#include "resources/resources.hpp"
#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>

namespace {

using zs::core::string_table;
using zs::test::temp_folder;

TEST(Strings, BuiltInListAndMissingIndex) {
    string_table t("/nonexistent/strings.txt", zs::resources::builtin_strings());
    EXPECT_EQ(t.get_string(3), u"Stop");
    EXPECT_EQ(t.get_string(1), u"Server IP: ");
    EXPECT_EQ(t.get_string(22), u"If password is default \"kxvwq\" - it will be disabled");
    EXPECT_EQ(t.get_string(25), u"<25>");
    EXPECT_EQ(t.get_string(23), u"<23>");
}

TEST(Strings, OverrideLinesWinAndEmptyLinesCount) {
    temp_folder dir;
    for (const char* text : {"A\n\nB\n\n\n", "A\r\n\r\nB\r\n"}) {
        zs::platform::write_file(dir / "s.txt", text);
        string_table t(dir / "s.txt", zs::resources::builtin_strings());
        EXPECT_EQ(t.get_string(0), u"A");
        EXPECT_EQ(t.get_string(1), u"");
        EXPECT_EQ(t.get_string(2), u"B");
        EXPECT_EQ(t.get_string(3), u"Stop");
    }
}

TEST(Strings, ByteOrderMarkStaysAndDecodingErrorStopsReading) {
    temp_folder dir;
    zs::platform::write_file(dir / "s.txt", "\xEF\xBB\xBFZ\n\xC3\xA9t\xC3\xA9\nbad\xFF\nafter\n");
    string_table t(dir / "s.txt", zs::resources::builtin_strings());
    EXPECT_EQ(t.get_string(0), u"\uFEFFZ");
    EXPECT_EQ(t.get_string(1), u"\u00E9t\u00E9");
    EXPECT_EQ(t.get_string(2), u"<description here>");  // reading stopped at the bad line
}

TEST(Strings, DefaultForTheHintOnlyWhenNeitherListIsLongEnough) {
    temp_folder dir;
    string_table full(dir / "none.txt", zs::resources::builtin_strings());
    EXPECT_EQ(full.get_string_or(22, u"fallback"),
              u"If password is default \"kxvwq\" - it will be disabled");
    string_table short_list(dir / "none.txt", "one\ntwo\n");
    EXPECT_EQ(short_list.get_string_or(22, u"fallback"), u"fallback");
}

} // namespace
