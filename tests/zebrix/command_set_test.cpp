// Every command pattern against a scripted program writing real files.
#include "core/text.hpp"
#include "platform/files.hpp"
#include "tests/support/temp_folder.hpp"
#include "zebrix/command_set.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace zs::zebrix;
using zs::protocol::ITEM_DATA;
using zs::protocol::ITEM_ERROR;
using zs::protocol::ZebRequest;
using zs::protocol::ZebResponse;

namespace {

struct scripted_program final : zebw_target {
    struct call {
        std::int64_t wparam;
        std::int64_t lparam;
        bool operator==(const call&) const = default;
    };
    std::vector<call> calls;
    std::function<std::int32_t(std::int64_t, std::int64_t)> reply = [](auto, auto) { return 1; };

    std::int32_t send_command(std::int32_t first, std::int32_t code, std::int32_t second) override {
        return send_raw(static_cast<std::int64_t>(static_cast<std::uint32_t>(first) << 16 |
                                                  (static_cast<std::uint32_t>(code) & 0xFFFF)),
                        second);
    }
    std::int32_t send_raw(std::int64_t wparam, std::int64_t lparam) override {
        calls.push_back({wparam, lparam});
        return reply(wparam, lparam);
    }
};

struct ZebrixCommands : ::testing::Test {
    zs::test::temp_folder helper{"cmd"};
    scripted_program program;
    command_set commands{program, helper.path()};

    void put(const std::string& name, const std::string& content) {
        ASSERT_TRUE(zs::platform::write_file(helper / name, content));
    }
    bool exists(const std::string& name) { return zs::platform::file_exists(helper / name); }
    static ZebRequest request(int command, int first = 0, int second = 0) {
        ZebRequest r;
        r.header.request_id = 41;
        r.header.action = 1;
        r.header.command = command;
        r.header.param1 = first;
        r.header.param2 = second;
        return r;
    }
    static std::string data(const ZebResponse& r) {
        auto* d = r.find_data(ITEM_DATA);
        return d ? d->data : "<none>";
    }
    static void expect_error(const ZebResponse& r, int code, int detail, const std::string& text) {
        EXPECT_EQ(r.request_id, 41);
        EXPECT_EQ(r.action, 0);
        EXPECT_EQ(r.status, code);
        EXPECT_EQ(r.value, detail);
        auto* e = r.find_data(ITEM_ERROR);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->data, text);
    }
};

} // namespace

TEST_F(ZebrixCommands, SongListWritesInputChecksOutputAndConsumesTheList) {
    program.reply = [this](std::int64_t, std::int64_t) {
        put("zeboutput.txt", "error=0\r\n");
        put("songlist.txt", "one\r\ntwo\r\n");
        return 1;
    };
    auto req = request(1, 5, 6);
    req.add_data(ITEM_DATA, "list\n");
    auto r = commands.execute(req);
    EXPECT_EQ(std::tie(r->kind, r->request_id, r->action, r->status, r->value),
              std::make_tuple(zs::protocol::MSG_RESPONSE, 41, 1, 1, 0));
    EXPECT_EQ(data(*r), "one\r\ntwo\r\n");
    EXPECT_EQ(program.calls, (std::vector<scripted_program::call>{{1, 0}})); // (0, 1, 0) always
    std::string input;
    zs::platform::read_file(helper / "zebinput.txt", input);
    EXPECT_EQ(input, "Mode=Remote\r\nWParam=1\r\nLParam=0\r\nlist\r\n");
    EXPECT_FALSE(exists("songlist.txt"));

    // Without text no input file is written; the list is still fetched.
    zs::platform::remove_file(helper / "zebinput.txt");
    r = commands.execute(request(1));
    EXPECT_EQ(r->status, 1);
    EXPECT_FALSE(exists("zebinput.txt"));
}

TEST_F(ZebrixCommands, SongListFailures) {
    program.reply = [](auto, auto) { return 0; };
    expect_error(*commands.execute(request(1)), 4, 0, "Can't write input");

    program.reply = [this](auto, auto) {
        put("zeboutput.txt", "Error=3\r\nZebInputErrorString=No songs\r\n");
        return 1;
    };
    expect_error(*commands.execute(request(1)), 4, 3, "No songs");

    program.reply = [this](auto, auto) {
        put("zeboutput.txt", "error=0\r\n");
        return 1;
    };
    expect_error(*commands.execute(request(1)), 2, 0, "Unable to get song list");

    // An input file that cannot be written ends the command before any message.
    scripted_program other;
    command_set broken(other, helper / "missing/");
    auto req = request(1);
    req.add_data(ITEM_DATA, "x");
    expect_error(*broken.execute(req), 1, 0, "Can't write input");
    EXPECT_TRUE(other.calls.empty());
}

TEST_F(ZebrixCommands, SongTextReturnsOutputAndOnlyPlainRequestedFiles) {
    put("outside.txt", "secret");
    program.reply = [this](auto, auto) {
        put("zeboutput.txt", "the song text");
        put("song.txt", "song body");
        return 1;
    };
    auto req = request(2, 3, 7);
    req.add_data(ITEM_DATA, "Name=x");
    auto* wanted = req.add_file_list();
    wanted->names = {"song.txt",
                     "absent.txt",
                     "../ZebHelper/outside.txt",
                     "/etc/hostname",
                     "sub\\outside.txt",
                     "C:outside.txt",
                     ".."};
    auto r = commands.execute(req);
    EXPECT_EQ(r->status, 1);
    EXPECT_EQ(data(*r), "the song text");
    EXPECT_EQ(program.calls, (std::vector<scripted_program::call>{{(3 << 16) | 2, 7}}));
    std::string input;
    zs::platform::read_file(helper / "zebinput.txt", input);
    EXPECT_EQ(input, "Mode=Remote\r\nWParam=2\r\nLParam=3\r\nName=x");
    auto* files = r->find_file_list();
    ASSERT_NE(files, nullptr);
    ASSERT_EQ(files->files.size(), 1u);
    EXPECT_EQ(files->files[0]->name, "song.txt");
    EXPECT_EQ(files->files[0]->content, "song body");
    // A handed-out file goes only once its reply is accepted for sending.
    EXPECT_TRUE(exists("song.txt"));
    commands.remove_handed_out();
    EXPECT_FALSE(exists("song.txt"));
    EXPECT_FALSE(exists("zeboutput.txt"));
    EXPECT_TRUE(exists("outside.txt"));

    // A name in the code page ("Café.txt") was taken as UTF-8 and never found.
    program.reply = [this](auto, auto) {
        put("zeboutput.txt", "the song text");
        put("Caf\xC3\xA9.txt", "cafe");
        return 1;
    };
    req = request(2, 3, 7);
    req.add_file_list()->names = {"Caf\xE9.txt"};
    r = commands.execute(req);
    files = r->find_file_list();
    ASSERT_NE(files, nullptr);
    ASSERT_EQ(files->files.size(), 1u);
    EXPECT_EQ(files->files[0]->name, "Caf\xE9.txt");
    EXPECT_EQ(files->files[0]->content, "cafe");

    // Each code's own failure texts (a table cell naming both hid a swap).
    for (const int code : {2, 3}) {
        program.reply = [](auto, auto) { return 1; }; // no output written
        expect_error(*commands.execute(request(code)), 2, 0, "Can't read output");
        program.reply = [](auto, auto) { return -1; };
        expect_error(*commands.execute(request(code)), 4, -1,
                     "zebw.exe is not fully running yet, or there is an open dialog box in "
                     "zebw.exe preventing responses");
    }
}

// A 16 MiB list of names cost the server a file object and a read each; a
// file larger than an answer may be was deleted and never arrived.
TEST_F(ZebrixCommands, SongTextBoundsItsNamesAndItsAnswer) {
    program.reply = [this](auto, auto) {
        put("zeboutput.txt", "the song text");
        return 1;
    };
    auto many = request(2);
    many.add_file_list()->names.assign(1001, "song.txt");
    expect_error(*commands.execute(many), 9, 0, "Too many file names in one request: at most 1000");
    EXPECT_NE(std::string(zs::protocol::TEXT_TOO_MANY_NAMES)
                  .find(std::to_string(zs::protocol::max_requested_names)),
              std::string::npos);
    EXPECT_TRUE(program.calls.empty()) << "refused before the program is asked";

    // The same file asked for under two spellings is read once.
    put("song.txt", "body");
    auto twice = request(2);
    twice.add_file_list()->names = {"song.txt", "SONG.TXT", "song.txt"};
    auto r = commands.execute(twice);
    ASSERT_EQ(r->status, 1);
    ASSERT_EQ(r->find_file_list()->files.size(), 1u);
    EXPECT_EQ(r->find_file_list()->files[0]->name, "song.txt");

    // Files that cannot fit into one answer are neither read nor deleted.
    put("take.bin", "");
    std::filesystem::resize_file(helper / "take.bin", zs::protocol::max_unsent_bytes + 1);
    auto large = request(3);
    large.add_file_list()->names = {"song.txt", "take.bin"};
    expect_error(*commands.execute(large), 9, 0,
                 "The answer would be larger than the 64 MiB limit; no file was deleted, ask for "
                 "fewer files");
    commands.remove_handed_out();
    EXPECT_TRUE(exists("take.bin"));
    EXPECT_TRUE(exists("song.txt"));
}

TEST_F(ZebrixCommands, SongTextNeverHandsOutOrDeletesTheServersOwnFiles) {
    command_set own{program, helper.path(), "ZebrixServer"};
    // Every protected name, asked for as written: each name dropped from the
    // list would be handed out (and deleted) here.
    const std::vector<std::string> kept = {
        "config.txt",    "OrvantaPath.txt",  "debug.txt",          "ZebrixServer_Strings.txt",
        "ZebrixServer",  "ZebrixServer.log", "ZebrixServer.log.1", "ZebrixServer.lock",
        "Uninstall.exe", "windows.txt",      "config.txt.tmp-77"};
    for (const auto& name : kept) {
        put(name, "own " + name);
    }
    // Devices by their Windows names, even where they are plain files.
    const std::vector<std::string> devices = {"AUX", "COM1.txt", "nul", "con.txt", "LPT9"};
    for (const auto& name : devices) {
        put(name, "own " + name);
    }
    put("target.txt", "linked");
    ASSERT_EQ(::symlink((helper / "target.txt").c_str(), (helper / "link.txt").c_str()), 0);
    // Another name of an own file, as Windows' short names are.
    ASSERT_EQ(::link((helper / "config.txt").c_str(), (helper / "CONFIG~1.TXT").c_str()), 0);
    ASSERT_TRUE(zs::platform::make_folders(helper / "folder/"));
    put("take.txt", "yours");
    program.reply = [this](auto, auto) {
        put("zeboutput.txt", "the song text");
        return 1;
    };
    auto req = request(2);
    req.add_data(ITEM_DATA, "Name=x");
    std::vector<std::string> asked = {"CONFIG.TXT",
                                      "orvantapath.TXT",
                                      "Debug.txt",
                                      "zebrixserver",
                                      "zebrixserver.LOG",
                                      "ZebInput.txt",
                                      "config.txt.",
                                      "config.txt ",
                                      "OrvantaPath.txt. . .",
                                      "ZebrixServer.log.",
                                      "CONFIG~1.TXT",
                                      "link.txt",
                                      "folder"};
    asked.insert(asked.end(), kept.begin(), kept.end());
    asked.insert(asked.end(), devices.begin(), devices.end());
    asked.push_back("take.txt");
    req.add_file_list()->names = asked;
    auto r = own.execute(req);
    own.remove_handed_out();
    ASSERT_EQ(r->status, 1);
    auto* files = r->find_file_list();
    ASSERT_NE(files, nullptr);
    ASSERT_EQ(files->files.size(), 1u);
    EXPECT_EQ(files->files[0]->name, "take.txt");
    EXPECT_EQ(files->files[0]->content, "yours");
    for (const auto& name : kept) {
        std::string content;
        ASSERT_TRUE(zs::platform::read_file(helper / name, content)) << name;
        EXPECT_EQ(content, "own " + name);
    }
    for (const auto& name : devices) {
        EXPECT_TRUE(exists(name)) << name;
    }
    EXPECT_TRUE(exists("CONFIG~1.TXT"));
    EXPECT_TRUE(exists("zebinput.txt"));
    EXPECT_TRUE(exists("link.txt"));
    EXPECT_TRUE(exists("target.txt"));
    EXPECT_TRUE(zs::platform::folder_exists(helper / "folder/"));
    EXPECT_FALSE(exists("take.txt"));

    // Another spelling that the case fallback would find is the same file.
    EXPECT_TRUE(is_server_file("ORVANTAPATH.TXT", "ZebrixServer"));
    EXPECT_FALSE(is_server_file("config.txt.bak", "ZebrixServer"));
    EXPECT_FALSE(is_server_file("song.txt", ""));
}

// A FIFO (on Windows a device) named in a request never holds the worker:
// opening one for reading waits for a writer, reading it for data.
TEST_F(ZebrixCommands, SongTextNeverWaitsOnAPipe) {
    ASSERT_EQ(::mkfifo((helper / "pipe.txt").c_str(), 0600), 0);
    program.reply = [this](auto, auto) {
        put("zeboutput.txt", "the song text");
        return 1;
    };
    auto req = request(3);
    req.add_file_list()->names = {"pipe.txt"};
    auto running = std::async(std::launch::async, [&] { return commands.execute(req); });
    if (running.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        ADD_FAILURE() << "the request waits on the pipe";
        // A writer that closes at once ends the wait, so the test can end.
        const int writer = ::open((helper / "pipe.txt").c_str(), O_WRONLY | O_NONBLOCK);
        ::close(writer);
    }
    auto r = running.get();
    ASSERT_EQ(r->status, 1);
    ASSERT_NE(r->find_file_list(), nullptr);
    EXPECT_TRUE(r->find_file_list()->files.empty());
    EXPECT_TRUE(exists("pipe.txt"));
}

TEST(PlainName, RejectsEverythingThatLeavesTheFolder) {
    for (const char* ok : {"song.txt", "a b.sty", "x..y"}) {
        EXPECT_EQ(zs::core::is_plain_name(ok, zs::core::name_controls::nul_refused),
                  std::string(ok) != "x..y")
            << ok;
    }
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "/abs", "C:x", "..\\x"}) {
        EXPECT_FALSE(zs::core::is_plain_name(bad, zs::core::name_controls::nul_refused)) << bad;
    }
}

TEST_F(ZebrixCommands, SimpleAndRawCodes) {
    for (int code : {4, 5, 6, 9, 10, 17, 22, 14, 21}) {
        SCOPED_TRACE(code);
        program.calls.clear();
        program.reply = [](auto, auto) { return 1; };
        auto r = commands.execute(request(code, 2, 9));
        EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(1, 1, 0));
        EXPECT_TRUE(r->empty());
        EXPECT_EQ(program.calls, (std::vector<scripted_program::call>{{(2 << 16) + code, 9}}));
        program.reply = [](auto, auto) { return 6; };
        const bool raw = code == 14 || code == 21;
        expect_error(*commands.execute(request(code)), 4, 6,
                     raw ? TEXT_NOT_IMPLEMENTED : TEXT_NOT_RUNNING);
    }
    for (int code : {0, 7, 8, 11, 15, 16, 18, 19, 20, 23, -1}) {
        program.calls.clear();
        expect_error(*commands.execute(request(code)), 3, 0, "Unknown command");
        EXPECT_TRUE(program.calls.empty()) << code;
    }
}

TEST_F(ZebrixCommands, SectionNamesDefaultTableOrProgramFile) {
    program.reply = [](std::int64_t w, auto) { return w == 15 ? 0 : 1; };
    auto r = commands.execute(request(12));
    EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(1, 0, 0));
    EXPECT_EQ(data(*r), "SectionName=1,Start (Play)\nSectionName=2,Intro\n"
                        "SectionName=3,First Chorus\nSectionName=4,Middle Chorus\n"
                        "SectionName=5,Last Chorus\nSectionName=6,End\nSectionName=7,\n"
                        "SectionName=8,\nSectionName=9,\nSectionName=10,\n");
    EXPECT_EQ(program.calls.size(), 1u); // no 12 sent

    program.calls.clear();
    program.reply = [this](auto, auto) {
        put("zeboutput.txt", "error=0\r\n");
        put("SectionNames.txt", "sectionname=1,Go\r\nSectionName=2,Stop\r\n");
        return 1;
    };
    r = commands.execute(request(12));
    EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(1, 1, 0));
    EXPECT_EQ(data(*r), "sectionname=1,Go\nsectionname=2,Stop\n");
    EXPECT_EQ(program.calls, (std::vector<scripted_program::call>{{15, 0}, {12, 0}}));
    EXPECT_TRUE(exists("SectionNames.txt")); // read, not consumed

    program.reply = [](std::int64_t w, auto) { return w == 15 ? -1 : 3; };
    expect_error(*commands.execute(request(12)), 4, 3, TEXT_NOT_RUNNING);
}

TEST_F(ZebrixCommands, TrackValuesNineMessagesOrStopAtFailure) {
    program.reply = [](auto, std::int64_t track) { return static_cast<std::int32_t>(50 + track); };
    auto r = commands.execute(request(13, 1));
    EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(1, 0, 0));
    EXPECT_EQ(data(*r), "Audio=58\nBass=50\nDrums=51\nGuitar=53\nMelody=55\nPiano=52\n"
                        "Soloist=56\nStrings=54\nThru=57\n");
    ASSERT_EQ(program.calls.size(), 9u);
    for (std::int64_t i = 0; i < 9; ++i) {
        EXPECT_EQ(program.calls[i], (scripted_program::call{(1 << 16) + 13, i}));
    }

    program.calls.clear();
    program.reply = [](auto, std::int64_t track) { return track == 2 ? 9999 : -1; };
    expect_error(*commands.execute(request(13)), 4, 9999, TEXT_NOT_RUNNING);
    EXPECT_EQ(program.calls.size(), 3u); // Bass, Drums, Piano
}
