// The command set against a scripted program: every handling pattern, its
// replies and the files it exchanges.
#include "net/wire.hpp"
#include "orvanta/orvanta_controller.hpp"
#include "platform/files.hpp"
#include "protocol/payload.hpp"
#include "tests/orvanta/fake_desktop.hpp"
#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

namespace {

using namespace std::chrono_literals;
using namespace zs;
using protocol::ITEM_DATA;
using protocol::ITEM_ERROR;
using protocol::ZebRequest;
using protocol::ZebResponse;

struct recording_sink final : orvanta::ov_rc_interface {
    std::vector<std::shared_ptr<ZebResponse>> got;
    protocol::send_outcome send_response(std::shared_ptr<ZebResponse> r) override {
        got.push_back(std::move(r));
        return protocol::send_outcome::accepted;
    }
    std::string data(std::size_t i, std::uint32_t type = ITEM_DATA) const {
        const auto* d = got.at(i)->find_data(type);
        return d != nullptr ? d->data : std::string("<none>");
    }
};

std::string read(const std::string& path) {
    std::string s;
    platform::read_file(path, s);
    return s;
}

struct CommandSet : ::testing::Test {
    test::temp_folder dir{"zs-ov"};
    std::string ov_dir = dir / "Orvanta/";
    test::fake_desktop desk;
    core::path_layout layout = core::path_layout::from_executable("/z/ZebHelper/S", "/");
    std::unique_ptr<orvanta::OV> ov;
    std::unique_ptr<orvanta::orvanta_controller> ctl;
    recording_sink sink;
    std::map<int, std::int64_t> replies; // code -> reply; others 1
    std::vector<std::int64_t> job_states = {1};
    std::size_t polls = 0;

    void SetUp() override {
        platform::make_folders(ov_dir + "OvHelper/");
        layout.set_orvanta_folder_source([this] { return ov_dir; });
        orvanta::ov_timing t;
        t.round_wait = t.poll_wait = t.start_wait = 1ms;
        t.polls = 6;
        ov = std::make_unique<orvanta::OV>(
            desk, [this] { return layout.orvanta_dir(); }, [] { return 500; }, t);
        ctl = std::make_unique<orvanta::orvanta_controller>(*ov, layout);
        desk.running_pid = 10;
        desk.program = [this](std::uint32_t, std::int64_t w, std::int64_t l, bool) {
            return answer(static_cast<int>(w & 0xFFFF), l);
        };
        ASSERT_TRUE(ctl->attach_client(&sink));
    }
    void TearDown() override { ctl->detach_client(&sink); }

    std::int64_t answer(int code, std::int64_t l) {
        const std::string h = ov_dir + "OvHelper/";
        if (code == 24) {
            return job_states[std::min(polls++, job_states.size() - 1)];
        }
        if (code == 1 || code == 102) {
            platform::write_file(h + "ovoutput.txt", "error=0\r\n");
            platform::write_file(h + "songlist.txt", "Song A\r\nCaf\xe9\r\n");
        } else if (code == 2 || code == 3) {
            platform::write_file(h + "ovoutput.txt", "the song text");
            platform::write_file(h + "song.txt", "song file");
        } else if (code == 10 && l == 500) {
            platform::write_file(h + "TrackNames.Txt", "T2=Bass\r\nt1=Drums\r\n");
        }
        const auto it = replies.find(code);
        return it == replies.end() ? 1 : it->second;
    }

    bool run(int command, int p1 = 0, int p2 = 0, const std::string* text = nullptr,
             std::vector<std::string> names = {}, int action = 1) {
        ZebRequest r;
        r.header = {2, 77, action, command, p1, p2, 0};
        if (text != nullptr) {
            r.add_data(ITEM_DATA, *text);
        }
        if (!names.empty()) {
            r.add_file_list()->names = names;
        }
        return ctl->execute_request(r);
    }

    void expect_error(std::size_t i, int code, int detail, const std::string& text) {
        ASSERT_LT(i, sink.got.size());
        EXPECT_EQ(sink.got[i]->action, 0);
        EXPECT_EQ(sink.got[i]->status, code);
        EXPECT_EQ(sink.got[i]->value, detail);
        EXPECT_EQ(sink.data(i, ITEM_ERROR), text);
    }
};

const std::string not_running = "zebw.exe is not fully running yet, or there is an open dialog "
                                "box in zebw.exe preventing responses";

TEST_F(CommandSet, UnknownCodesAndActionsAndTheEndOfASession) {
    for (int code : {7, 8, 18, 19, 24, 31, 33, 35, 36, 38, 41, 100, 0, -1, 103}) {
        EXPECT_TRUE(run(code));
    }
    EXPECT_TRUE(run(4, 0, 0, nullptr, {}, 2));
    ASSERT_EQ(sink.got.size(), 16u);
    for (std::size_t i = 0; i < sink.got.size(); ++i) {
        expect_error(i, 3, 0, "Unknown command");
        EXPECT_EQ(sink.got[i]->request_id, 77);
        EXPECT_EQ(sink.got[i]->kind, 2);
    }
    EXPECT_TRUE(desk.commands(24).empty()); // a client's 24 never reaches the program

    EXPECT_FALSE(run(4, 0, 0, nullptr, {}, 0));
    EXPECT_EQ(sink.got.back()->action, 1);
    EXPECT_EQ(sink.got.back()->status, 0);
    EXPECT_TRUE(sink.got.back()->empty());
}

TEST_F(CommandSet, PlainSendAndPostCarryTheProgramsAnswer) {
    replies[12] = 0;
    run(4, 2, 9);
    run(12);
    run(10, 1, 499);
    run(6, 1, 2);
    desk.post_works = false;
    run(6);
    ASSERT_EQ(sink.got.size(), 5u);
    EXPECT_EQ(sink.got[0]->status, 1);
    EXPECT_TRUE(sink.got[0]->empty());
    expect_error(1, 8, 0, not_running);
    EXPECT_EQ(sink.got[2]->status, 1);
    const auto tens = desk.commands(10);
    ASSERT_EQ(tens.size(), 1u);
    EXPECT_EQ(tens[0].wparam, (1 << 16) | 10);
    EXPECT_EQ(tens[0].lparam, 499);
    EXPECT_TRUE(desk.commands(6).at(0).posted);
    expect_error(4, 8, 0, not_running);
}

TEST_F(CommandSet, PostedJobPollsUntilFinishedThenSendsTheSongList) {
    job_states = {0, 0, 1};
    const std::string job = "job\ntext";
    run(1, 5, 6, &job);
    ASSERT_EQ(sink.got.size(), 1u);
    EXPECT_EQ(sink.got[0]->status, 1);
    EXPECT_EQ(sink.data(0), "Song A\r\nCaf\xc3\xa9\r\n"); // ANSI read as UTF-8
    EXPECT_EQ(read(ov_dir + "OvHelper/ovinput.txt"),
              "Mode=Remote\r\nWParam=1\r\nLParam=0\r\njob\r\ntext");
    EXPECT_EQ(desk.commands(24).size(), 3u);
    EXPECT_TRUE(desk.commands(1).at(0).posted);
    EXPECT_EQ(desk.commands(1).at(0).wparam, 1); // posted with both arguments 0

    // Without a text the previous input file stays.
    platform::write_file(ov_dir + "OvHelper/ovinput.txt", "kept");
    polls = 0;
    run(1);
    EXPECT_EQ(read(ov_dir + "OvHelper/ovinput.txt"), "kept");
    EXPECT_EQ(sink.got.size(), 2u);
}

TEST_F(CommandSet, PostedJobFailures) {
    job_states = {0, 5};
    run(1);
    expect_error(0, 8, 5, "Server response time out");
    EXPECT_EQ(desk.commands(24).size(), 2u); // stops at once on 5

    polls = 0;
    job_states = {0}; // never finishes: all 6 polls, last result 0
    run(1);
    expect_error(1, 8, 0, "Server response time out");
    EXPECT_EQ(desk.commands(24).size(), 8u);

    job_states = {1};
    desk.post_works = false;
    run(1);
    expect_error(2, 8, 0, "Answer from Orvanta != 1");
    desk.post_works = true;
}

TEST_F(CommandSet, OutputFileDecidesTheJobsOutcome) {
    // The program writes its files, then the test overrides the output before the poll answers.
    const std::string out = ov_dir + "OvHelper/ovoutput.txt";
    std::string next_output;
    desk.program = [&](std::uint32_t, std::int64_t w, std::int64_t l, bool) -> std::int64_t {
        const int code = static_cast<int>(w & 0xFFFF);
        std::int64_t r = answer(code, l);
        if (code == 24) {
            platform::write_file(out, next_output);
        }
        return r;
    };
    next_output = "error=7\r\nZebInputErrorString=\r\n";
    run(1);
    expect_error(0, 8, 7, "Unknown error");
    next_output = "Error=3\r\nzebinputerrorstring=No song\r\n";
    run(1);
    expect_error(1, 8, 3, "No song");
    next_output = "Error=0\r\n";
    run(1);
    EXPECT_EQ(sink.got[2]->status, 1);
    next_output = "nothing=1\r\n";
    run(1);
    expect_error(3, 2, 0, "Unknown error");

    next_output = "error=0";
    platform::remove_file(ov_dir + "OvHelper/songlist.txt");
    desk.program = [&](std::uint32_t, std::int64_t w, std::int64_t, bool) -> std::int64_t {
        if ((w & 0xFFFF) == 24) {
            platform::write_file(out, next_output);
        }
        return 1;
    };
    run(1);
    expect_error(4, 6, 0, "Unable to get song list");
}

TEST_F(CommandSet, SongTransferConvertsTheTextAndReturnsTheRequestedFiles) {
    const std::string text = "Caf\xc3\xa9";
    run(2, 4, 8, &text, {"a.sty", "b.sty"});
    ASSERT_EQ(sink.got.size(), 1u);
    EXPECT_EQ(read(ov_dir + "OvHelper/ovinput.txt"),
              "Mode=Remote\r\nWParam=2\r\nLParam=4\r\nCaf\xe9");
    EXPECT_EQ(desk.commands(2).at(0).wparam, (4 << 16) | 2);
    EXPECT_EQ(desk.commands(2).at(0).lparam, 8);
    EXPECT_EQ(sink.data(0), "the song text");
    const auto* files = sink.got[0]->find_file_list();
    ASSERT_NE(files, nullptr);
    ASSERT_EQ(files->files.size(), 2u);
    EXPECT_EQ(files->files[0]->name, "a.sty");
    EXPECT_EQ(files->files[1]->name, "b.sty");
    EXPECT_EQ(files->files[1]->content, "song file");

    // No names asked: no file item.
    run(3);
    EXPECT_EQ(sink.got[1]->find_file_list(), nullptr);
}

TEST_F(CommandSet, SongTransferFailures) {
    const std::string empty;
    run(2, 0, 0, &empty);
    expect_error(0, 5, 0, "Can't write input"); // a reply, not silence
    EXPECT_TRUE(desk.commands(2).empty());

    replies[3] = 4;
    run(3);
    expect_error(1, 8, 4, not_running);

    desk.program = [](std::uint32_t, std::int64_t, std::int64_t, bool) -> std::int64_t {
        return 1;
    };
    platform::remove_file(ov_dir + "OvHelper/ovoutput.txt");
    run(3);
    expect_error(2, 6, 0, "Can't read output");

    // 4 million names cost a gigabyte (song.txt read and copied for each):
    // a request names at most 1000, and no more copies than one answer holds.
    replies.clear();
    desk.program = [this](std::uint32_t, std::int64_t w, std::int64_t l, bool) {
        return answer(static_cast<int>(w & 0xFFFF), l);
    };
    const std::size_t sent = desk.commands(3).size();
    run(3, 0, 0, nullptr, std::vector<std::string>(1001, "s.sty"));
    expect_error(3, 9, 0, "Too many file names in one request: at most 1000");
    EXPECT_EQ(desk.commands(3).size(), sent) << "refused before the program is asked";
    run(3, 0, 0, nullptr, std::vector<std::string>(1000, "s.sty"));
    ASSERT_EQ(sink.got.size(), 5u);
    ASSERT_NE(sink.got[4]->find_file_list(), nullptr);
    EXPECT_EQ(sink.got[4]->find_file_list()->files.size(), 1000u);
    desk.program = [this](std::uint32_t, std::int64_t w, std::int64_t l, bool) -> std::int64_t {
        const auto r = answer(static_cast<int>(w & 0xFFFF), l);
        platform::write_file(ov_dir + "OvHelper/song.txt", std::string(70 * 1024, 's'));
        return r;
    };
    run(3, 0, 0, nullptr, std::vector<std::string>(1000, "s.sty"));
    expect_error(5, 9, 0,
                 "The answer would be larger than the 64 MiB limit; no file was deleted, ask for "
                 "fewer files");

    const std::string text = "x";
    platform::delete_folder_content(ov_dir, true); // no folder: the input cannot be written
    run(2, 0, 0, &text);
    expect_error(6, 5, 0, "Can't write input");
}

TEST_F(CommandSet, NameListsAreSerializedKeyValueFiles) {
    run(10, 9, 500);
    EXPECT_EQ(sink.data(0), "t1=Drums\nT2=Bass\n");
    EXPECT_EQ(desk.commands(10).at(0).wparam, 10); // first argument ignored
    replies[10] = 3;
    replies[28] = 0;
    run(10, 0, 500);
    run(28);
    run(10, 0, 499); // a plain send: its own text
    expect_error(1, 8, 3, "Zeb internal error");
    expect_error(2, 8, 0, not_running);
    expect_error(3, 8, 3, not_running);
}

TEST_F(CommandSet, SongStatusBlockKeepsEachCodesAnswersInItsOwnPlace) {
    // Each code answers its own values, so a block written in the wrong
    // place or for the wrong track shows.
    desk.program = [this](std::uint32_t, std::int64_t w, std::int64_t l, bool) -> std::int64_t {
        const int code = static_cast<int>(w & 0xFFFF);
        if (code == 36 || code == 31 || code == 38) {
            return code * 1000 + l;
        }
        return answer(code, l);
    };
    run(102);
    ASSERT_EQ(sink.got.size(), 2u);
    EXPECT_EQ(sink.got[1]->status, 1); // the posted job's song list follows
    const std::string bytes = sink.data(0);
    ASSERT_EQ(bytes.size(), 580u);
    auto word = [&](int i) {
        return net::read_word(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 4 * i);
    };
    EXPECT_EQ(word(0), 576);
    for (int track = 1; track <= 48; ++track) {
        EXPECT_EQ(word(track), 36000 + track);
        EXPECT_EQ(word(48 + track), 31000 + track);
        EXPECT_EQ(word(96 + track), 38000 + track);
    }
    for (int code : {36, 31, 38}) {
        const auto sent = desk.commands(code);
        ASSERT_EQ(sent.size(), 48u);
        EXPECT_EQ(sent.front().lparam, 1);
        EXPECT_EQ(sent.back().lparam, 48);
        EXPECT_FALSE(sent.front().posted);
    }
}

TEST_F(CommandSet, TrackNameUpload) {
    const std::string names = "Drums\nBass";
    run(40, 1, 2, &names);
    EXPECT_EQ(read(ov_dir + "OvHelper/Track_Name.txt"), "Drums\r\nBass");
    EXPECT_EQ(sink.got[0]->status, 1);
    replies[40] = 9;
    run(40);
    expect_error(1, 8, 9, "Answer from Orvanta != 1");
}

TEST_F(CommandSet, OneClientAtATimeAndEventsNumberedEvenWhenDropped) {
    recording_sink other;
    EXPECT_FALSE(ctl->attach_client(&other));
    ctl->forward_event(100, 1, 2);
    ctl->detach_client(&other); // not the holder: changes nothing
    ctl->forward_event(6, 3, 4);
    ASSERT_EQ(sink.got.size(), 2u);
    EXPECT_EQ(sink.got[0]->kind, 1);
    EXPECT_EQ(sink.got[0]->request_id, 0);
    EXPECT_EQ(sink.got[0]->action, 100);
    EXPECT_EQ(sink.got[0]->status, 1);
    EXPECT_EQ(sink.got[0]->value, 2);
    EXPECT_EQ(sink.got[1]->action, 6);

    run(4); // linked: the detach has a window to withdraw from
    sink.got.pop_back();
    ctl->detach_client(&sink);
    const auto regs = desk.commands(19);
    EXPECT_TRUE(std::any_of(regs.begin(), regs.end(), [](auto& m) { return m.lparam == 0; }));
    ctl->forward_event(7, 0, 0); // dropped, but counted
    ASSERT_TRUE(ctl->attach_client(&other));
    ctl->forward_event(8, 0, 0);
    ASSERT_EQ(other.got.size(), 1u);
    EXPECT_EQ(other.got[0]->request_id, 3);
    ctl->detach_client(&other);
    ASSERT_TRUE(ctl->attach_client(&sink));
}

TEST_F(CommandSet, AnEventDuringACommandComesAfterItsReplyWithoutBlocking) {
    desk.program = [&](std::uint32_t, std::int64_t w, std::int64_t, bool) -> std::int64_t {
        if ((w & 0xFFFF) == 4) {
            // The main thread forwards while the command holds the lock; it must return.
            std::thread main_thread([&] { ctl->forward_event(5, 1, 1); });
            main_thread.join();
            EXPECT_TRUE(sink.got.empty());
        }
        return 1;
    };
    run(4);
    ASSERT_EQ(sink.got.size(), 2u);
    EXPECT_EQ(sink.got[0]->kind, 2);
    EXPECT_EQ(sink.got[1]->kind, 1);
    EXPECT_EQ(sink.got[1]->action, 5);
}

} // namespace
