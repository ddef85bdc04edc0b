// The driver's search, probe and registration, and the controller's rules.
#include "core/server_log.hpp"
#include "fake_zebw.hpp"
#include "platform/files.hpp"
#include "protocol/reply_texts.hpp"
#include "tests/support/temp_folder.hpp"
#include "zebrix/program_interface.hpp"
#include "zebrix/zebrix_controller.hpp"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace zs::zebrix;
using zs::test::fake_zebw;
using zs::test::sent_message;

namespace {

struct rig {
    std::shared_ptr<fake_zebw::state> program = std::make_shared<fake_zebw::state>();
    ZEBW driver{"/nowhere/", std::make_unique<fake_zebw>(program), zs::test::fast_timing()};
    std::vector<sent_message> log() {
        std::lock_guard<std::mutex> l(program->lock);
        return program->log;
    }
};

// Takes replies up to `limit` bytes, as a session with that unsent limit does.
struct recording_sink final : zebw_rc_interface {
    std::vector<std::shared_ptr<zs::protocol::ZebResponse>> got;
    std::size_t limit = zs::protocol::max_unsent_bytes;
    zs::protocol::send_outcome
    send_response(std::shared_ptr<zs::protocol::ZebResponse> r) override {
        if (zs::protocol::response_header_size + r->body_length() > limit) {
            return zs::protocol::send_outcome::too_large;
        }
        got.push_back(std::move(r));
        return zs::protocol::send_outcome::accepted;
    }
};

// Answers every command with 1 after writing the output file.
struct answering_program final : zebw_target {
    std::string helper;
    std::int32_t send_command(std::int32_t, std::int32_t, std::int32_t) override {
        zs::platform::write_file(helper + "zeboutput.txt", "out");
        return 1;
    }
    std::int32_t send_raw(std::int64_t, std::int64_t) override { return 1; }
};

std::string log_text(const zs::test::temp_folder& dir) {
    std::string text;
    zs::platform::read_file(dir / zs::core::server_log::file_name, text);
    return text;
}

zs::protocol::ZebRequest request(int action, int command, int id = 9) {
    zs::protocol::ZebRequest r;
    r.header.kind = zs::protocol::MSG_REQUEST;
    r.header.request_id = id;
    r.header.action = action;
    r.header.command = command;
    return r;
}

} // namespace

TEST(ZebwDriver, StartsLinksRegistersOnceAndPacksParameters) {
    rig r;
    r.driver.set_notify_window([] { return 31337; });
    EXPECT_EQ(r.driver.send_command(3, 2, 7), 1);
    EXPECT_EQ(r.program->starts, 1);
    const std::vector<sent_message> expected = {
        {WM_ZEBW_COMMAND, 16, 0},
        {WM_ZEBW_COMMAND, 18, 31337},
        {WM_ZEBW_COMMAND, (3 << 16) | 2, 7},
    };
    EXPECT_EQ(r.log(), expected);
    EXPECT_TRUE(r.driver.is_connected());

    // Linked: no new search, ping or registration.
    EXPECT_EQ(r.driver.send_command(0, 1, 0), 1);
    EXPECT_EQ(r.log().size(), 4u);
    EXPECT_EQ(r.log().back(), (sent_message{WM_ZEBW_COMMAND, 1, 0}));
}

TEST(ZebwDriver, NotInstalledGivesMinusOneWithoutWaiting) {
    rig r;
    r.program->installed = false;
    EXPECT_EQ(r.driver.send_command(0, 4, 0), -1);
    EXPECT_FALSE(r.driver.is_connected());
    EXPECT_TRUE(r.log().empty());
}

TEST(ZebwDriver, NoWindowMeansNotLinkedAndNoLaterRegistration) {
    rig r;
    r.program->running = true; // found, not started
    r.program->has_window = false;
    EXPECT_EQ(r.driver.send_command(0, 4, 0), -1);
    EXPECT_EQ(r.program->starts, 0);
    EXPECT_TRUE(r.log().empty());

    r.program->has_window = true; // the process is known: found now, but not registered
    EXPECT_EQ(r.driver.send_command(0, 4, 0), 1);
    const std::vector<sent_message> expected = {{WM_ZEBW_COMMAND, 16, 0}, {WM_ZEBW_COMMAND, 4, 0}};
    EXPECT_EQ(r.log(), expected);
}

TEST(ZebwDriver, SilentWindowIsProbedSixtyTimesThenUsed) {
    rig r;
    r.program->procedure = [](const sent_message& m) -> std::int64_t {
        return (m.wparam & 0xFFFF) == 16 ? 0 : 5;
    };
    EXPECT_EQ(r.driver.send_command(0, 9, 0), 5); // the refusal reaches the caller
    const auto log = r.log();
    ASSERT_EQ(log.size(), 1u + 60u + 1u); // ping, 60 repeats, command; never registered
    EXPECT_EQ(log[60], (sent_message{WM_ZEBW_COMMAND, 16, 0}));
    EXPECT_EQ(log[61], (sent_message{WM_ZEBW_COMMAND, 9, 0}));
    EXPECT_EQ(r.driver.send_command(0, 9, 0), 5); // still linked: no new probing
    EXPECT_EQ(r.log().size(), 63u);
}

TEST(ZebwDriver, ExitedProgramIsFoundAgainAndReleaseForgetsIt) {
    rig r;
    EXPECT_EQ(r.driver.send_command(0, 4, 0), 1);
    {
        std::lock_guard<std::mutex> l(r.program->lock);
        r.program->running = false;
    }
    EXPECT_FALSE(r.driver.is_connected());
    EXPECT_EQ(r.driver.send_command(0, 4, 0), 1); // started anew and registered again
    EXPECT_EQ(r.program->starts, 2);
    r.driver.release();
    EXPECT_EQ(r.log().back(), (sent_message{WM_ZEBW_COMMAND, 19, 0}));
    EXPECT_FALSE(r.driver.is_connected());
}

TEST(ZebwDriver, StopEndsTheProbingAtOnce) {
    zebw_timing slow;
    slow.attempt_wait = std::chrono::milliseconds(60000);
    auto program = std::make_shared<fake_zebw::state>();
    program->procedure = [](const sent_message&) -> std::int64_t { return 0; };
    ZEBW driver("/nowhere/", std::make_unique<fake_zebw>(program), slow);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        driver.stop();
    });
    driver.ensure_running(); // would take an hour without the stop
    stopper.join();
    std::lock_guard<std::mutex> l(program->lock);
    EXPECT_EQ(program->log.size(), 1u);
}

TEST(ZebrixController, OneClientAtATimeAndEventsCountWithoutOne) {
    rig r;
    command_set commands(r.driver, "/nowhere/");
    zebrix_controller controller(r.driver, commands);
    recording_sink first, second;
    controller.forward_event(1, 2); // dropped: nobody attached, id 0 used up
    EXPECT_TRUE(controller.attach_client(&first));
    EXPECT_FALSE(controller.attach_client(&second));
    controller.detach_client(&second); // not the holder: no effect
    EXPECT_TRUE(controller.attached());
    controller.forward_event(5, -6);
    ASSERT_EQ(first.got.size(), 1u);
    const auto& e = *first.got[0];
    EXPECT_EQ(e.kind, zs::protocol::MSG_EVENT);
    EXPECT_EQ(e.request_id, 1);
    EXPECT_EQ(e.action, 1);
    EXPECT_EQ(e.status, 5);
    EXPECT_EQ(e.value, -6);
    EXPECT_TRUE(e.empty());
    controller.detach_client(&first);
    EXPECT_TRUE(controller.attach_client(&second));
    EXPECT_TRUE(second.got.empty());
    controller.detach_client(&second);
}

TEST(ZebrixController, ActionsZeroOneAndOthers) {
    rig r;
    command_set commands(r.driver, "/nowhere/");
    zebrix_controller controller(r.driver, commands);
    recording_sink sink;
    ASSERT_TRUE(controller.attach_client(&sink));
    EXPECT_TRUE(controller.execute_request(request(1, 4, 11)));
    EXPECT_TRUE(controller.execute_request(request(2, 4, 12)));
    EXPECT_FALSE(controller.execute_request(request(0, 4, 13)));
    ASSERT_EQ(sink.got.size(), 3u);
    EXPECT_EQ(std::tie(sink.got[0]->request_id, sink.got[0]->action, sink.got[0]->status),
              std::make_tuple(11, 1, 1));
    EXPECT_EQ(std::tie(sink.got[1]->action, sink.got[1]->status), std::make_tuple(0, 3));
    ASSERT_NE(sink.got[1]->find_data(zs::protocol::ITEM_ERROR), nullptr);
    EXPECT_EQ(sink.got[1]->find_data(zs::protocol::ITEM_ERROR)->data, "Unknown command");
    const auto& empty = *sink.got[2];
    EXPECT_EQ(std::tie(empty.kind, empty.request_id, empty.action, empty.status, empty.value),
              std::make_tuple(zs::protocol::MSG_RESPONSE, 13, 1, 0, 0));
    EXPECT_TRUE(empty.empty());
    controller.detach_client(&sink);
}

// The file was deleted before its reply was built; a reply the session could
// not take closed it without an answer and the file was lost.
TEST(ZebrixController, HandedOutFilesGoOnlyWithAnAcceptedReply) {
    rig r;
    zs::test::temp_folder helper("zc");
    zs::test::temp_folder log("zc-log");
    answering_program program;
    program.helper = helper.path();
    command_set commands(program, helper.path());
    zebrix_controller controller(r.driver, commands);
    recording_sink sink;
    sink.limit = 500; // the file alone is larger
    ASSERT_TRUE(controller.attach_client(&sink));
    ASSERT_TRUE(zs::platform::write_file(helper / "take.bin", std::string(1000, 't')));
    auto take = request(1, 2, 21);
    take.add_file_list()->names = {"take.bin"};
    zs::core::server_log::open(log.path());
    EXPECT_TRUE(controller.execute_request(take));
    zs::core::server_log::close();
    ASSERT_EQ(sink.got.size(), 1u);
    EXPECT_EQ(std::tie(sink.got[0]->request_id, sink.got[0]->action, sink.got[0]->status),
              std::make_tuple(21, 0, zs::protocol::ERR_SERVER));
    EXPECT_EQ(sink.got[0]->find_data(zs::protocol::ITEM_ERROR)->data,
              zs::protocol::TEXT_REPLY_TOO_LARGE);
    EXPECT_TRUE(zs::platform::file_exists(helper / "take.bin"));
    EXPECT_NE(log_text(log).find("Zebrix command 2: its answer of "), std::string::npos);

    sink.limit = zs::protocol::max_unsent_bytes;
    EXPECT_TRUE(controller.execute_request(take));
    ASSERT_EQ(sink.got.size(), 2u);
    ASSERT_EQ(sink.got[1]->status, 1);
    EXPECT_EQ(sink.got[1]->find_file_list()->files.at(0)->content, std::string(1000, 't'));
    EXPECT_FALSE(zs::platform::file_exists(helper / "take.bin"));
    controller.detach_client(&sink);
}

// Past the worker's queue limit an event was dropped without using its id:
// the client saw no gap, and nothing was logged.
TEST(ZebrixController, EventsTheFullQueueDropsLeaveAGapAndOneLogLine) {
    rig r;
    zs::test::temp_folder log("zc-log");
    command_set commands(r.driver, "/nowhere/");
    zebrix_controller controller(r.driver, commands);
    recording_sink sink;
    ASSERT_TRUE(controller.attach_client(&sink));
    zs::protocol::program_worker worker({}, 2);
    std::promise<void> started, release;
    auto released = release.get_future().share();
    ASSERT_TRUE(worker.post([&started, released] {
        started.set_value();
        released.wait();
    }));
    started.get_future().wait(); // the worker is busy, its queue empty
    const auto drained = [&worker] {
        std::promise<void> done;
        auto f = done.get_future();
        worker.post_always([&done] { done.set_value(); });
        f.wait();
    };
    zs::core::server_log::open(log.path());
    for (int i = 0; i < 4; ++i) {
        controller.notify(worker, 10 + i, 0); // ids 0 and 1 queued, 2 and 3 dropped
    }
    release.set_value();
    drained();
    controller.notify(worker, 20, 0);
    drained();
    zs::core::server_log::close();
    std::vector<std::int32_t> ids;
    for (const auto& e : sink.got) {
        ids.push_back(e->request_id);
    }
    EXPECT_EQ(ids, (std::vector<std::int32_t>{0, 1, 4}));
    const std::string text = log_text(log);
    EXPECT_NE(text.find("Zebrix event 2 dropped"), std::string::npos) << text;
    EXPECT_NE(text.find("Zebrix events 2 to 3 dropped (2 in all)"), std::string::npos) << text;
    EXPECT_EQ(text.find("event 3 dropped"), std::string::npos) << "one line per run, not per drop";
    controller.detach_client(&sink);
}
