// Start-up order, the running flag, the hook codes and part-way failures.
#include "core/lifecycle.hpp"
#include "core/server_log.hpp"
#include "platform/files.hpp"
#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <vector>

namespace {

using namespace zs::core;

struct journal {
    std::vector<std::string> events;
};

class fake_piece : public service_piece {
public:
    fake_piece(journal& j, std::string name) : j_(j), name_(std::move(name)) {}
    bool start() override {
        j_.events.push_back("start " + name_);
        return succeed;
    }
    void stop() override { j_.events.push_back("stop " + name_); }
    std::string failure() const override { return succeed ? std::string() : why; }
    bool succeed = true;
    std::string why;

private:
    journal& j_;
    std::string name_;
};

class fake_shell : public shell_interface {
public:
    explicit fake_shell(journal& j) : j_(j) {}
    void create(command_hook hook) override {
        hook_ = std::move(hook);
        j_.events.push_back("create");
    }
    void set_ip_text(const std::string& t) override { j_.events.push_back("ip " + t); }
    void refresh_running_state() override {}
    void show_message(const std::u16string& text, message_icon) override {
        j_.events.push_back("message " + std::string(text.begin(), text.end()));
    }
    void close() override {}
    int run() override {
        j_.events.push_back("run");
        if (during_run) {
            during_run(hook_);
        }
        return 0;
    }
    void post(std::function<void()> work) override { work(); }
    std::function<void(command_hook&)> during_run;

private:
    journal& j_;
    command_hook hook_;
};

struct rig {
    journal j;
    fake_piece queue{j, "queue"}, worker{j, "worker"}, tcp{j, "tcp"}, discovery{j, "discovery"};
    fake_piece program{j, "program"};
    fake_shell shell{j};
    int jobs_done = 0;
    lifecycle_pieces pieces() {
        lifecycle_pieces p;
        p.render_queue = &queue;
        p.render_worker = &worker;
        p.tcp = &tcp;
        p.discovery = &discovery;
        p.finish_current_job = [this] { ++jobs_done; };
        p.server_address = [] { return std::string("10.0.0.5"); };
        return p;
    }
};

// The program workers stop first: no connection closes while one waits on a program.
TEST(Lifecycle, RunsTheOrderAndStopsInReverseGroups) {
    rig r;
    auto pieces = r.pieces();
    pieces.programs = {&r.program};
    server_lifecycle l(pieces, r.shell);
    EXPECT_EQ(l.run([] { return true; }), 0);
    EXPECT_EQ(r.j.events, (std::vector<std::string>{
                              "start queue", "create", "start program", "start worker", "start tcp",
                              "start discovery", "ip 10.0.0.5", "run", "stop program", "stop tcp",
                              "stop discovery", "stop worker", "stop queue"}));
}

TEST(Lifecycle, RefusedInstanceTouchesNothing) {
    rig r;
    server_lifecycle l(r.pieces(), r.shell);
    EXPECT_EQ(l.run([] { return false; }), 0);
    EXPECT_EQ(r.j.events, (std::vector<std::string>{"message Zebrix Server is already running"}));
}

TEST(Lifecycle, PartWayFailedStartStopsWhatStarted) {
    rig r;
    r.discovery.succeed = false;
    server_lifecycle l(r.pieces(), r.shell);
    r.shell.during_run = [&](command_hook& hook) {
        EXPECT_EQ(hook(hook_code::query), 0);
        r.discovery.succeed = true;
        EXPECT_EQ(hook(hook_code::toggle), 1);
        EXPECT_EQ(hook(hook_code::query), 1);
        EXPECT_EQ(hook(hook_code::query), 1);
        EXPECT_EQ(hook(hook_code::toggle), 0);
        EXPECT_EQ(hook(hook_code::toggle), 1);
        EXPECT_EQ(hook(hook_code::job_done), -1);
        EXPECT_EQ(hook(hook_code::refresh_address), -1);
        EXPECT_EQ(hook(static_cast<hook_code>(42)), -1);
    };
    l.run([] { return true; });
    const std::vector<std::string> expected_start = {
        "start queue",     "create",   "start worker", "start tcp",
        "start discovery", "stop tcp", "stop worker",  "message Unable to start server"};
    ASSERT_GE(r.j.events.size(), expected_start.size());
    EXPECT_EQ(std::vector<std::string>(r.j.events.begin(), r.j.events.begin() + 8), expected_start);
    EXPECT_EQ(r.jobs_done, 1);
    EXPECT_EQ(r.j.events.back(), "stop queue");
}

// A renderer left by a crashed server would write into the folders the
// queue is about to hand out again; a refused second copy must not touch the
// running server's renderer.
TEST(Lifecycle, StaleRendererEndsAfterTheInstanceCheckAndBeforeTheQueueStarts) {
    rig r;
    auto p = r.pieces();
    p.end_stale_renderer = [&r] { r.j.events.push_back("end renderer"); };
    server_lifecycle refused(p, r.shell);
    refused.run([] { return false; });
    EXPECT_EQ(r.j.events, (std::vector<std::string>{"message Zebrix Server is already running"}));
    r.j.events.clear();
    server_lifecycle l(p, r.shell);
    l.run([&r] {
        r.j.events.push_back("instance");
        return true;
    });
    ASSERT_GE(r.j.events.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(r.j.events.begin(), r.j.events.begin() + 3),
              (std::vector<std::string>{"instance", "end renderer", "start queue"}));
}

TEST(Lifecycle, ServiceStartAndStopAreLoggedWithThePorts) {
    zs::test::temp_folder dir{"zs-lclog"};
    server_log::open(dir.path());
    rig r;
    auto p = r.pieces();
    p.ports_text = [] { return std::string("TCP port 7001, UDP port 7002"); };
    p.start_details = [] { return std::string("version 9"); };
    server_lifecycle l(p, r.shell);
    l.run([] { return true; });
    r.discovery.succeed = false;
    EXPECT_FALSE(l.start_service());
    server_log::close();
    std::string log;
    ASSERT_TRUE(zs::platform::read_file(dir / server_log::file_name, log));
    EXPECT_NE(log.find(" Service started on TCP port 7001, UDP port 7002: version 9\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" Service stopped on TCP port 7001, UDP port 7002\r\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find(" Unable to start server on TCP port 7001, UDP port 7002\r\n"),
              std::string::npos)
        << log;
}

TEST(Lifecycle, FailedStartNamesThePieceThatFailed) {
    rig r;
    r.tcp.succeed = false;
    r.tcp.why = "TCP port 6789 is in use";
    server_lifecycle l(r.pieces(), r.shell);
    r.shell.during_run = [&](command_hook& hook) {
        r.tcp.why = "TCP port 6789 may not be opened by this user";
        EXPECT_EQ(hook(hook_code::toggle), 0);
    };
    l.run([] { return true; });
    std::vector<std::string> messages;
    for (const auto& e : r.j.events) {
        if (e.starts_with("message ")) {
            messages.push_back(e);
        }
    }
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "message Unable to start server\nTCP port 6789 is in use",
                            "message Unable to start server\nTCP port 6789 may not be opened by "
                            "this user"}));
}

} // namespace
