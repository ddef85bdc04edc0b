// The exchange files and the Orvanta folder the driver's paths follow.
#include "core/config_store.hpp"
#include "core/path_layout.hpp"
#include "orvanta/ov_files.hpp"
#include "platform/files.hpp"
#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>

namespace {

using namespace zs;

std::string read(const std::string& path) {
    std::string s;
    platform::read_file(path, s);
    return s;
}

TEST(OrvantaFiles, InputFileHeaderThenTheTextInTextMode) {
    test::temp_folder dir;
    ASSERT_TRUE(orvanta::write_input_file(dir / "ovinput.txt", "abc", 1, 0));
    EXPECT_EQ(read(dir / "ovinput.txt"), "Mode=Remote\r\nWParam=1\r\nLParam=0\r\nabc");
    ASSERT_TRUE(orvanta::write_input_file(dir / "ovinput.txt", "x\ny\n", -3, 70000));
    EXPECT_EQ(read(dir / "ovinput.txt"), "Mode=Remote\r\nWParam=-3\r\nLParam=70000\r\nx\r\ny\r\n");
    EXPECT_FALSE(orvanta::write_input_file(dir / "missing/ovinput.txt", "abc", 1, 0));
}

TEST(OrvantaFiles, TextFilesReadFromTheAnsiCodePage) {
    test::temp_folder dir;
    ASSERT_TRUE(orvanta::write_text_file(dir / "t.txt", "a\nb"));
    EXPECT_EQ(read(dir / "t.txt"), "a\r\nb");
    EXPECT_FALSE(orvanta::write_text_file(dir / "no/t.txt", "a"));

    platform::write_file(dir / "song.txt", "Stra\xdf"
                                           "e \x80");
    std::string out = "before";
    ASSERT_TRUE(orvanta::read_text_file(dir / "song.txt", out));
    EXPECT_EQ(out, "Stra\xc3\x9f"
                   "e \xe2\x82\xac");
    // The program's "SongList.TXT" is found by the lower-case name.
    platform::write_file(dir / "SongList.TXT", "x");
    EXPECT_TRUE(orvanta::read_text_file(dir / "songlist.txt", out));
    EXPECT_EQ(out, "x");

    out = "kept";
    platform::write_file(dir / "empty.txt", "");
    EXPECT_FALSE(orvanta::read_text_file(dir / "empty.txt", out));
    EXPECT_FALSE(orvanta::read_text_file(dir / "absent.txt", out));
    EXPECT_EQ(out, "kept");
}

TEST(OrvantaFiles, KeyValueFilesSerializeByLowerCaseKey) {
    test::temp_folder dir;
    platform::write_file(dir / "kv.txt", "b=2\r\nA=1\r\nno line\r\na=3\r\nc= x=y\r\n");
    EXPECT_EQ(orvanta::read_key_values_text(dir / "kv.txt"), "A=1\nA=3\nb=2\nc= x=y\n");
    EXPECT_EQ(orvanta::read_key_values_text(dir / "absent.txt"), "");
}

// The exchange paths follow the configured path; its folder keeps its case.
TEST(OrvantaFolder, PathsFollowTheConfiguredOrvantaPath) {
    test::temp_folder dir;
    auto layout = core::path_layout::from_executable(dir / "ZebHelper/ZebrixServer", "/");
    platform::make_folders(dir / "ZebHelper/");
    core::config_store config;
    auto load = [&](const std::string& configured) {
        platform::write_file(dir / "ZebHelper/OrvantaPath.txt",
                             "OrvantaPath=" + configured + "\r\n");
        config.load(layout.helper_dir());
        layout.set_orvanta_folder_source([&] { return config.orvanta_folder(); });
    };
    load("/Music/My Orvanta/Orvanta.EXE");
    EXPECT_EQ(layout.orvanta_dir(), "/Music/My Orvanta/");
    EXPECT_EQ(layout.ov_input_path(), "/Music/My Orvanta/OvHelper/ovinput.txt");
    load("/x/orvanta.exe/Y/ORVANTA.exe");
    EXPECT_EQ(layout.orvanta_exe_path(), "/x/orvanta.exe/Y/orvanta.exe");
    load("/Programs/Ov");
    EXPECT_EQ(layout.orvanta_dir(), "/Programs/Ov/");
    EXPECT_EQ(layout.ov_track_names_path(), "/Programs/Ov/OvHelper/TrackNames.Txt");
    // Notepad's UTF-8 mark hid the line, and the default replaced the user's path.
    const std::string marked = "\xEF\xBB\xBFOrvantaPath=/Music/Marked/orvanta.exe\r\n";
    platform::write_file(dir / "ZebHelper/OrvantaPath.txt", marked);
    config.load(layout.helper_dir());
    EXPECT_EQ(layout.orvanta_dir(), "/Music/Marked/");
    EXPECT_EQ(read(dir / "ZebHelper/OrvantaPath.txt"), marked);
}

} // namespace
