// The real background renderer (the stage's zebw3.exe) killed during a job,
// driven by the render worker with a clock the test moves: nobody reports
// the end, so the next cycle notices the renderer has gone and ends the job
// with -100 "Error occurred on server" (not the 300 s limit); the worker then
// starts a fresh renderer for the next job, which succeeds.
#include "core/config_store.hpp"
#include "core/path_layout.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "tests/support/eventually.hpp"
#include "tests/support/temp_folder.hpp"
#include "zebrix/render_files.hpp"
#include "zebrix/render_worker.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace zs;
using namespace std::chrono_literals;
using test::eventually;

namespace {

class manual_clock final : public platform::clock_source {
public:
    std::uint32_t now_ms() override { return now.load(); }
    std::atomic<std::uint32_t> now{10000};
};

struct RendererFault : ::testing::Test {
    static void SetUpTestSuite() {
        // Before any desktop call: this process and the renderer share a private desktop.
        static test::temp_folder desktop{"zs-fr-desk"};
        ::setenv("ZEBRIX_DESKTOP", desktop.path().c_str(), 1);
        ::setenv("ZEBRIX_SEND_TIMEOUT_MS", "3000", 1);
    }
    void SetUp() override {
        platform::make_folders(tmp / "Zebrix/ZebHelper/");
        std::filesystem::copy_file(std::string(ZS_STAGE_DIR) + "/Zebrix/zebw3.exe",
                                   layout.zebw3_path());
        config.load(layout.helper_dir());
        config.set_idle_minutes(30);
        queue.start();
    }
    void TearDown() override {
        worker.stop(); // terminates a renderer that still runs
        queue.stop();
    }

    test::temp_folder tmp{"zs-fr"};
    core::path_layout layout =
        core::path_layout::from_executable(tmp / "Zebrix/ZebHelper/ZebrixServer", tmp.path());
    core::config_store config;
    manual_clock clock;
    zebrix::desktop_zebw3_control control;
    zebrix::render_queue queue{layout.outputs_dir(), [] { return false; }, clock};
    zebrix::render_worker worker{queue, layout, config, control, clock, [] { return 0; }};
};

} // namespace

TEST_F(RendererFault, KilledRendererEndsTheJobAtTheNextCycleAndTheNextJobRuns) {
    const int first = queue.add_job("Output=songlist\r\nRenderMs=30000\r\n");
    worker.run_cycle();
    const platform::process_id renderer = control.find_running();
    ASSERT_NE(renderer, 0) << "the worker started no renderer";
    EXPECT_EQ(queue.job_state(first), protocol::job_status::running);
    ASSERT_TRUE(platform::terminate_process(renderer, 5s));
    ASSERT_TRUE(eventually([this] { return control.find_running() == 0; }, 5s));

    // Nothing reports the end; the next cycle, long before the limit, sees
    // the renderer has gone.
    clock.now += 500;
    worker.run_cycle();
    EXPECT_EQ(queue.job_state(first), protocol::job_status::done);
    EXPECT_EQ(worker.current_job(), -1);
    std::string message;
    int number = 0;
    EXPECT_EQ(zebrix::read_job_status(queue.job_folder(first), message, number),
              protocol::job_outcome::failed);
    EXPECT_EQ(message, "Error occurred on server");
    std::string status;
    platform::read_file(queue.job_folder(first) + "ZebOutput.txt", status);
    EXPECT_EQ(status.rfind("Error=-100", 0), 0u) << status;

    // A fresh renderer takes the next job and writes its result.
    const int second = queue.add_job("Output=songlist\r\nRenderMs=50\r\n");
    worker.run_cycle();
    ASSERT_EQ(worker.current_job(), second);
    EXPECT_NE(control.find_running(), 0);
    ASSERT_TRUE(eventually(
        [&] { return platform::file_exists(queue.job_folder(second) + "SongList.txt"); }, 15s));
    ASSERT_TRUE(eventually(
        [&] { return platform::file_exists(queue.job_folder(second) + "ZebOutput.txt"); }, 5s));
    worker.finish_current_job(); // the report the main window would pass on
    EXPECT_EQ(queue.job_state(second), protocol::job_status::done);
    EXPECT_NE(zebrix::read_job_status(queue.job_folder(second), message, number),
              protocol::job_outcome::failed);
}
