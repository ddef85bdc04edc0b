// Finding the helper and Zebrix folders from the executable's path.
#include "core/path_layout.hpp"

#include <gtest/gtest.h>

namespace {

using zs::core::path_layout;

TEST(PathLayout, HelperFolderIsTheNearestZebHelperAncestor) {
    auto direct = path_layout::from_executable("/opt/Zebrix/ZebHelper/ZebrixServer", "/cwd/");
    EXPECT_EQ(direct.helper_dir(), "/opt/Zebrix/ZebHelper/");
    EXPECT_EQ(direct.zebrix_dir(), "/opt/Zebrix/");

    auto below = path_layout::from_executable("/a/ZebHelper/x/ZebHelper2/bin/deep/Server", "/cwd/");
    EXPECT_EQ(below.helper_dir(), "/a/ZebHelper/x/ZebHelper2/");
    EXPECT_EQ(below.zebrix_dir(), "/a/ZebHelper/x/");

    auto other_case = path_layout::from_executable("/z/zebhelper-old/S", "/cwd/");
    EXPECT_EQ(other_case.helper_dir(), "/z/zebhelper-old/");
}

TEST(PathLayout, OutsideAnyHelperFolderTheCurrentFolderServes) {
    auto outside = path_layout::from_executable("/usr/bin/ZebrixServer", "/home/u/work/");
    EXPECT_EQ(outside.helper_dir(), "/home/u/work/");
    EXPECT_EQ(outside.zebrix_dir(), "/home/u/");
    // "Zeb" alone is not enough.
    auto near_miss = path_layout::from_executable("/x/ZebHelpe/S", "/c/d");
    EXPECT_EQ(near_miss.helper_dir(), "/c/d/");
}

TEST(PathLayout, FixedFilesAndOrvantaPathsFollowTheSetting) {
    auto l = path_layout::from_executable("/Z/ZebHelper/S", "/");
    EXPECT_EQ(l.outputs_dir(), "/Z/ZebHelper/outputs/");
    EXPECT_EQ(l.zebmini_dir(), "/Z/ZebMini/");
    EXPECT_EQ(l.zebw3_path(), "/Z/zebw3.exe");
    EXPECT_EQ(l.zebrix_input_path(), "/Z/zebinput.txt");
    EXPECT_EQ(l.helper_output_path(), "/Z/ZebHelper/zeboutput.txt");
    std::string folder = "/Ov/";
    l.set_orvanta_folder_source([&] { return folder; });
    EXPECT_EQ(l.ov_input_path(), "/Ov/OvHelper/ovinput.txt");
    folder = "/Other/";
    EXPECT_EQ(l.ov_section_names_path(), "/Other/OvHelper/SectionNames.Txt");
    EXPECT_EQ(l.orvanta_exe_path(), "/Other/orvanta.exe");
}

} // namespace
