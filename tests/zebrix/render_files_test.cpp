// The render input text and the job status file, byte for byte.
#include "core/config_store.hpp"
#include "core/path_layout.hpp"
#include "platform/files.hpp"
#include "tests/support/temp_folder.hpp"
#include "zebrix/render_files.hpp"

#include <gtest/gtest.h>

#include <map>

using namespace zs;

namespace {
std::string read_all(const std::string& path) {
    std::string s;
    platform::read_file(path, s);
    return s;
}
} // namespace

TEST(RenderInput, AddedKeysInOrderWithOptionalFolders) {
    zebrix::render_input in;
    in.job_text = "Output=song\nTitle=x";
    in.window_handle = -5;
    in.job_folder = "/o/007/";
    const std::string base =
        "Output=song\nTitle=x\r\n; added by helper program.\r\n"
        "WindowhandleForMessages=-5\r\nRenderWAVFileName=RenderTest2.WAV\r\n"
        "RenderFileType=WMA\r\nOutputDirectory=/o/007/\r\nThisIsZebHelper=1\r\n"
        "ForceAudioName=1\r\n";
    const std::string tail = "DefinitelyNotDesktopOrvanta=1\r\nGenerateSongStemoraToo="
                             "1\r\nPulsoraGenerationWanted=1\r\n";
    EXPECT_EQ(zebrix::render_input_text(in), base + tail);
    in.stemora_folder = "/s/";
    in.drums_folder = "/d/";
    EXPECT_EQ(zebrix::render_input_text(in),
              base + "CustomDirectoryForStemora=/s/\r\nDrumsFolder=/d/\r\n" + tail);
}

// A job line such as "OutputDirectory=/elsewhere/" made the renderer write
// outside the job folder, "WindowhandleForMessages=1" lost its report.
TEST(RenderInput, JobLinesSettingTheServersKeysAreLeftOut) {
    zebrix::render_input in;
    in.job_text = "OutputDirectory=/elsewhere/\r\nOutput=song\r\n"
                  "windowhandleformessages=1\n  DrumsFolder\t=/x/\r\n"
                  "OutputDirectoryX=kept\r\nTitle=OutputDirectory=/in/value\r\n"
                  "; OutputDirectory=/comment/\r\nPULSORAGENERATIONWANTED=0";
    in.window_handle = 8;
    in.job_folder = "/o/001/";
    const std::string text = zebrix::render_input_text(in);
    EXPECT_EQ(text.rfind("Output=song\r\nOutputDirectoryX=kept\r\nTitle=OutputDirectory=/in/"
                         "value\r\n; OutputDirectory=/comment/\r\n\r\n; added by helper",
                         0),
              0u)
        << text;
    // Every key the server adds appears once, as the server wrote it.
    for (const char* key :
         {"WindowhandleForMessages=", "RenderWAVFileName=", "RenderFileType=", "OutputDirectory=",
          "ThisIsZebHelper=", "ForceAudioName=", "DefinitelyNotDesktopOrvanta=",
          "GenerateSongStemoraToo=", "PulsoraGenerationWanted="}) {
        const std::string line = std::string("\n") + key;
        const auto first = text.find(line);
        ASSERT_NE(first, std::string::npos) << key;
        EXPECT_EQ(text.find(line, first + 1), std::string::npos) << key;
    }
    EXPECT_NE(text.find("\nOutputDirectory=/o/001/\r\n"), std::string::npos);
    EXPECT_NE(text.find("\nWindowhandleForMessages=8\r\n"), std::string::npos);
    EXPECT_EQ(text.find("DrumsFolder"), std::string::npos) << "none configured, none passed on";

    // Every one of the eleven keys, set by the job on lines that end in CR,
    // LF or CR LF (a bare CR let "OutputDirectory=" through), appears once,
    // with the server's value.
    const std::map<std::string, std::string> ours = {{"WindowhandleForMessages", "8"},
                                                     {"RenderWAVFileName", "RenderTest2.WAV"},
                                                     {"RenderFileType", "WMA"},
                                                     {"OutputDirectory", "/o/001/"},
                                                     {"ThisIsZebHelper", "1"},
                                                     {"ForceAudioName", "1"},
                                                     {"CustomDirectoryForStemora", "/s/"},
                                                     {"DrumsFolder", "/d/"},
                                                     {"DefinitelyNotDesktopOrvanta", "1"},
                                                     {"GenerateSongStemoraToo", "1"},
                                                     {"PulsoraGenerationWanted", "1"}};
    in.stemora_folder = "/s/";
    in.drums_folder = "/d/";
    in.job_text = "RenderMs=10";
    const char* ends[] = {"\r", "\n", "\r\n"};
    int n = 0;
    for (const auto& entry : ours) {
        in.job_text += std::string(ends[n++ % 3]) + entry.first + "=/job/";
    }
    const std::string all = zebrix::render_input_text(in);
    EXPECT_EQ(all.find("/job/"), std::string::npos) << all;
    for (const auto& [key, value] : ours) {
        const std::string line = "\n" + key + "=";
        const auto first = all.find(line);
        ASSERT_NE(first, std::string::npos) << key;
        EXPECT_EQ(all.find(key + "="), first + 1) << key << " appears before the server's line";
        EXPECT_EQ(all.find(line, first + 1), std::string::npos) << key;
        EXPECT_EQ(all.compare(first + line.size(), value.size() + 2, value + "\r\n"), 0) << key;
    }
    EXPECT_EQ(all.rfind("RenderMs=10\r\r\n; added by helper", 0), 0u) << all;

    EXPECT_TRUE(zebrix::is_server_key(" outputdirectory "));
    EXPECT_FALSE(zebrix::is_server_key("Output"));
    EXPECT_EQ(zebrix::strip_server_keys("A=1\nThisIsZebHelper=0\nB=2"), "A=1\nB=2");
    EXPECT_EQ(zebrix::strip_server_keys(std::string("A\0=1\nforceaudioname=0", 21)),
              std::string("A\0=1\n", 5));
}

TEST(RenderInput, WrittenToTheZebrixFolderWithConfiguredFolders) {
    test::temp_folder tmp("zs-rf");
    platform::make_folders(tmp / "Zebrix/ZebHelper/");
    platform::write_file(tmp / "Zebrix/ZebHelper/config.txt", "DrumsFolder=/drums/\r\n");
    const auto layout =
        core::path_layout::from_executable(tmp / "Zebrix/ZebHelper/ZebrixServer", tmp.path());
    core::config_store config;
    config.load(layout.helper_dir());
    ASSERT_TRUE(zebrix::write_render_input(layout, config, 9, "/j/", "A=1"));
    const std::string text = read_all(tmp / "Zebrix/zebinput.txt");
    EXPECT_EQ(text.rfind("A=1\r\n; added by helper program.\r\nWindowhandleForMessages=9\r\n", 0),
              0u);
    EXPECT_NE(text.find("\r\nDrumsFolder=/drums/\r\n"), std::string::npos);
    EXPECT_EQ(text.find("CustomDirectoryForStemora"), std::string::npos);

    const auto nowhere = core::path_layout::from_executable(tmp / "none/ZebHelper/x", tmp.path());
    EXPECT_FALSE(zebrix::write_render_input(nowhere, config, 9, "/j/", "A=1"));
}

TEST(JobStatus, WrittenInTextModeAndReadBack) {
    test::temp_folder tmp("zs-rf");
    std::string message;
    int number = -1;
    zebrix::write_job_status(tmp.path(), "", 0);
    EXPECT_EQ(read_all(tmp / "ZebOutput.txt"), "Error=0\r\r\n");
    EXPECT_EQ(zebrix::read_job_status(tmp.path(), message, number),
              protocol::job_outcome::succeeded);

    zebrix::write_job_status(tmp.path(), "Error occurred", -100);
    EXPECT_EQ(read_all(tmp / "ZebOutput.txt"), "Error=-100\r\n;Error #-100, Error occurred");
    EXPECT_EQ(zebrix::read_job_status(tmp.path(), message, number), protocol::job_outcome::failed);
    EXPECT_EQ(message, "Error occurred");

    zebrix::write_job_status(tmp / "missing/", "x", 1); // nothing happens
    EXPECT_FALSE(platform::folder_exists(tmp / "missing/"));
}

TEST(JobStatus, ReadingRules) {
    test::temp_folder tmp("zs-rf");
    const std::string file = tmp / "ZebOutput.txt";
    std::string message;
    int number = 0;
    EXPECT_EQ(zebrix::read_job_status(tmp.path(), message, number), protocol::job_outcome::failed);
    EXPECT_EQ(message, "Error occurred on server");

    platform::write_file(file, "Something=1\r\n");
    EXPECT_EQ(zebrix::read_job_status(tmp.path(), message, number), protocol::job_outcome::failed);
    EXPECT_EQ(message, "Error occurred on server");

    platform::write_file(file, "Error= 5\r\n");
    EXPECT_EQ(zebrix::read_job_status(tmp.path(), message, number), protocol::job_outcome::failed);
    EXPECT_EQ(message, "Error occurred on server: 5");

    // A CR before the LF stays part of the message; "Developers:" is dropped.
    platform::write_file(file, "x\nError=7\r\n;Error #7, Bad style, sorry Developers: see log\r\n");
    EXPECT_EQ(zebrix::read_job_status(tmp.path(), message, number), protocol::job_outcome::failed);
    EXPECT_EQ(message, "Bad style, sorry ");
    platform::write_file(file, "Error=7\r\n;Error #7 no comma\r\n");
    zebrix::read_job_status(tmp.path(), message, number);
    EXPECT_EQ(message, "7 no comma\r");

    platform::write_file(file, "Error=0\r\nStyleNameTimeSig=3\r\n");
    EXPECT_EQ(zebrix::read_job_status(tmp.path(), message, number),
              protocol::job_outcome::succeeded_with_number);
    EXPECT_EQ(number, 3);

    // Written under another letter case, found all the same.
    platform::remove_file(file);
    platform::write_file(tmp / "ZEBOUTPUT.TXT", "Error=0\n");
    EXPECT_EQ(zebrix::read_job_status(tmp.path(), message, number),
              protocol::job_outcome::succeeded);

    // A line longer than the reader's buffer (prefix + 4096 bytes) comes in
    // parts, and a part may begin with the prefix.
    platform::write_file(tmp / "ZEBOUTPUT.TXT",
                         "Error=0\nX=" + std::string(4110, 'a') + "StyleNameTimeSig=4\n");
    EXPECT_EQ(zebrix::read_job_status(tmp.path(), message, number),
              protocol::job_outcome::succeeded_with_number);
    EXPECT_EQ(number, 4);
    platform::write_file(tmp / "ZEBOUTPUT.TXT",
                         "Error=0\nX=" + std::string(4111, 'a') + "StyleNameTimeSig=4\n");
    EXPECT_EQ(zebrix::read_job_status(tmp.path(), message, number),
              protocol::job_outcome::succeeded);
}
