// Zebrix remote control through the staged server and the stand-in zebw.exe:
// who gets control, what the program receives, and the command patterns.
#include "zebrix_e2e.hpp"

namespace {

using namespace zs;
using namespace zs::test;
using protocol::ITEM_DATA;
using protocol::ITEM_ERROR;

const char not_running[] = "zebw.exe is not fully running yet, or there is an open dialog box "
                           "in zebw.exe preventing responses";

using ZebrixControl = zebrix_e2e;

TEST_F(ZebrixControl, OneClientHoldsControlUntilItLeaves) {
    rc_client first;
    ASSERT_TRUE(first.open(server.tcp_port()));
    EXPECT_TRUE(first.controls());

    rc_client second;
    ASSERT_TRUE(second.open(server.tcp_port()));
    EXPECT_EQ(second.first_word, 1);
    EXPECT_EQ(second.second_word, 0);
    const auto refused_at = std::chrono::steady_clock::now();
    std::size_t extra = 99;
    EXPECT_TRUE(second.s.wait_closed(&extra));
    EXPECT_EQ(extra, 0u);
    std::printf("refused client closed %lld ms after its 0\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - refused_at)
                                           .count()));

    auto r = first.call(4); // the refused client changed nothing
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->kind, r->request_id, r->action, r->status, r->value),
              std::make_tuple(protocol::MSG_RESPONSE, 1, 1, 1, 0));

    first.s.close();
    // The session ends after its close pause; then control is free again.
    auto third = take_control(server.tcp_port());
    ASSERT_TRUE(third);

    // Action 0: the empty reply, then the session ends and frees the controller.
    r = third->call(0, 0, 0, nullptr, 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->kind, r->action, r->status, r->value),
              std::make_tuple(protocol::MSG_RESPONSE, 1, 0, 0));
    EXPECT_TRUE(r->empty());
    EXPECT_TRUE(third->s.wait_closed());
    EXPECT_TRUE(take_control(server.tcp_port()));
}

TEST_F(ZebrixControl, ProgramSeesPingRegistrationAndPackedParameters) {
    rc_client c;
    ASSERT_TRUE(c.open(server.tcp_port()) && c.controls());
    auto r = c.call(4, 3, 7);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 1);
    r = c.call(5);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 1);

    const auto pings = commands_logged(16);
    ASSERT_FALSE(pings.empty());
    EXPECT_EQ(pings.front().reply, "7");
    const auto registration = commands_logged(18);
    ASSERT_EQ(registration.size(), 1u); // once, by the call that started the program
    EXPECT_EQ(registration[0].lparam, main_window());
    EXPECT_NE(registration[0].lparam, 0);

    const auto four = commands_logged(4);
    ASSERT_EQ(four.size(), 1u);
    EXPECT_EQ(four[0].wparam, (3LL << 16) | 4);
    EXPECT_EQ(four[0].lparam, 7);
    const auto five = commands_logged(5);
    ASSERT_EQ(five.size(), 1u);
    EXPECT_EQ(five[0].wparam, 5);
    EXPECT_EQ(five[0].lparam, 0);

    c.s.close();
    // Leaving releases the program (19, lParam 0) without ending it.
    EXPECT_TRUE(eventually([&] { return commands_logged(19).size() == 1; }));
    EXPECT_EQ(commands_logged(19)[0].lparam, 0);
}

TEST_F(ZebrixControl, SongListAndSongTextWithRequestedFiles) {
    ASSERT_TRUE(platform::write_file(server.zebrix_dir() + "outside.txt", "keep me"));
    rc_client c;
    ASSERT_TRUE(c.open(server.tcp_port()) && c.controls());

    auto r = c.call(1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 1);
    EXPECT_EQ(data_of(*r, ITEM_DATA),
              "1=Demo Song One\r\n2=Demo Song Two\r\n3=Demo Song Three\r\n4=Canci\xF3n "
              "Cuatro\r\n");
    EXPECT_FALSE(platform::file_exists(server.helper_dir() + "songlist.txt"));

    protocol::item_list items;
    items.add_data(ITEM_DATA, "Song=3\n");
    // Names come in the code page: "Canción.txt".
    items.add_file_list()->names = {"song.txt",        "absent.txt",
                                    "../outside.txt",  server.zebrix_dir() + "outside.txt",
                                    "..\\outside.txt", "Canci\xF3n.txt"};
    r = c.call(2, 3, 7, &items);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(1, 1, 0));
    EXPECT_NE(data_of(*r, ITEM_DATA).find("Title=Demo Song 3"), std::string::npos);
    const auto* files = r->find_file_list();
    ASSERT_NE(files, nullptr);
    ASSERT_EQ(files->files.size(), 2u);
    EXPECT_EQ(files->files[0]->name, "song.txt");
    EXPECT_NE(files->files[0]->content.find("Number=3"), std::string::npos);
    EXPECT_EQ(files->files[1]->name, "Canci\xF3n.txt");
    EXPECT_EQ(files->files[1]->content, "T\xEDtulo=Demo\r\n");
    // Deleted once the answer was accepted for sending, which may be just
    // after the client has it.
    EXPECT_TRUE(
        eventually([&] { return !platform::file_exists(server.helper_dir() + "song.txt"); }));
    std::string outside;
    ASSERT_TRUE(platform::read_file(server.zebrix_dir() + "outside.txt", outside));
    EXPECT_EQ(outside, "keep me");

    std::string input;
    ASSERT_TRUE(platform::read_file(server.helper_dir() + "zebinput.txt", input));
    EXPECT_EQ(input, "Mode=Remote\r\nWParam=2\r\nLParam=3\r\nSong=3\r\n");
    const auto two = commands_logged(2);
    ASSERT_EQ(two.size(), 1u);
    EXPECT_EQ(two[0].wparam, (3LL << 16) | 2);
    EXPECT_EQ(two[0].lparam, 7);

    // A failure the program reports in its output file.
    behave("error.1=6,Song folder missing\n");
    r = c.call(1);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(0, 4, 6));
    EXPECT_EQ(data_of(*r, ITEM_ERROR), "Song folder missing");
}

TEST_F(ZebrixControl, SectionNamesFromProgramOrDefaultTable) {
    rc_client c;
    ASSERT_TRUE(c.open(server.tcp_port()) && c.controls());
    auto r = c.call(12);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(1, 1, 0));
    EXPECT_EQ(data_of(*r, ITEM_DATA), "SectionName=1,Intro\nSectionName=2,Verse\n"
                                      "SectionName=3,Chorus\nSectionName=4,Ending\n");

    behave("reply.15=0\n");
    const auto twelves = commands_logged(12).size();
    r = c.call(12);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(1, 0, 0));
    EXPECT_EQ(data_of(*r, ITEM_DATA),
              "SectionName=1,Start (Play)\nSectionName=2,Intro\nSectionName=3,First Chorus\n"
              "SectionName=4,Middle Chorus\nSectionName=5,Last Chorus\nSectionName=6,End\n"
              "SectionName=7,\nSectionName=8,\nSectionName=9,\nSectionName=10,\n");
    EXPECT_EQ(commands_logged(12).size(), twelves); // no 12 sent
}

TEST_F(ZebrixControl, TrackValuesAndAFailureAtPiano) {
    rc_client c;
    ASSERT_TRUE(c.open(server.tcp_port()) && c.controls());
    auto r = c.call(13, 2);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(1, 0, 0));
    EXPECT_EQ(data_of(*r, ITEM_DATA), "Audio=58\nBass=50\nDrums=51\nGuitar=53\nMelody=55\n"
                                      "Piano=52\nSoloist=56\nStrings=54\nThru=57\n");
    const auto tracks = commands_logged(13);
    ASSERT_EQ(tracks.size(), 9u);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        EXPECT_EQ(tracks[i].wparam, (2LL << 16) + 13);
        EXPECT_EQ(tracks[i].lparam, static_cast<long long>(i));
    }

    // The program reads its behaviour at each message; each track message
    // takes a second, so the failure is switched on while Drums is handled.
    behave("delay_ms.13=1000\n");
    std::thread ask([&] { r = c.call(13); });
    const bool bass_done = eventually([&] { return commands_logged(13).size() == 10; });
    std::this_thread::sleep_for(400ms);
    behave("delay_ms.13=1000\nreply.13=9999\n");
    ask.join();
    ASSERT_TRUE(bass_done);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(0, 4, 9999));
    EXPECT_EQ(data_of(*r, ITEM_ERROR), not_running);
    const auto second_run = commands_logged(13);
    ASSERT_EQ(second_run.size(), 9u + 3u); // Bass, Drums, Piano; nothing after
    EXPECT_EQ(second_run.back().lparam, 2);
    EXPECT_EQ(second_run.back().reply, "9999");
}

TEST_F(ZebrixControl, UnknownCodesAndActionsSendNothing) {
    rc_client c;
    ASSERT_TRUE(c.open(server.tcp_port()) && c.controls());
    auto r = c.call(7);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(0, 3, 0));
    EXPECT_EQ(data_of(*r, ITEM_ERROR), "Unknown command");
    r = c.call(4, 0, 0, nullptr, 2);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->status), std::make_tuple(0, 3));
    EXPECT_TRUE(commands_logged(7).empty());
    EXPECT_TRUE(commands_logged(4).empty());
}

class ZebrixNotInstalled : public zebrix_e2e {
    void prepare() override { platform::remove_file(server.zebrix_dir() + "zebw.exe"); }
};

TEST_F(ZebrixNotInstalled, CommandsFailWithMinusOne) {
    rc_client c;
    ASSERT_TRUE(c.open(server.tcp_port()) && c.controls());
    const auto start = std::chrono::steady_clock::now();
    auto r = c.call(4);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->status, r->value), std::make_tuple(0, 4, -1));
    EXPECT_EQ(data_of(*r, ITEM_ERROR), not_running);
    std::printf("command without an installed program answered in %lld ms\n",
                static_cast<long long>(took.count()));
    r = c.call(13);
    ASSERT_TRUE(r);
    EXPECT_EQ(data_of(*r, ITEM_DATA), "Audio=-1\nBass=-1\nDrums=-1\nGuitar=-1\nMelody=-1\n"
                                      "Piano=-1\nSoloist=-1\nStrings=-1\nThru=-1\n");
}

} // namespace
