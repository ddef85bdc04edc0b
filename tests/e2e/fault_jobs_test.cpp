// Faults of render jobs against the staged server: a job folder deleted under
// the server, and the renderer killed while it works (the job ends within a
// few worker cycles, not the 300 s limit). The job ends with an error, its
// fetch with the error reply, and the server goes on serving the next job.
#include "platform/desktop.hpp"
#include "platform/process.hpp"
#include "tests/support/job_calls.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

using namespace zs;
using namespace std::chrono_literals;

class JobFault : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }
    void TearDown() override {
        server.stop();
        test::end_programs(server);
    }
    std::string job_folder(std::int32_t id) {
        char name[16];
        std::snprintf(name, sizeof name, "%03d", id);
        return server.helper_dir() + "outputs/" + name + "/";
    }
    test::staged_server server;
};

TEST_F(JobFault, JobFolderDeletedUnderTheServerFailsOnlyThatJob) {
    const auto port = server.tcp_port();
    // A slow render keeps the renderer busy while the next job waits.
    const auto busy = test::job_call(port, 0, 0, "Output=songlist\r\nRenderMs=2500\r\n");
    ASSERT_EQ(busy.status, 1);
    const auto copy = test::job_call(port, 0, 0, "ZebMiniAudioFile=demo.mp4");
    ASSERT_EQ(copy.status, 1);
    ASSERT_TRUE(std::filesystem::is_directory(job_folder(copy.id)));
    std::filesystem::remove_all(job_folder(copy.id));

    ASSERT_TRUE(test::wait_job_state(port, busy.id, 0, 30s));
    ASSERT_TRUE(test::wait_job_state(port, copy.id, 0, 30s));
    const auto fetched = test::job_call(port, 1, copy.id, "");
    EXPECT_EQ(fetched.status, -1);
    EXPECT_EQ(fetched.id, -1);
    EXPECT_EQ(fetched.body, "Error occurred on server");
    // The slow job is untouched and its result is fetched.
    const auto result = test::job_call(port, 1, busy.id, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(result.body.empty());
    // The queue and worker go on.
    const auto next = test::job_call(port, 0, 0, "ZebMiniAudioFile=demo.mp4");
    ASSERT_EQ(next.status, 1);
    ASSERT_TRUE(test::wait_job_state(port, next.id, 0, 30s));
    const auto audio = test::job_call(port, 1, next.id, "");
    EXPECT_EQ(audio.status, 0);
    EXPECT_FALSE(audio.body.empty());
}

// A result file that cannot be packed answered the archive fetch with status
// 0 and an empty body, and the job was removed: the result was lost.
TEST_F(JobFault, ArchiveThatCannotBeMadeIsAFailureWithItsReasonAndTheJobStays) {
    if (test::windows_stage()) {
        GTEST_SKIP() << "a dangling link is the Linux way to make an unreadable entry";
    }
    const auto port = server.tcp_port();
    const auto job = test::job_call(port, 0, 0, "Output=song\r\nRenderMs=20\r\n");
    ASSERT_EQ(job.status, 1);
    ASSERT_TRUE(test::wait_job_state(port, job.id, 0, 30s));
    std::filesystem::create_symlink(job_folder(job.id) + "gone.wav",
                                    job_folder(job.id) + "lost.wav");
    const auto fetched = test::job_call(port, 4, job.id, "");
    EXPECT_EQ(fetched.status, -1);
    EXPECT_NE(fetched.body.find("//lost.wav"), std::string::npos) << fetched.body;
    EXPECT_NE(fetched.body.find("No such file or directory"), std::string::npos) << fetched.body;
    // Still there: once the entry is readable again the archive comes.
    std::filesystem::remove(job_folder(job.id) + "lost.wav");
    const auto again = test::job_call(port, 4, job.id, "");
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.body.substr(0, 4), std::string("PK\x03\x04", 4));
}

TEST_F(JobFault, RendererKilledMidJobEndsTheJobWithinTenSecondsAndServesTheNext) {
    const auto port = server.tcp_port();
    const auto job = test::job_call(port, 0, 0, "Output=songlist\r\nRenderMs=20000\r\n");
    ASSERT_EQ(job.status, 1);
    platform::process_id renderer = 0;
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (renderer == 0 && std::chrono::steady_clock::now() < end) {
        for (const auto& w : server.windows()) {
            if (w.class_name == "TZebrix3Window") {
                renderer = static_cast<platform::process_id>(w.pid);
            }
        }
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_NE(renderer, 0) << "the renderer never showed its window";
    const auto waiting = test::job_call(port, 0, 0, "Output=song\r\nRenderMs=50\r\n");
    ASSERT_EQ(waiting.status, 1);
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(server.end_program(static_cast<int>(renderer)));
    const auto killed = std::chrono::steady_clock::now();
    // Nobody reports the end: the worker notices the renderer has gone.
    ASSERT_TRUE(test::wait_job_state(port, job.id, 0, 10s))
        << "the job still renders 10 s after the kill";
    const auto ended = std::chrono::steady_clock::now() - killed;
    std::printf("job ended %lld ms after its renderer was killed\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(ended).count()));
    EXPECT_LT(ended, 10s);
    const auto fetched = test::job_call(port, 1, job.id, "");
    EXPECT_EQ(fetched.status, -1);
    EXPECT_EQ(fetched.body, "Error occurred on server");
    // The job behind it gets a new renderer and its own result.
    ASSERT_TRUE(test::wait_job_state(port, waiting.id, 0, 30s));
    const auto result = test::job_call(port, 1, waiting.id, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.body.find("Title=Rendered Song"), std::string::npos) << result.body;
    for (const auto& w : server.windows()) {
        if (w.class_name == "TZebrix3Window") {
            EXPECT_NE(static_cast<platform::process_id>(w.pid), renderer);
        }
    }
}

} // namespace
