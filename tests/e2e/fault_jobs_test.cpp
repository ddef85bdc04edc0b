// Faults of render jobs against the staged server: a job folder deleted under
// the server, and the renderer killed while it works (the job ends within a
// few worker cycles, not the 300 s limit). The job ends with an error, its
// fetch with the error reply, and the server goes on serving the next job.
#include "client/client_session.hpp"
#include "platform/desktop.hpp"
#include "platform/process.hpp"
#include "protocol/payload.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

using namespace zs;
using namespace std::chrono_literals;

struct job_reply {
    std::int32_t status = -2;
    std::int32_t id = -2;
    std::string body;
};

job_reply job_call(std::uint16_t port, std::int32_t type, std::int32_t id,
                   const std::string& body) {
    client::session s(20s);
    std::vector<std::uint8_t> request(4 + 112 + body.size(), 0);
    protocol::put_word(request.data() + 4, type);
    protocol::put_word(request.data() + 8, id);
    protocol::put_word(request.data() + 12, static_cast<std::int32_t>(body.size()));
    std::memcpy(request.data() + 4 + 112, body.data(), body.size());
    job_reply r;
    if (!s.connect("127.0.0.1", port) || !s.write_bytes(request.data(), request.size()) ||
        s.read_word() != 1) {
        return r;
    }
    const auto header = s.read_exact(116);
    if (!header) {
        return r;
    }
    r.status = protocol::get_word(header->data() + 4);
    r.id = protocol::get_word(header->data() + 8);
    const auto length = protocol::get_word(header->data() + 12);
    if (length > 0) {
        const auto b = s.read_exact(static_cast<std::size_t>(length));
        if (b) {
            r.body.assign(b->begin(), b->end());
        }
    }
    return r;
}

// Polls the job's state until it is done (status 0), at most `limit`.
bool wait_done(std::uint16_t port, std::int32_t id, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (job_call(port, 2, id, "").status == 0) {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

class JobFault : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }
    void TearDown() override {
        server.stop();
        for (const auto& w : server.windows()) {
            server.end_program(w.pid);
        }
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
    const auto busy = job_call(port, 0, 0, "Output=songlist\r\nRenderMs=2500\r\n");
    ASSERT_EQ(busy.status, 1);
    const auto copy = job_call(port, 0, 0, "ZebMiniAudioFile=demo.mp4");
    ASSERT_EQ(copy.status, 1);
    ASSERT_TRUE(std::filesystem::is_directory(job_folder(copy.id)));
    std::filesystem::remove_all(job_folder(copy.id));

    ASSERT_TRUE(wait_done(port, busy.id, 30s));
    ASSERT_TRUE(wait_done(port, copy.id, 30s));
    const auto fetched = job_call(port, 1, copy.id, "");
    EXPECT_EQ(fetched.status, -1);
    EXPECT_EQ(fetched.id, -1);
    EXPECT_EQ(fetched.body, "Error occurred on server");
    // The slow job is untouched and its result is fetched.
    const auto result = job_call(port, 1, busy.id, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(result.body.empty());
    // The queue and worker go on.
    const auto next = job_call(port, 0, 0, "ZebMiniAudioFile=demo.mp4");
    ASSERT_EQ(next.status, 1);
    ASSERT_TRUE(wait_done(port, next.id, 30s));
    const auto audio = job_call(port, 1, next.id, "");
    EXPECT_EQ(audio.status, 0);
    EXPECT_FALSE(audio.body.empty());
}

TEST_F(JobFault, RendererKilledMidJobEndsTheJobWithinTenSecondsAndServesTheNext) {
    const auto port = server.tcp_port();
    const auto job = job_call(port, 0, 0, "Output=songlist\r\nRenderMs=20000\r\n");
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
    const auto waiting = job_call(port, 0, 0, "Output=song\r\nRenderMs=50\r\n");
    ASSERT_EQ(waiting.status, 1);
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(server.end_program(static_cast<int>(renderer)));
    const auto killed = std::chrono::steady_clock::now();
    // Nobody reports the end: the worker notices the renderer has gone.
    ASSERT_TRUE(wait_done(port, job.id, 10s)) << "the job still renders 10 s after the kill";
    const auto ended = std::chrono::steady_clock::now() - killed;
    std::printf("job ended %lld ms after its renderer was killed\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(ended).count()));
    EXPECT_LT(ended, 10s);
    const auto fetched = job_call(port, 1, job.id, "");
    EXPECT_EQ(fetched.status, -1);
    EXPECT_EQ(fetched.body, "Error occurred on server");
    // The job behind it gets a new renderer and its own result.
    ASSERT_TRUE(wait_done(port, waiting.id, 30s));
    const auto result = job_call(port, 1, waiting.id, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.body.find("Title=Rendered Song"), std::string::npos) << result.body;
    for (const auto& w : server.windows()) {
        if (w.class_name == "TZebrix3Window") {
            EXPECT_NE(static_cast<platform::process_id>(w.pid), renderer);
        }
    }
}

} // namespace
