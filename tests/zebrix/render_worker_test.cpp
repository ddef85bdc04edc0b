// The worker cycle with a clock the test moves and a recording stand-in for
// the renderer's process and window: start, completion, the time limit, idle
// shutdown, input write failures, audio copies and stop.
#include "core/config_store.hpp"
#include "core/path_layout.hpp"
#include "core/text.hpp"
#include "platform/files.hpp"
#include "tests/support/temp_folder.hpp"
#include "zebrix/render_files.hpp"
#include "zebrix/render_worker.hpp"

#include <gtest/gtest.h>

#include <atomic>
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
