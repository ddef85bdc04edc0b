// Text-mode writes, the case-insensitive fallback, atomic replace, folder
// clean-up and code pages.
#include "platform/codepage.hpp"
#include "platform/files.hpp"
#include "tests/support/temp_folder.hpp"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using namespace zs::platform;
using zs::test::temp_folder;

TEST(PlatformFiles, TextModeAndCaseInsensitiveRead) {
    temp_folder dir;
    ASSERT_TRUE(write_file(dir / "ZebOutput.txt", "Error=0\r\nx\n", true));
    std::string text;
    ASSERT_TRUE(read_file(dir / "Zeboutput.txt", text));
    EXPECT_EQ(text, "Error=0\r\r\nx\r\n");
    EXPECT_TRUE(can_open_for_read(dir / "ZEBOUTPUT.TXT"));
    EXPECT_FALSE(read_file(dir / "other.txt", text));

    // The fallback folds A..Z only: the neighbours of the capitals are other names.
    ASSERT_TRUE(write_file(dir / "AZ@[.txt", "edges"));
    EXPECT_TRUE(read_file(dir / "az@[.TXT", text));
    EXPECT_EQ(text, "edges");
    EXPECT_FALSE(read_file(dir / "az`[.txt", text));
    EXPECT_FALSE(read_file(dir / "az@{.txt", text));
}

TEST(PlatformFiles, ReplaceLeavesNoTemporaryAndDeleteContentKeepsFolder) {
    temp_folder dir;
    ASSERT_TRUE(replace_file(dir / "a.txt", "one"));
    ASSERT_TRUE(replace_file(dir / "a.txt", "two"));
    std::vector<folder_entry> entries;
    ASSERT_TRUE(list_folder(dir.path(), entries));
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_TRUE(make_folders(dir / "sub/deeper/"));
    write_file(dir / "sub/deeper/f", "x");
    delete_folder_content(dir.path(), false);
    EXPECT_TRUE(folder_exists(dir.path()));
    ASSERT_TRUE(list_folder(dir.path(), entries));
    EXPECT_TRUE(entries.empty());
}

TEST(PlatformCodepage, AnsiRoundTripAndReplacement) {
    EXPECT_EQ(ansi_to_utf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(utf8_to_ansi("caf\xC3\xA9"), "caf\xE9");
    EXPECT_EQ(utf8_to_ansi("a\xE2\x82\xAC" "b"), "a\x80" "b");  // the euro sign exists in 1252
    EXPECT_EQ(utf8_to_ansi("x\xE4\xB8\xAD" "y"), "x?y");       // a CJK character does not
    bool complete = true;
    EXPECT_EQ(utf8_to_utf16("ok\xFF", &complete), u"ok");
    EXPECT_FALSE(complete);
}

} // namespace
