// Start-up order, the running flag, the hook codes and part-way failures.
#include "core/lifecycle.hpp"
#include "core/server_log.hpp"
#include "core/startup_check.hpp"
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
    void set_problem_text(const std::string& t) override { j_.events.push_back("status " + t); }
    void show_window() override { j_.events.push_back("show"); }
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

// A folder under a test folder, ending in the separator.
std::string in(const zs::test::temp_folder& dir, const std::string& name) {
    return dir.path() + name + zs::platform::path_separator;
}

// A folder the server cannot write was silent before: jobs failed, the log
// stayed empty. Told once, after the instance check (a refused copy says
// nothing), and the message waits for the loop so the service starts first.
TEST(Lifecycle, StartupProblemsAreLoggedShownAndPutInTheStatusOnce) {
    zs::test::temp_folder dir{"zs-lccheck"};
    server_log::open(dir.path());
    rig r;
    auto p = r.pieces();
    p.startup_report = {"Cannot write to /x/ZebHelper: Permission denied. Do this.",
                        "The log is written to /y/ZebrixServer.log instead."};
    p.startup_status = "Cannot write to ZebHelper";
    int first_start_asked = 0;
    p.first_start = [&] { return ++first_start_asked == 1; };
    server_lifecycle refused(p, r.shell);
    refused.run([] { return false; });
    EXPECT_EQ(r.j.events, (std::vector<std::string>{"message Zebrix Server is already running"}));
    EXPECT_EQ(first_start_asked, 0); // a refused copy leaves setup's flag alone
    r.j.events.clear();
    server_lifecycle l(p, r.shell);
    l.run([] { return true; });
    server_log::close();
    const std::vector<std::string> expected = {
        "start queue",
        "create",
        "status Cannot write to ZebHelper",
        "message Cannot write to /x/ZebHelper: Permission denied. Do this.\nThe log is written to "
        "/y/ZebrixServer.log instead.",
        "start worker",
        "start tcp",
        "start discovery",
        "ip 10.0.0.5",
        "show",
        "run"};
    ASSERT_GE(r.j.events.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(r.j.events.begin(), r.j.events.begin() + 10), expected);
    EXPECT_EQ(first_start_asked, 1);
    std::string log;
    ASSERT_TRUE(zs::platform::read_file(dir / server_log::file_name, log));
    EXPECT_NE(log.find(" Start-up check: Cannot write to /x/ZebHelper: Permission denied. Do "
                       "this.\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Start-up check: Cannot write"), log.rfind("Start-up check: Cannot write"));
}

// The check itself with what fails even for an administrator: a folder that
// cannot be made (a file is in the way) and a file in a missing folder; the
// reason is the system's, the probe file never stays behind, and a file that
// exists keeps its bytes.
TEST(StartupCheck, NamesWhatCannotBeWrittenWithTheSystemsReasonAndLeavesNoTrace) {
    zs::test::temp_folder dir{"zs-check"};
    startup_check check;
    EXPECT_TRUE(check.check_folder(dir.path()));
    EXPECT_TRUE(check.check_folder(in(dir, "outputs"))); // made when missing
    EXPECT_TRUE(zs::platform::folder_exists(in(dir, "outputs")));
    ASSERT_TRUE(zs::platform::write_file(dir / "zebinput.txt", "kept"));
    EXPECT_TRUE(check.check_file(dir / "zebinput.txt"));
    EXPECT_TRUE(check.check_file(dir / "other.txt")); // made and removed again
    EXPECT_TRUE(check.fine());
    EXPECT_EQ(check.report(), "");
    EXPECT_EQ(check.status_text(), "");
    std::string kept;
    ASSERT_TRUE(zs::platform::read_file(dir / "zebinput.txt", kept));
    EXPECT_EQ(kept, "kept");
    EXPECT_FALSE(zs::platform::file_exists(dir / probe_file_name));
    EXPECT_FALSE(zs::platform::file_exists(dir / "other.txt"));

    ASSERT_TRUE(zs::platform::write_file(dir / "blocked", "x"));
    EXPECT_FALSE(check.check_folder(in(dir, "blocked")));
    EXPECT_FALSE(
        check.check_file(dir.path() + "missing" + zs::platform::path_separator + "zebinput.txt"));
    check.note_config("The configuration cannot be saved (x).", false);
    check.note_log_file("/home/u/.local/state/ZebrixServer/ZebrixServer.log");
    // The reasons are the system's own words for the same failures.
    std::error_code exists;
    std::error_code missing;
    zs::platform::make_folders(in(dir, "blocked"), &exists);
    zs::platform::write_file(dir.path() + "missing" + zs::platform::path_separator + "zebinput.txt",
                             "", false, &missing);
    ASSERT_EQ(check.problems().size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_FALSE(check.problems()[i].reason.empty());
        EXPECT_EQ((i == 0 ? exists : missing).message().find(check.problems()[i].reason), 0u);
    }
    const std::vector<std::string> lines = check.report_lines();
    ASSERT_EQ(lines.size(), 4u);
    const char sep = zs::platform::path_separator;
    EXPECT_EQ(lines[0], "Cannot write to " + dir.path() + "blocked: " + check.problems()[0].reason +
                            ". " + lines[0].substr(lines[0].rfind(". ") + 2));
    EXPECT_NE(lines[0].find("write access to that folder."), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1].find("Cannot write to " + dir.path() + "missing" + sep +
                            "zebinput.txt: " + check.problems()[1].reason + ". "),
              0u)
        << lines[1];
    EXPECT_NE(lines[1].find("write access to that file."), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("new identity at every start"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3],
              "The log is written to /home/u/.local/state/ZebrixServer/ZebrixServer.log instead.");
    EXPECT_EQ(check.status_text(), "Cannot write to blocked, zebinput.txt");
}

// The unpacked portable archive runs outside any Zebrix folder; it used to
// start silently and fail every Zebrix request.
TEST(StartupCheck, AServerOutsideAZebrixFolderSaysWhy) {
    zs::test::temp_folder dir{"zs-check"};
    startup_check check;
    check.check_program(dir / "zebw.exe", dir.path());
    ASSERT_FALSE(check.fine());
    EXPECT_EQ(check.report().find("There is no zebw.exe in " +
                                  dir.path().substr(0, dir.path().size() - 1) + ", so neither"),
              0u)
        << check.report();
    EXPECT_EQ(check.status_text(), "Not in a Zebrix folder (no zebw.exe)");
    startup_check in_place;
    ASSERT_TRUE(zs::platform::write_file(dir / "zebw.exe", ""));
    in_place.check_program(dir / "zebw.exe", dir.path());
    EXPECT_TRUE(in_place.fine());
}

// Setup's first-start flag shows the window once: it is gone afterwards.
TEST(StartupCheck, FirstStartFlagIsTakenOnce) {
    zs::test::temp_folder dir{"zs-check"};
    EXPECT_FALSE(take_first_start_flag(dir.path()));
    ASSERT_TRUE(zs::platform::write_file(dir / first_start_flag, ""));
    EXPECT_TRUE(take_first_start_flag(dir.path()));
    EXPECT_FALSE(take_first_start_flag(dir.path()));
}

// With the helper folder shut, the log goes to the user's own folder.
TEST(StartupCheck, LogFolderFallsBackWhenTheHelperFolderCannotBeWritten) {
    zs::test::temp_folder dir{"zs-check"};
    startup_check fine;
    EXPECT_EQ(choose_log_folder(fine, dir.path(), in(dir, "state")), dir.path());
    EXPECT_TRUE(fine.fine());
    ASSERT_TRUE(zs::platform::write_file(dir / "shut", "x"));
    startup_check shut;
    EXPECT_EQ(choose_log_folder(shut, in(dir, "shut"), in(dir, "state")), in(dir, "state"));
    EXPECT_TRUE(zs::platform::folder_exists(in(dir, "state")));
    EXPECT_EQ(shut.problems().size(), 1u);
}

} // namespace
