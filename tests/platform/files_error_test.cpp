// The file functions say why they failed: the system's reason, the same on
// both systems for the failures an operator meets (a folder that is not
// there, a file where a folder should be), and nothing left over on success.
#include "platform/files.hpp"
#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <system_error>

namespace {

using namespace zs::platform;
using zs::test::temp_folder;

constexpr auto no_entry = std::errc::no_such_file_or_directory;

TEST(PlatformFileErrors, WritesIntoAMissingFolderNameTheMissingFolder) {
    temp_folder dir("zs-files");
    const std::string target = dir / "gone" + path_separator + "a.txt";
    std::error_code why;
    EXPECT_FALSE(write_file(target, "x", false, &why));
    EXPECT_EQ(why, no_entry) << why.message();
    why.clear();
    EXPECT_FALSE(write_file(target, "x", true, &why));
    EXPECT_EQ(why, no_entry) << why.message();
    why.clear();
    EXPECT_FALSE(append_file(target, "x", &why));
    EXPECT_EQ(why, no_entry) << why.message();
    why.clear();
    EXPECT_FALSE(replace_file(target, "x", &why));
    EXPECT_EQ(why, no_entry) << why.message();
    EXPECT_FALSE(why.message().empty());

    ASSERT_TRUE(write_file(dir / "here.txt", "x"));
    why.clear();
    EXPECT_FALSE(copy_file(dir / "here.txt", target, &why));
    EXPECT_EQ(why, no_entry) << why.message();
}

TEST(PlatformFileErrors, MissingSourcesAndFolders) {
    temp_folder dir("zs-files");
    std::string text = "kept";
    std::error_code why;
    EXPECT_FALSE(read_file(dir / "none.txt", text, &why));
    EXPECT_EQ(why, no_entry) << why.message();
    EXPECT_EQ(text, "kept");
    why.clear();
    EXPECT_FALSE(copy_file(dir / "none.txt", dir / "copy.txt", &why));
    EXPECT_EQ(why, no_entry) << why.message();
    EXPECT_FALSE(file_exists(dir / "copy.txt"));
    why.clear();
    EXPECT_FALSE(remove_file(dir / "none.txt", &why));
    EXPECT_EQ(why, no_entry) << why.message();
    why.clear();
    EXPECT_FALSE(rename_file(dir / "none.txt", dir / "other.txt", &why));
    EXPECT_EQ(why, no_entry) << why.message();
    why.clear();
    std::vector<folder_entry> entries;
    EXPECT_FALSE(list_folder(dir / "no-folder", entries, &why));
    EXPECT_EQ(why, no_entry) << why.message();
    // Nothing to delete is no failure.
    why = std::make_error_code(std::errc::io_error);
    EXPECT_TRUE(delete_folder_content(dir / "no-folder", true, &why));
    EXPECT_FALSE(why);
}

TEST(PlatformFileErrors, AFileInTheWayOfAFolder) {
    temp_folder dir("zs-files");
    ASSERT_TRUE(write_file(dir / "plain", "x"));
    std::string text;
    std::error_code why;
    EXPECT_FALSE(read_file(dir.path(), text, &why));
    EXPECT_EQ(why, std::errc::is_a_directory) << why.message();
    why.clear();
    EXPECT_FALSE(make_folders(dir / "plain", &why));
    EXPECT_EQ(why, std::errc::file_exists) << why.message();
    why.clear();
    // Below a file, every system has its own word (not a folder, no such
    // path); a reason there must be.
    EXPECT_FALSE(make_folders(dir / "plain" + path_separator + "sub" + path_separator, &why));
    EXPECT_TRUE(why);
    EXPECT_FALSE(folder_exists(dir / "plain" + path_separator + "sub"));
}

TEST(PlatformFileErrors, SuccessClearsAnEarlierReason) {
    temp_folder dir("zs-files");
    const std::string sub = dir / "a" + path_separator + "b" + path_separator;
    const auto stale = [] { return std::make_error_code(std::errc::io_error); };
    std::error_code why = stale();
    ASSERT_TRUE(make_folders(sub, &why));
    EXPECT_FALSE(why);
    why = stale();
    ASSERT_TRUE(write_file(sub + "f.txt", "one\n", true, &why));
    EXPECT_FALSE(why);
    why = stale();
    ASSERT_TRUE(append_file(sub + "f.txt", "two", &why));
    EXPECT_FALSE(why);
    why = stale();
    ASSERT_TRUE(copy_file(sub + "f.txt", sub + "g.txt", &why));
    EXPECT_FALSE(why);
    std::string text;
    why = stale();
    ASSERT_TRUE(read_file(sub + "g.txt", text, &why));
    EXPECT_FALSE(why);
    EXPECT_EQ(text, "one\r\ntwo");
    why = stale();
    ASSERT_TRUE(rename_file(sub + "g.txt", sub + "h.txt", &why));
    EXPECT_FALSE(why);
    why = stale();
    ASSERT_TRUE(replace_file(sub + "h.txt", "three", &why));
    EXPECT_FALSE(why);
    std::vector<folder_entry> entries;
    why = stale();
    ASSERT_TRUE(list_folder(sub, entries, &why));
    EXPECT_FALSE(why);
    EXPECT_EQ(entries.size(), 2u);
    why = stale();
    ASSERT_TRUE(remove_file(sub + "h.txt", &why));
    EXPECT_FALSE(why);
    why = stale();
    ASSERT_TRUE(delete_folder_content(dir / "a", true, &why));
    EXPECT_FALSE(why);
    EXPECT_FALSE(folder_exists(dir / "a"));
}

} // namespace
