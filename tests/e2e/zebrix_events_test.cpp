// Notifications of zebw.exe reach the attached client as events; with no
// client attached they are dropped but still use up an event id. Also the
// zebrix-client command against the same server.
#include "zebrix_e2e.hpp"

namespace {

using namespace zs;
using namespace zs::test;

using ZebrixEvents = zebrix_e2e;

TEST_F(ZebrixEvents, EventsCarryTheNextIdAndDropWithoutAClient) {
    behave("notify.4=1287,11,-22\n");
    rc_client c;
    ASSERT_TRUE(c.open(server.tcp_port()) && c.controls());
    auto r = c.call(4);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 1);
    auto e = c.next_event(); // posted by the program after the command
    ASSERT_TRUE(e);
    EXPECT_EQ(std::tie(e->kind, e->request_id, e->action, e->status, e->value),
              std::make_tuple(protocol::MSG_EVENT, 0, 1, 11, -22));
    EXPECT_TRUE(e->empty());

    // Posted from outside, as any program on the desktop may.
    const auto window = std::to_string(main_window());
    std::string out, err;
    ASSERT_EQ(run_program(server.desktop_tool({"post", window, "1287", "5", "6"}),
                          server.environment(), out, err),
              0)
        << err;
    e = c.next_event();
    ASSERT_TRUE(e);
    EXPECT_EQ(std::tie(e->request_id, e->status, e->value), std::make_tuple(1, 5, 6));

    // Leaving frees the controller; its release (19) shows when it is done.
    c.s.close();
    ASSERT_TRUE(eventually([&] { return commands_logged(19).size() == 1; }));

    ASSERT_EQ(run_program(server.desktop_tool({"post", window, "1287", "7", "8"}),
                          server.environment(), out, err),
              0);
    EXPECT_TRUE(eventually(
        [&] { return server.stderr_text().find("zebrix event 2 dropped") != std::string::npos; }));

    auto later = take_control(server.tcp_port());
    ASSERT_TRUE(later);
    r = later->call(4);
    ASSERT_TRUE(r);
    e = later->next_event();
    ASSERT_TRUE(e);
    EXPECT_EQ(std::tie(e->request_id, e->status, e->value), std::make_tuple(3, 11, -22));
}

// Runs zebrix-client; a run that meets the previous one still leaving is repeated.
int run_client(const staged_server& server, std::vector<std::string> args, std::string& out,
               std::string& err) {
    args.insert(args.begin(), server.client_path());
    int code = -1;
    for (int attempt = 0; attempt < 50; ++attempt) {
        code = run_program(args, server.environment(), out, err);
        if (code != 3 || err.find("held by another client") == std::string::npos) {
            break;
        }
        std::this_thread::sleep_for(100ms);
    }
    return code;
}

TEST_F(ZebrixEvents, ClientCommandPrintsReplySavesFilesAndWaitsForEvents) {
    behave("notify.5=1287,1,2\n");
    temp_folder out_dir("zc-out");
    std::string out, err;
    int code = run_client(server,
                          {"--json", "zebrix", "2", "--first", "4", "--text", "Song=4", "--want",
                           "song.txt", "--want", "../x", "--out", out_dir.path()},
                          out, err);
    ASSERT_EQ(code, 0) << err;
    EXPECT_NE(out.find("\"kind\":\"reply\",\"request_id\":1,\"action\":1,\"status\":1"),
              std::string::npos)
        << out;
    std::string saved;
    ASSERT_TRUE(platform::read_file(out_dir / "song.txt", saved));
    EXPECT_NE(saved.find("Number=4"), std::string::npos);

    code = run_client(server, {"zebrix", "5", "--events", "1"}, out, err);
    ASSERT_EQ(code, 0) << err;
    EXPECT_NE(out.find("reply id=1 action=1 status=1 value=0"), std::string::npos) << out;
    EXPECT_NE(out.find("event id="), std::string::npos) << out;
    EXPECT_NE(out.find("status=1 value=2"), std::string::npos) << out;

    code = run_client(server, {"zebrix", "7"}, out, err);
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.find("Unknown command"), std::string::npos) << out;
}

} // namespace
