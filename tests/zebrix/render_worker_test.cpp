// The worker cycle with a clock the test moves and a recording stand-in for
// the renderer's process and window: start, completion, the time limit, idle
// shutdown, input write failures, audio copies and stop.
#include "core/config_store.hpp"
#include "core/path_layout.hpp"
#include "core/text.hpp"
#include "platform/codepage.hpp"
#include "platform/desktop_window.hpp"
#include "platform/files.hpp"
#include "tests/support/eventually.hpp"
#include "tests/support/temp_folder.hpp"
#include "zebrix/render_files.hpp"
#include "zebrix/render_worker.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace zs;

namespace {

class manual_clock final : public platform::clock_source {
public:
    std::uint32_t now_ms() override { return now.load(); }
    std::atomic<std::uint32_t> now{5000};
};

class recording_control final : public zebrix::zebw3_control {
public:
    platform::process_id find_running() override { return running; }
    bool still_runs(platform::process_id pid) override { return pid != 0 && pid == running; }
    platform::start_result start(const std::string& path, const std::string& folder,
                                 std::chrono::milliseconds wait) override {
        ++starts;
        start_path = path;
        start_folder = folder;
        start_wait = wait;
        if (!startable) {
            return {0, 2};
        }
        running = 77;
        return {77, 0};
    }
    platform::window_handle find_window(platform::process_id pid) override {
        return pid == running && has_window ? 5 : 0;
    }
    void send_render(platform::window_handle window) override {
        ++renders;
        last_window = window;
    }
    void terminate(std::chrono::milliseconds) override {
        ++terminations;
        running = 0;
    }

    std::atomic<platform::process_id> running{0};
    bool startable = true;
    bool has_window = true;
    std::atomic<int> starts{0};
    std::atomic<int> renders{0};
    std::atomic<int> terminations{0};
    platform::window_handle last_window = 0;
    std::string start_path;
    std::string start_folder;
    std::chrono::milliseconds start_wait{0};
};

std::string read_all(const std::string& path) {
    std::string s;
    platform::read_file(path, s);
    return s;
}

struct worker_fixture : ::testing::Test {
    void SetUp() override {
        platform::make_folders(tmp / "Zebrix/ZebHelper/");
        platform::make_folders(tmp / "Zebrix/ZebMini/");
        platform::write_file(tmp / "Zebrix/ZebMini/demo.mp4", "AUDIO");
        config.load(layout.helper_dir());
        config.set_idle_minutes(1);
        queue.start();
    }
    std::string status_of(int id) { return read_all(queue.job_folder(id) + "ZebOutput.txt"); }

    test::temp_folder tmp{"zs-rw"};
    core::path_layout layout =
        core::path_layout::from_executable(tmp / "Zebrix/ZebHelper/ZebrixServer", tmp.path());
    core::config_store config;
    manual_clock clock;
    recording_control control;
    zebrix::render_queue queue{layout.outputs_dir(), [this] { return config.debug_mode(); }, clock};
    zebrix::render_worker worker{queue, layout, config, control, clock, [] { return 42; }};
};

} // namespace

TEST_F(worker_fixture, RenderJobStartsTheRendererAndFinishesOnItsReport) {
    const int id = queue.add_job("Output=song");
    worker.run_cycle();
    const std::string input = read_all(layout.zebrix_input_path());
    EXPECT_EQ(input.rfind("Output=song\r\n; added by helper program.\r\n"
                          "WindowhandleForMessages=42\r\n",
                          0),
              0u);
    EXPECT_NE(input.find("OutputDirectory=" + queue.job_folder(id) + "\r\n"), std::string::npos);
    EXPECT_EQ(control.starts, 1);
    EXPECT_EQ(control.start_path, layout.zebw3_path());
    EXPECT_EQ(control.start_folder, layout.zebrix_dir());
    EXPECT_EQ(control.start_wait, std::chrono::milliseconds(10000));
    EXPECT_EQ(control.renders, 1);
    EXPECT_EQ(control.last_window, 5);
    EXPECT_EQ(queue.job_state(id), protocol::job_status::running);
    EXPECT_EQ(worker.current_job(), id);

    // Next job waits while one is current; the running renderer is reused.
    const int next = queue.add_job("Output=stylelist");
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(next), protocol::job_status::waiting);
    worker.finish_current_job();
    EXPECT_EQ(queue.job_state(id), protocol::job_status::done);
    EXPECT_EQ(worker.current_job(), -1);
    worker.run_cycle();
    EXPECT_EQ(worker.current_job(), next);
    EXPECT_EQ(control.starts, 1);
    EXPECT_EQ(control.renders, 2);
}

TEST_F(worker_fixture, JobThatNeverReportsEndsAfterThreeHundredSeconds) {
    config.set_idle_minutes(30);
    const int id = queue.add_job("Output=audio");
    worker.run_cycle();
    clock.now += 300999; // 300 whole seconds: not yet
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(id), protocol::job_status::running);
    EXPECT_EQ(control.terminations, 0);
    clock.now += 1;
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(id), protocol::job_status::done);
    EXPECT_EQ(control.terminations, 1);
    EXPECT_EQ(status_of(id), "Error=-100\r\n;Error #-100, Error occurred");
    std::string message;
    int number = 0;
    EXPECT_EQ(zebrix::read_job_status(queue.job_folder(id), message, number),
              protocol::job_outcome::failed);
    EXPECT_EQ(message, "Error occurred");
}

TEST_F(worker_fixture, RendererWithoutWindowGetsNoMessageAndTimesOut) {
    control.has_window = false;
    const int id = queue.add_job("x=1");
    worker.run_cycle();
    EXPECT_EQ(control.renders, 0);
    EXPECT_EQ(queue.job_state(id), protocol::job_status::running);
    clock.now += 301000;
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(id), protocol::job_status::done);

    control.startable = false; // a failed start: no renderer, the job ends at once
    const int second = queue.add_job("x=2");
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(second), protocol::job_status::done);
    EXPECT_NE(status_of(second).find(", Error occurred on server"), std::string::npos);
}

// A renderer that died mid-job held the queue until the 300 s limit.
TEST_F(worker_fixture, RendererGoneMidJobEndsItAtTheNextCycleAndTheNextJobStartsANewOne) {
    config.set_idle_minutes(30);
    const int id = queue.add_job("Output=song");
    const int next = queue.add_job("Output=stylelist");
    worker.run_cycle();
    ASSERT_EQ(worker.current_job(), id);
    clock.now += 500;
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(id), protocol::job_status::running) << "the renderer still runs";
    control.running = 0; // it crashed
    clock.now += 500;
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(id), protocol::job_status::done);
    EXPECT_EQ(status_of(id), "Error=-100\r\n;Error #-100, Error occurred on server");
    std::string message;
    int number = 0;
    EXPECT_EQ(zebrix::read_job_status(queue.job_folder(id), message, number),
              protocol::job_outcome::failed);
    EXPECT_EQ(message, "Error occurred on server");
    worker.run_cycle();
    EXPECT_EQ(worker.current_job(), next);
    EXPECT_EQ(control.starts, 2);
    EXPECT_EQ(queue.job_state(next), protocol::job_status::running);

    // Gone after writing its status, before its report arrived: the result stands.
    platform::write_file(queue.job_folder(next) + "ZebOutput.txt", "Error=0\r\n");
    control.running = 0;
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(next), protocol::job_status::done);
    EXPECT_EQ(status_of(next), "Error=0\r\n");
}

TEST_F(worker_fixture, StaleRendererIsEndedUntilNoneRuns) {
    worker.end_stale_renderer();
    EXPECT_EQ(control.terminations, 0);
    control.running = 31;
    worker.end_stale_renderer();
    EXPECT_EQ(control.terminations, 1);
    EXPECT_EQ(control.running, 0u);
}

TEST_F(worker_fixture, IdleShutdownOnlyAfterActivityAndRepeatedWhileIdle) {
    clock.now += 10 * 60000;
    worker.run_cycle();
    EXPECT_EQ(control.terminations, 0); // nothing has run yet

    queue.add_job("x=1");
    worker.run_cycle();
    clock.now += 1000;
    worker.finish_current_job();
    clock.now += 60000;
    worker.run_cycle();
    EXPECT_EQ(control.terminations, 0); // exactly the idle time: not beyond it
    clock.now += 1;
    worker.run_cycle();
    EXPECT_EQ(control.terminations, 1);
    worker.run_cycle();
    EXPECT_EQ(control.terminations, 2);

    // Idle time 0 ended the renderer half a second into every job: a running
    // job is never ended by the idle rule, only the idle renderer after it.
    config.set_idle_minutes(0);
    const int id = queue.add_job("x=2");
    worker.run_cycle();
    for (int i = 0; i < 10; ++i) {
        clock.now += 500;
        worker.run_cycle();
    }
    EXPECT_EQ(control.terminations, 2);
    EXPECT_EQ(queue.job_state(id), protocol::job_status::running);
    worker.finish_current_job();
    clock.now += 1;
    worker.run_cycle();
    EXPECT_EQ(control.terminations, 3);
}

TEST_F(worker_fixture, InputThatCannotBeWrittenFailsTheJobAfterThreeAttempts) {
    // The Zebrix folder's input file is a folder: every write fails.
    platform::make_folders(layout.zebrix_input_path() + "/");
    const int id = queue.add_job("x=1");
    testing::internal::CaptureStderr(); // the server log's copy
    worker.run_cycle();
    const std::string logged = testing::internal::GetCapturedStderr();
    EXPECT_NE(logged.find("the renderer's input could not be written (Is a directory)"),
              std::string::npos)
        << logged;
    EXPECT_EQ(control.terminations, 3);
    EXPECT_EQ(control.starts, 0);
    EXPECT_EQ(queue.job_state(id), protocol::job_status::done);
    EXPECT_EQ(worker.current_job(), -1);
    EXPECT_EQ(status_of(id), "Error=-100\r\n;Error #-100, Error occurred");
}

TEST_F(worker_fixture, AudioCopyFromZebMini) {
    const int id = queue.add_job("ZebMiniAudioFile=demo.mp4");
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(id), protocol::job_status::done);
    EXPECT_EQ(read_all(queue.job_folder(id) + "audio.mp4"), "AUDIO");
    EXPECT_EQ(status_of(id), "Error=0\r\r\n");
    EXPECT_EQ(control.starts, 0);
    EXPECT_EQ(worker.current_job(), -1);

    const int missing = queue.add_job("ZebMiniAudioFile=absent.mp4");
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(missing), protocol::job_status::done);
    EXPECT_NE(status_of(missing).find(", Unable to download audio file"), std::string::npos);

    // A single byte after the key makes it a render job.
    const int render = queue.add_job("ZebMiniAudioFile=x");
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(render), protocol::job_status::running);
    EXPECT_EQ(control.starts, 1);
}

TEST_F(worker_fixture, AudioCopyRefusesNamesThatLeaveZebMini) {
    platform::write_file(layout.helper_dir() + "secret.txt", "secret");
    for (const char* name : {"../ZebHelper/secret.txt", "..", "sub/demo.mp4", "sub\\demo.mp4",
                             "C:demo.mp4", "/etc/passwd", "demo.mp4\r\n"}) {
        const int id = queue.add_job(std::string("ZebMiniAudioFile=") + name);
        worker.run_cycle();
        EXPECT_EQ(queue.job_state(id), protocol::job_status::done) << name;
        EXPECT_FALSE(platform::file_exists(queue.job_folder(id) + "audio.mp4")) << name;
        std::string message;
        int number = 0;
        EXPECT_EQ(zebrix::read_job_status(queue.job_folder(id), message, number),
                  protocol::job_outcome::failed);
        EXPECT_EQ(message, "Unable to download audio file") << name;
    }
    EXPECT_TRUE(core::is_plain_name("demo.mp4", core::name_controls::all_refused));
    EXPECT_TRUE(core::is_plain_name(".hidden", core::name_controls::all_refused));
}

TEST_F(worker_fixture, DebugModeKeepsACopyOfTheInput) {
    platform::write_file(layout.helper_dir() + "debug.txt", "");
    config.load(layout.helper_dir());
    const int id = queue.add_job("Output=song");
    worker.run_cycle();
    EXPECT_EQ(read_all(queue.job_folder(id) + "zebInput.txt"),
              read_all(layout.zebrix_input_path()));
}

TEST_F(worker_fixture, ThreadRunsCyclesAndStopRemovesTheCurrentJob) {
    ASSERT_TRUE(worker.start());
    const int id = queue.add_job("Output=song");
    for (int i = 0; i < 400 && worker.current_job() != id; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(worker.current_job(), id);
    worker.stop();
    EXPECT_EQ(worker.current_job(), -1);
    EXPECT_EQ(queue.job_state(id), protocol::job_status::unknown);
    EXPECT_FALSE(platform::folder_exists(queue.job_folder(id)));
    EXPECT_EQ(control.terminations, 1);
    EXPECT_EQ(control.running, 0u);
    ASSERT_TRUE(worker.start()); // the service may start again
    worker.stop();
}

namespace {

// The server's window on a thread of its own, as the shell's is: a posted
// message runs the renderer's "done" or the Stop button there, and a sent one
// (as the system's title read of a window is) is answered by that thread only.
class gui_thread {
public:
    gui_thread(const std::string& desktop, std::function<void()> on_post)
        : on_post_(std::move(on_post)),
          window_(
              platform::desktop_window::answer_at_once, "TWorkerGui", "Worker Gui",
              [this](const platform::window_message& m) -> std::int64_t {
                  if (!m.sent) {
                      entered = true;
                      on_post_();
                      handled = true;
                  }
                  return 1;
              },
              desktop) {}
    platform::window_handle handle() const { return window_.handle(); }

    std::atomic<bool> entered{false};
    std::atomic<bool> handled{false};

private:
    std::function<void()> on_post_;
    platform::desktop_window window_;
};

// Starting the renderer makes the GUI thread busy with the worker (the done
// message or Stop arrives then); finding its window then reads the desktop's
// windows, the GUI's own among them, and asks the GUI thread, as the system's
// title read of it does.
class gui_meeting_control final : public zebrix::zebw3_control {
public:
    gui_meeting_control(const std::string& desktop, bool ask_gui)
        : desktop_(desktop), ask_gui_(ask_gui) {}
    platform::process_id find_running() override { return 0; }
    bool still_runs(platform::process_id pid) override { return pid == renderer_pid; }
    platform::start_result start(const std::string&, const std::string&,
                                 std::chrono::milliseconds) override {
        platform::post_message(desktop_, gui->handle(), 1024 + 1, 0, 0);
        test::eventually([this] { return gui->entered.load(); });
        return {renderer_pid, 0};
    }
    platform::window_handle find_window(platform::process_id pid) override {
        const platform::window_handle found = real_.find_window(pid);
        if (ask_gui_) {
            gui_answered = platform::try_send_message(desktop_, gui->handle(), 1024 + 2, 0, 0,
                                                      std::chrono::seconds(20))
                               .has_value();
        }
        window_searched = true;
        return found;
    }
    void send_render(platform::window_handle) override {}
    void terminate(std::chrono::milliseconds) override {}

    gui_thread* gui = nullptr;
    std::atomic<bool> gui_answered{false};
    std::atomic<bool> window_searched{false};
    static constexpr platform::process_id renderer_pid = 4242;

private:
    std::string desktop_;
    bool ask_gui_;
    zebrix::desktop_zebw3_control real_;
};

// A deadlock leaves nothing to unwind: the run ends here with the failure.
void within_bound_or_end(const std::function<bool()>& done, const char* what) {
    if (!test::eventually(done, std::chrono::seconds(60))) {
        std::fprintf(stderr, "FAILED: %s: window and worker froze each other\n", what);
        std::fflush(stderr);
        std::_Exit(1);
    }
}

} // namespace

// The worker held its lock while starting the renderer and reading window
// titles; the done message, handled on the GUI thread, waited for that lock
// while the title read waited for the GUI thread: both froze for good.
TEST_F(worker_fixture, DoneMessageWhileTheRendererStartsFreezesNeitherWindowNorWorker) {
    const std::string desktop = tmp / "desktop/";
    platform::make_folders(desktop);
    gui_meeting_control meeting(desktop, true);
    zebrix::render_worker threaded{queue, layout, config, meeting, clock, [] { return 42; }};
    gui_thread gui(desktop, [&threaded] { threaded.finish_current_job(); });
    meeting.gui = &gui;
    ASSERT_NE(gui.handle(), 0);
    const int id = queue.add_job("Output=song");
    ASSERT_TRUE(threaded.start());
    within_bound_or_end([&] { return gui.handled.load() && meeting.window_searched.load(); },
                        "done message while zebw3.exe starts");
    EXPECT_TRUE(meeting.gui_answered) << "the GUI thread waited for the worker's lock";
    EXPECT_EQ(queue.job_state(id), protocol::job_status::done);
    threaded.stop();
}

// Stop, pressed while the renderer starts, waits for the worker thread to
// end; the worker then must not wait for the GUI thread to read its title.
TEST_F(worker_fixture, StopWhileTheRendererStartsEndsTheWorker) {
    const std::string desktop = tmp / "desktop/";
    platform::make_folders(desktop);
    gui_meeting_control meeting(desktop, false);
    zebrix::render_worker threaded{queue, layout, config, meeting, clock, [] { return 42; }};
    gui_thread gui(desktop, [&threaded] { threaded.stop(); });
    meeting.gui = &gui;
    ASSERT_NE(gui.handle(), 0);
    const int id = queue.add_job("Output=song");
    ASSERT_TRUE(threaded.start());
    within_bound_or_end([&] { return gui.handled.load(); }, "Stop while zebw3.exe starts");
    EXPECT_EQ(queue.job_state(id), protocol::job_status::unknown);
}

namespace {

// A worker in a Zebrix folder named as an install folder may be, its paths
// written with the system's separator.
struct named_install {
    static std::string native(std::string path) {
        std::replace(path.begin(), path.end(), '/', platform::path_separator);
        return path;
    }
    explicit named_install(const std::string& zebrix_name)
        : zebrix(tmp / native(zebrix_name + "/")),
          layout(core::path_layout::from_executable(zebrix + native("ZebHelper/ZebrixServer"),
                                                    tmp.path())) {
        platform::make_folders(layout.helper_dir());
        platform::make_folders(layout.zebmini_dir());
        config.load(layout.helper_dir());
        queue.start();
    }
    // The value of the input's OutputDirectory line, as the renderer reads it.
    std::string handed_folder() {
        const std::string input = read_all(layout.zebrix_input_path());
        const std::string key = "\r\nOutputDirectory=";
        const auto at = input.find(key);
        return at == std::string::npos
                   ? std::string()
                   : input.substr(at + key.size(),
                                  input.find('\r', at + key.size()) - at - key.size());
    }

    test::temp_folder tmp{"zs-rw"};
    std::string zebrix;
    core::path_layout layout;
    core::config_store config;
    manual_clock clock;
    recording_control control;
    zebrix::render_queue queue{layout.outputs_dir(), [] { return false; }, clock};
    zebrix::render_worker worker{queue, layout, config, control, clock, [] { return 42; }};
};

constexpr char foreign_separator = platform::path_separator == '/' ? '\\' : '/';

} // namespace

// The job folder went to the renderer in UTF-8 with "outputs/" in it, where
// it reads the ANSI code page and the system's separator: its results went nowhere.
TEST(RenderWorkerPaths, JobFolderIsHandedInTheCodePageWithOneSeparator) {
    named_install at("Z\xC3\xA9"
                     "brix Studio"); // "Zébrix Studio"
    const int id = at.queue.add_job("Output=song");
    at.worker.run_cycle();
    ASSERT_EQ(at.queue.job_state(id), protocol::job_status::running);
    const std::string handed = at.handed_folder();
    EXPECT_EQ(handed, platform::utf8_to_ansi(at.queue.job_folder(id)));
    EXPECT_NE(handed.find("Z\xE9"
                          "brix Studio"),
              std::string::npos)
        << handed;
    EXPECT_EQ(handed.find(foreign_separator), std::string::npos) << handed;
    EXPECT_TRUE(platform::folder_exists(platform::ansi_to_utf8(handed))) << handed;

    // The audio copy names its file in the code page too ("démo.mp4").
    platform::write_file(at.layout.zebmini_dir() + "d\xC3\xA9mo.mp4", "AUDIO");
    at.worker.finish_current_job();
    const int copy = at.queue.add_job("ZebMiniAudioFile=d\xE9mo.mp4");
    at.worker.run_cycle();
    EXPECT_EQ(read_all(at.queue.job_folder(copy) + "audio.mp4"), "AUDIO");
}

// A folder the code page cannot write ("Ω") goes by its short name where the
// system keeps one; without one the job fails at once and says why, instead
// of handing the renderer a path it would misread.
TEST(RenderWorkerPaths, FolderOutsideTheCodePageGoesByItsShortNameOrFailsClearly) {
    named_install at("Z\xC3\xA9"
                     "brix \xCE\xA9 Studio");
    const int id = at.queue.add_job("Output=song");
    at.worker.run_cycle();
    if (const std::string handed = at.handed_folder(); !handed.empty()) {
        EXPECT_EQ(platform::utf8_to_ansi(platform::ansi_to_utf8(handed)), handed) << handed;
        EXPECT_TRUE(platform::folder_exists(platform::ansi_to_utf8(handed))) << handed;
        EXPECT_EQ(handed.find(foreign_separator), std::string::npos) << handed;
        EXPECT_EQ(at.control.starts, 1);
        return;
    }
    EXPECT_EQ(at.queue.job_state(id), protocol::job_status::done);
    EXPECT_EQ(at.control.starts, 0);
    std::string message;
    int number = 0;
    EXPECT_EQ(zebrix::read_job_status(at.queue.job_folder(id), message, number),
              protocol::job_outcome::failed);
    EXPECT_NE(message.find("path cannot be written in the machine's code page"), std::string::npos)
        << message;
}
