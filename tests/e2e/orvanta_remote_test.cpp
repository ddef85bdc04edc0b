// Orvanta remote control through the staged server and the stand-in
// orvanta.exe: client binding, command patterns, output errors and events.
#include "client/client_session.hpp"
#include "net/wire.hpp"
#include "platform/desktop.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "protocol/payload.hpp"
#include "tests/support/staged_server.hpp"

#include <algorithm>
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <tuple>

namespace {

using namespace std::chrono_literals;
using zs::client::session;
using zs::protocol::ITEM_DATA;
using zs::protocol::ITEM_ERROR;
using zs::protocol::ZebResponse;
namespace platform = zs::platform;

class OrvantaRemote : public testing::Test {
protected:
    void TearDown() override {
        server.stop();
        // The program outlives the server by design; the test ends it.
        for (const auto& w : server.windows()) {
            server.end_program(w.pid);
        }
    }

    void start(const std::string& behaviour = "") {
        platform::write_file(server.orvanta_dir() + "orvanta.exe.behaviour", behaviour);
        ASSERT_TRUE(server.start());
    }

    // Logs in as client type 2; the server's answer to taking control (1 or 0).
    std::optional<std::int32_t> take_control(session& s, std::int32_t type = 2) {
        if (!s.open_protocol1("127.0.0.1", server.tcp_port(), "kxvwq")) {
            return std::nullopt;
        }
        const auto first = s.choose_client_type(type);
        if (first != 1) {
            return std::nullopt;
        }
        return s.read_word();
    }

    static std::shared_ptr<ZebResponse> command(session& s, std::int32_t id, std::int32_t code,
                                                std::int32_t p1 = 0, std::int32_t p2 = 0,
                                                const zs::protocol::item_list* items = nullptr) {
        if (!s.send_request({2, id, 1, code, p1, p2, 0}, items)) {
            return nullptr;
        }
        return s.read_response();
    }

    static std::string data(const std::shared_ptr<ZebResponse>& r, std::uint32_t type = ITEM_DATA) {
        const auto* d = r ? r->find_data(type) : nullptr;
        return d != nullptr ? d->data : "<none>";
    }

    static void expect_error(const std::shared_ptr<ZebResponse>& r, int code, int detail,
                             const std::string& text) {
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->kind, 2);
        EXPECT_EQ(r->action, 0);
        EXPECT_EQ(r->status, code);
        EXPECT_EQ(r->value, detail);
        EXPECT_EQ(data(r, ITEM_ERROR), text);
    }

    std::string message_log() {
        std::string text;
        platform::read_file(server.orvanta_dir() + "orvanta.exe.log", text);
        return text;
    }

    zs::test::staged_server server;
};

TEST_F(OrvantaRemote, OneClientOnEachProgramAndASecondOrvantaClientRefused) {
    start();
    session zebrix(30s), orvanta(30s), second(30s);
    EXPECT_EQ(take_control(zebrix, 1), 1);
    ASSERT_EQ(take_control(orvanta), 1);
    EXPECT_EQ(take_control(second), 0);
    EXPECT_TRUE(second.wait_closed());

    const auto r = command(orvanta, 5, 4, 1, 2);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->request_id, 5);
    EXPECT_EQ(r->action, 1);
    EXPECT_EQ(r->status, 1);
    EXPECT_NE(message_log().find("sent 1286 65540 2 1\n"), std::string::npos);

    // Ending the session frees the binding for the next client.
    ASSERT_TRUE(orvanta.send_request({2, 6, 0, 0, 0, 0, 0}));
    const auto bye = orvanta.read_response();
    ASSERT_NE(bye, nullptr);
    EXPECT_EQ(bye->action, 1);
    EXPECT_EQ(bye->status, 0);
    EXPECT_TRUE(orvanta.wait_closed());
    session third(30s);
    EXPECT_EQ(take_control(third), 1);
}

TEST_F(OrvantaRemote, CommandPatternsAgainstTheProgram) {
    start("reply.12=0\n");
    session s(30s);
    ASSERT_EQ(take_control(s), 1);
    expect_error(command(s, 1, 7), 3, 0, "Unknown command");
    expect_error(command(s, 2, 24), 3, 0, "Unknown command");

    auto plain = command(s, 3, 10, 3, 499);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->status, 1);
    EXPECT_TRUE(plain->empty());
    const auto tracks = command(s, 4, 10, 3, 500);
    EXPECT_EQ(data(tracks), "Track1=Drums\nTrack2=Bass\nTrack3=Guitar\nTrack4=Vocals\n");
    expect_error(command(s, 5, 12), 8, 0,
                 "zebw.exe is not fully running yet, or there is an open dialog box in zebw.exe "
                 "preventing responses");
    EXPECT_EQ(data(command(s, 6, 28)), "Section1=Intro\nSection2=Verse\nSection3=Chorus\n");

    const std::string log = message_log();
    EXPECT_NE(log.find("sent 1286 196618 499 1\n"), std::string::npos); // (3 << 16) | 10
    EXPECT_NE(log.find("sent 1286 10 500 1\n"), std::string::npos);
    EXPECT_EQ(log.find("sent 1286 24 "), std::string::npos); // the client's 24 never went out
    EXPECT_NE(log.find("sent 1283 0 0 259\n"), std::string::npos);
}

TEST_F(OrvantaRemote, PostedJobsSongStatusBlockAndTheirErrors) {
    start("reply.24=5\n");
    session s(30s);
    ASSERT_EQ(take_control(s), 1);
    expect_error(command(s, 1, 1), 8, 5, "Server response time out");

    platform::write_file(server.orvanta_dir() + "orvanta.exe.behaviour", "error.1=7,\n");
    expect_error(command(s, 2, 1), 8, 7, "Unknown error");

    platform::write_file(server.orvanta_dir() + "orvanta.exe.behaviour", "");
    // The block's 48-word thirds in the order 36, 31, 38: by default each
    // answer is its track number, then each code answers a value of its own.
    for (const auto& [id, first, second, third] :
         std::vector<std::tuple<int, int, int, int>>{{3, 0, 0, 0}, {4, 3600, 3100, 3800}}) {
        if (first != 0) {
            platform::write_file(server.orvanta_dir() + "orvanta.exe.behaviour",
                                 "reply.36=" + std::to_string(first) +
                                     "\nreply.31=" + std::to_string(second) +
                                     "\nreply.38=" + std::to_string(third) + "\n");
        }
        const auto block = command(s, id, 102);
        ASSERT_NE(block, nullptr);
        const auto list = s.read_response();
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(block->request_id, id);
        EXPECT_EQ(list->request_id, id);
        const std::string bytes = data(block);
        ASSERT_EQ(bytes.size(), 580u);
        auto word = [&](int i) {
            return zs::net::read_word(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 4 * i);
        };
        EXPECT_EQ(word(0), 576);
        for (int i = 1; i <= 48; ++i) {
            EXPECT_EQ(word(i), first != 0 ? first : i) << "code 36, track " << i;
            EXPECT_EQ(word(48 + i), second != 0 ? second : i) << "code 31, track " << i;
            EXPECT_EQ(word(96 + i), third != 0 ? third : i) << "code 38, track " << i;
        }
        EXPECT_EQ(list->status, 1);
        EXPECT_EQ(data(list), "1=Multitrack Demo\r\n2=Live Session\r\n3=Band Rehearsal\r\n4=Caf"
                              "\xC3\xA9 Session\r\n");
    }
    EXPECT_NE(message_log().find("posted 1286 102 0 -\n"), std::string::npos);
}

TEST_F(OrvantaRemote, FolderQueryWhileNoProgramRuns) {
    const std::string empty_folder = server.root() + "NoOrvanta/";
    platform::make_folders(empty_folder);
    // The Windows server sees the folder through Wine's Z: drive. A path
    // without the program's name is handed out as written, never lower-cased.
    std::string configured = empty_folder;
    if (zs::test::windows_stage()) {
        configured = "Z:" + empty_folder;
        std::replace(configured.begin(), configured.end(), '/', '\\');
    }
    const std::string expected = configured;
    platform::write_file(server.helper_dir() + "OrvantaPath.txt",
                         "OrvantaPath=" + configured + "\r\n");
    start();
    session s(30s);
    ASSERT_EQ(take_control(s), 1);
    EXPECT_EQ(data(command(s, 1, 101)), expected);
    expect_error(command(s, 2, 4), 8, -1,
                 "zebw.exe is not fully running yet, or there is an open dialog box in zebw.exe "
                 "preventing responses");
    EXPECT_TRUE(server.windows().size() <= 1u); // the server's own
}

TEST_F(OrvantaRemote, EventsReachTheClientAfterTheReply) {
    start("notify.4=1025,11,22\nnotify.5=1030,33,44\n");
    session s(30s);
    ASSERT_EQ(take_control(s), 1);
    std::vector<std::shared_ptr<ZebResponse>> frames;
    for (int code : {4, 5}) {
        ASSERT_TRUE(s.send_request({2, code, 1, code, 0, 0, 0}));
        for (int i = 0; i < 2; ++i) {
            frames.push_back(s.read_response());
            ASSERT_NE(frames.back(), nullptr);
        }
    }
    EXPECT_EQ(frames[0]->kind, 2);
    EXPECT_EQ(frames[1]->kind, 1);
    EXPECT_EQ(frames[1]->action, 100);
    EXPECT_EQ(frames[1]->status, 11);
    EXPECT_EQ(frames[1]->value, 22);
    EXPECT_EQ(frames[3]->kind, 1);
    EXPECT_EQ(frames[3]->action, 6);
    EXPECT_EQ(frames[3]->status, 33);
    EXPECT_EQ(frames[3]->value, 44);
    EXPECT_EQ(frames[3]->request_id, frames[1]->request_id + 1);
}

TEST_F(OrvantaRemote, ClientCommandFetchesSongFilesAndEvents) {
    start("notify.3=1027,1,2\n");
    std::string out, err;
    const std::string client = server.client_path();
    int code = zs::test::run_program({client, "--json", "orvanta", "2", "--text", "Caf\xc3\xa9",
                                      "--want", "one.sng", "--want", "two.sng"},
                                     server.environment(), out, err);
    EXPECT_EQ(code, 0) << err;
    EXPECT_NE(out.find("\"name\":\"one.sng\",\"content\":\"[Song]"), std::string::npos) << out;
    EXPECT_NE(out.find("\"name\":\"two.sng\",\"content\":\"[Song]"), std::string::npos) << out;
    EXPECT_NE(out.find("\"type\":\"data\""), std::string::npos) << out;
    std::string input;
    platform::read_file(server.orvanta_dir() + "OvHelper/ovinput.txt", input);
    EXPECT_EQ(input, "Mode=Remote\r\nWParam=2\r\nLParam=0\r\nCaf\xe9");

    code = zs::test::run_program({client, "orvanta", "3", "--events", "1"}, server.environment(),
                                 out, err);
    EXPECT_EQ(code, 0) << err;
    EXPECT_NE(out.find("event id=0 action=3 status=1 value=2"), std::string::npos) << out;

    code = zs::test::run_program({client, "orvanta", "8"}, server.environment(), out, err);
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.find("Unknown command"), std::string::npos) << out;
}

} // namespace
