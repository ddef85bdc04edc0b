// Several clients fetch the archive of one finished job at the same time.
// The job's result is handed out once: one client gets a whole archive, the
// others the error reply, never a success with an empty or broken archive.
#include "net/wire.hpp"
#include "tests/support/job_calls.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using namespace zs;
using namespace std::chrono_literals;

constexpr int rounds = 12;
constexpr int fetchers = 6;

// The archive ends with an end record that counts at least one entry.
bool whole_archive(const std::string& zip) {
    if (zip.size() < 22) {
        return false;
    }
    const auto* end = reinterpret_cast<const std::uint8_t*>(zip.data()) + zip.size() - 22;
    return net::read_word(end) == 0x06054B50 && (end[10] | (end[11] << 8)) > 0;
}

TEST(FetchRace, ConcurrentArchiveFetchesHandTheResultOutOnce) {
    test::staged_server server;
    ASSERT_TRUE(server.start());
    const auto port = server.tcp_port();
    for (int round = 0; round < rounds; ++round) {
        const auto job = test::job_call(port, 0, 0, "Output=songlist\r\nRenderMs=10\r\n");
        ASSERT_EQ(job.status, 1);
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (test::job_call(port, 2, job.id, "").status != 0) {
            ASSERT_LT(std::chrono::steady_clock::now(), end) << "job " << job.id << " never done";
            std::this_thread::sleep_for(30ms);
        }
        std::vector<test::job_reply> replies(fetchers);
        std::vector<std::thread> threads;
        for (auto& r : replies) {
            threads.emplace_back([&r, port, &job] { r = test::job_call(port, 4, job.id, ""); });
        }
        for (auto& t : threads) {
            t.join();
        }
        int successes = 0;
        for (const auto& r : replies) {
            if (r.status == 0) {
                ++successes;
                EXPECT_TRUE(whole_archive(r.body)) << "round " << round << ": " << r.body.size()
                                                   << " bytes reported as an archive";
            } else {
                EXPECT_EQ(r.status, -1);
                EXPECT_EQ(r.body, "Server is unable to process the request");
            }
        }
        EXPECT_EQ(successes, 1) << "round " << round;
    }
    server.stop();
    test::end_programs(server);
}

} // namespace
