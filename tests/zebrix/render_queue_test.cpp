// Job ids, queue positions, states, result files and the clean-up of
// finished jobs, with a clock the test moves.
#include "platform/files.hpp"
#include "tests/support/temp_folder.hpp"
#include "zebrix/render_queue.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace zs;
using zebrix::choose_job_id;

namespace {

class manual_clock final : public platform::clock_source {
public:
    std::uint32_t now_ms() override { return now.load(); }
    std::atomic<std::uint32_t> now{1000};
};

struct queue_fixture : ::testing::Test {
    test::temp_folder tmp{"zs-rq"};
    manual_clock clock;
    bool debug = false;
    zebrix::render_queue queue{tmp / "outputs/", [this] { return debug; }, clock};
};

} // namespace

TEST(JobId, RuleOverHintsGapsAndTheThousandMark) {
    EXPECT_EQ(choose_job_id({}, 0), 0);
    EXPECT_EQ(choose_job_id({0}, 1), 1);
    EXPECT_EQ(choose_job_id({}, 2), 2); // after 0 and 1 were removed
    EXPECT_EQ(choose_job_id({3, 4}, 4), 5);
    EXPECT_EQ(choose_job_id({1000, 1001}, 1002), 1002); // the hint is free
    EXPECT_EQ(choose_job_id({999}, 999), 1000);         // no gap known
    EXPECT_EQ(choose_job_id({5, 1200}, 1200), 6);       // gap after 5
    EXPECT_EQ(choose_job_id({1500, 3}, 1500), 0);       // out of order: 0
    EXPECT_EQ(choose_job_id({1, 2}, -1), 3);
}

TEST_F(queue_fixture, IdsFoldersAndRemoval) {
    ASSERT_TRUE(queue.start());
    EXPECT_EQ(queue.add_job("a"), 0);
    EXPECT_EQ(queue.add_job("b"), 1);
    EXPECT_TRUE(platform::folder_exists(tmp / "outputs/000/"));
    EXPECT_EQ(queue.job_folder(7), tmp / "outputs/007/");
    EXPECT_EQ(queue.job_folder(1000), tmp / "outputs/1000/");
    queue.remove_job(0);
    queue.remove_job(1);
    EXPECT_FALSE(platform::folder_exists(tmp / "outputs/000/"));
    EXPECT_EQ(queue.job_state(0), protocol::job_status::unknown);
    EXPECT_EQ(queue.add_job("c"), 2);
}

TEST_F(queue_fixture, StartAndStopEmptyTheOutputsFolder) {
    platform::make_folders(tmp / "outputs/old/");
    platform::write_file(tmp / "outputs/old/x", "1");
    ASSERT_TRUE(queue.start());
    EXPECT_FALSE(platform::folder_exists(tmp / "outputs/old/"));
    queue.add_job("a");
    queue.stop();
    EXPECT_FALSE(platform::folder_exists(tmp / "outputs/000/"));
    EXPECT_TRUE(platform::folder_exists(tmp / "outputs/"));

    debug = true;
    queue.start();
    queue.add_job("b");
    queue.stop();
    EXPECT_TRUE(platform::folder_exists(tmp / "outputs/000/"));
}

TEST_F(queue_fixture, PositionCountsWaitingJobsAhead) {
    queue.start();
    for (int i = 0; i < 4; ++i) {
        queue.add_job("job");
    }
    EXPECT_EQ(queue.queue_position(0), 1);
    EXPECT_EQ(queue.queue_position(3), 4);
    EXPECT_EQ(queue.queue_position(99), -1);
    queue.mark_running(0);
    EXPECT_EQ(queue.queue_position(0), 0);
    EXPECT_EQ(queue.queue_position(1), 1);
    EXPECT_EQ(queue.queue_position(3), 3);
    queue.mark_done(0);
    queue.mark_running(1);
    EXPECT_EQ(queue.queue_position(0), 0);
    EXPECT_EQ(queue.queue_position(2), 1);
    EXPECT_EQ(queue.job_state(1), protocol::job_status::running);
    EXPECT_EQ(queue.job_state(0), protocol::job_status::done);
}

TEST_F(queue_fixture, WorkerSideTakesWaitingJobsInOrder) {
    queue.start();
    std::string text;
    EXPECT_EQ(queue.first_waiting(text), -1);
    queue.add_job(std::string("a\0b", 3));
    queue.add_job("second");
    EXPECT_EQ(queue.first_waiting(text), 0);
    EXPECT_EQ(text, std::string("a\0b", 3));
    queue.mark_running(0);
    EXPECT_EQ(queue.first_waiting(text), 1);
    EXPECT_EQ(text, "second");
}

// Unbounded submissions took the server's memory: both bounds refuse a
// further job and free room again as jobs leave the waiting line.
TEST(RenderQueueBounds, SubmissionsBeyondTheWaitingBoundsAreRefused) {
    test::temp_folder tmp{"zs-rqb"};
    manual_clock clock;
    zebrix::render_queue_settings settings;
    settings.max_waiting_jobs = 3;
    settings.max_waiting_bytes = 10;
    zebrix::render_queue queue{tmp / "outputs/", [] { return false; }, clock, settings};
    queue.start();
    EXPECT_EQ(queue.add_job("1"), 0);
    EXPECT_EQ(queue.add_job("2"), 1);
    EXPECT_EQ(queue.add_job("3"), 2);
    EXPECT_EQ(queue.add_job("4"), protocol::add_queue_full);
    EXPECT_FALSE(platform::folder_exists(tmp / "outputs/003/"));

    // The worker takes job 0: it no longer waits, one more fits.
    std::string text;
    EXPECT_EQ(queue.first_waiting(text), 0);
    EXPECT_EQ(text, "1");
    queue.mark_running(0);
    EXPECT_EQ(queue.add_job("12345678"), 3); // 2 + 8 bytes wait now
    queue.remove_job(1);
    EXPECT_EQ(queue.add_job("xx"), protocol::add_queue_full) << "11 bytes would wait";
    const std::int32_t small = queue.add_job("x");
    EXPECT_GE(small, 0);
    queue.remove_job(3);
    queue.remove_job(small);
    EXPECT_GE(queue.add_job("123456789"), 0) << "the bytes of removed jobs are free again";

    // A stop drops every job and its bytes.
    queue.stop();
    queue.start();
    EXPECT_EQ(queue.add_job("0123456789"), 0);
    EXPECT_EQ(queue.add_job(""), 1);
    EXPECT_EQ(queue.add_job("a"), protocol::add_queue_full);
}

// 1,500 submissions from one address took all 1,000 places and locked every
// other client out: each address gets its share, and the others still get in.
TEST(RenderQueueBounds, OneClientTakesOnlyItsShareOfTheWaitingPlaces) {
    test::temp_folder tmp{"zs-rqs"};
    manual_clock clock;
    zebrix::render_queue_settings settings;
    settings.max_waiting_jobs = 5;
    settings.max_waiting_per_client = 2;
    zebrix::render_queue queue{tmp / "outputs/", [] { return false; }, clock, settings};
    queue.start();
    EXPECT_EQ(queue.add_job("1", "10.0.0.1"), 0);
    EXPECT_EQ(queue.add_job("2", "10.0.0.1"), 1);
    EXPECT_EQ(queue.add_job("3", "10.0.0.1"), protocol::add_share_full);
    EXPECT_EQ(queue.add_job("4", "10.0.0.2"), 2) << "another address still gets a place";
    std::string text;
    EXPECT_EQ(queue.first_waiting(text), 0);
    queue.mark_running(0);
    EXPECT_EQ(queue.add_job("5", "10.0.0.1"), 3) << "a running job no longer waits";
}

// Finished jobs that a client polls but never fetches stayed for good, each
// with its folder: the oldest finished one goes beyond either bound, the
// one just finished never.
TEST(RenderQueueBounds, FinishedJobsAreBoundInCountAndDiskUse) {
    test::temp_folder tmp{"zs-rqd"};
    manual_clock clock;
    zebrix::render_queue_settings settings;
    settings.max_done_jobs = 2;
    settings.max_done_bytes = 1000;
    zebrix::render_queue queue{tmp / "outputs/", [] { return false; }, clock, settings};
    queue.start();
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(queue.add_job("x"), i);
    }
    queue.mark_done(1);
    queue.mark_done(0);
    platform::write_file(tmp / "outputs/002/Song.txt", std::string(200, 's'));
    testing::internal::CaptureStderr(); // the operator log
    queue.mark_done(2);                 // three finished: 1, the oldest, goes
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find(" Render job 1 was dropped unfetched: finished jobs are kept up to 2 and "
                       "1000 bytes\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(queue.job_state(1), protocol::job_status::unknown);
    EXPECT_FALSE(platform::folder_exists(tmp / "outputs/001/"));
    EXPECT_EQ(queue.job_state(0), protocol::job_status::done);
    EXPECT_EQ(queue.job_state(2), protocol::job_status::done);
    platform::write_file(tmp / "outputs/003/audio.mp4", std::string(900, 'a'));
    queue.mark_done(3); // 0 goes for the count, 2 for the bytes
    EXPECT_EQ(queue.job_state(0), protocol::job_status::unknown);
    EXPECT_EQ(queue.job_state(2), protocol::job_status::unknown);
    EXPECT_EQ(queue.job_state(3), protocol::job_status::done);
    platform::write_file(tmp / "outputs/004/audio.mp4", std::string(2000, 'a'));
    queue.mark_done(4); // alone over the bytes: kept, the older one goes
    EXPECT_EQ(queue.job_state(3), protocol::job_status::unknown);
    EXPECT_EQ(queue.job_state(4), protocol::job_status::done);
}

TEST_F(queue_fixture, DoneJobsAreDroppedAMinuteAfterTheirLastQuery) {
    queue.start();
    queue.add_job("a");
    queue.add_job("b");
    queue.mark_done(0);
    clock.now += 50000;
    EXPECT_EQ(queue.job_state(0), protocol::job_status::done); // renews its time
    clock.now += 59000;
    queue.drop_expired();
    EXPECT_EQ(queue.job_state(0), protocol::job_status::done);
    clock.now += 60001;
    queue.drop_expired();
    EXPECT_EQ(queue.job_state(0), protocol::job_status::unknown);
    EXPECT_FALSE(platform::folder_exists(tmp / "outputs/000/"));
    EXPECT_EQ(queue.job_state(1), protocol::job_status::waiting); // never started, kept
}

TEST(RenderQueue, MaintenanceThreadDropsExpiredJobs) {
    test::temp_folder tmp("zs-rq");
    manual_clock clock;
    zebrix::render_queue_settings settings;
    settings.maintenance_interval = std::chrono::milliseconds(5);
    zebrix::render_queue queue(
        tmp / "outputs/", [] { return false; }, clock, settings);
    queue.start();
    queue.add_job("a");
    queue.mark_done(0);
    clock.now += 60001;
    for (int i = 0; i < 1000 && queue.queue_position(0) != -1; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(queue.queue_position(0), -1);
    queue.stop();
}

TEST_F(queue_fixture, ResultFileAndArchive) {
    queue.start();
    queue.add_job("a");
    std::string path;
    EXPECT_FALSE(queue.find_job_result(0, path));
    platform::write_file(tmp / "outputs/000/Song.txt", "s");
    platform::write_file(tmp / "outputs/000/SongList.txt", "l");
    ASSERT_TRUE(queue.find_job_result(0, path));
    EXPECT_EQ(path, tmp / "outputs/000/SongList.txt");
    platform::write_file(tmp / "outputs/000/audio.mp4", "m");
    ASSERT_TRUE(queue.find_job_result(0, path));
    EXPECT_EQ(path, tmp / "outputs/000/audio.mp4");

    ASSERT_TRUE(queue.zip_job_folder(0, path));
    EXPECT_EQ(path, tmp / "outputs/000.zip");
    EXPECT_TRUE(platform::file_exists(path));
    EXPECT_FALSE(queue.zip_job_folder(5, path));
}

TEST(RenderQueue, AJobFolderThatCannotBeMadeRefusesTheJobAndSaysWhy) {
    test::temp_folder tmp{"zs-rq"};
    manual_clock clock;
    // A file where the outputs folder should be: no job folder can be made in it.
    ASSERT_TRUE(platform::write_file(tmp / "outputs", "not a folder"));
    zebrix::render_queue queue{tmp / "outputs/", [] { return false; }, clock};
    testing::internal::CaptureStderr(); // the server log's copy
    EXPECT_EQ(queue.add_job("x=1"), protocol::add_failed);
    const std::string logged = testing::internal::GetCapturedStderr();
    const auto at = logged.find("could not be made (");
    ASSERT_NE(at, std::string::npos) << logged;
    EXPECT_NE(logged[at + 19], ')') << "the cause is missing: " << logged;
    EXPECT_NE(logged.find("the job was refused"), std::string::npos) << logged;
}
