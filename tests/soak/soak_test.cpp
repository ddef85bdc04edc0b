// A few hundred clients at once against the staged server: correct
// protocol-1 and protocol-0 clients, discovery, random bytes, resets in the
// middle of a frame, slow readers and clients that vanish. Afterwards a
// normal client is served, and the server's descriptors and resident memory
// are back where they were.
#include "platform/desktop.hpp"
#include "platform/process.hpp"
#include "tests/soak/soak_clients.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using namespace zs;

// Time and count bounds of the run, in one place.
constexpr int clients_per_wave = 250;
constexpr int max_waves = 12;
constexpr auto run_limit = 40s;
constexpr auto settle_limit = 15s;              // for the 500 ms close pauses to pass
constexpr long rss_growth_limit_kb = 64 * 1024; // loose: allocator caches may keep some

std::size_t open_descriptors(pid_t pid) {
    std::error_code ec;
    std::size_t n = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        ++n;
    }
    return n;
}

long resident_kb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Runs `count` clients at once, kinds in turn.
void wave(int first, int count, const soak::target& t, soak::tally& counts) {
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(count));
    for (int i = first; i < first + count; ++i) {
        threads.emplace_back([i, &t, &counts] {
            std::mt19937 random(static_cast<unsigned>(i) * 7919u + 17u);
            const auto k = static_cast<soak::kind>(i % static_cast<int>(soak::kind::count));
            soak::run_client(k, t, counts, random);
        });
    }
    for (auto& th : threads) {
        th.join();
    }
}

bool settle(pid_t pid, std::size_t limit) {
    const auto end = std::chrono::steady_clock::now() + settle_limit;
    while (open_descriptors(pid) > limit) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

TEST(Soak, HundredsOfMixedClientsLeaveTheServerAsItWas) {
    test::staged_server server;
    test::server_options options;
    options.env["ZEBRIX_SEND_TIMEOUT_MS"] = "5000";
    ASSERT_TRUE(server.start(options));
    const soak::target t{server.tcp_port(), server.udp_port()};

    // One of each first, so that what a first use allocates for good is in the baseline.
    soak::tally warm;
    wave(0, static_cast<int>(soak::kind::count), t, warm);
    ASSERT_EQ(warm.errors.load(), 0) << server.stderr_text();
    std::this_thread::sleep_for(1500ms);
    const std::size_t fds_before = open_descriptors(server.pid());
    const long rss_before = resident_kb(server.pid());
    ASSERT_GT(fds_before, 0u);

    soak::tally counts;
    const auto start = std::chrono::steady_clock::now();
    int waves = 0;
    while (waves < max_waves && std::chrono::steady_clock::now() - start < run_limit) {
        wave(1000 + waves * clients_per_wave, clients_per_wave, t, counts);
        ++waves;
        ASSERT_TRUE(server.running()) << "the server died in wave " << waves;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::string why;
    EXPECT_TRUE(soak::served_song_client(t, why)) << why;
    EXPECT_TRUE(soak::served_job_status(t, why)) << why;
    const bool settled = settle(server.pid(), fds_before);
    const std::size_t fds_after = open_descriptors(server.pid());
    const long rss_after = resident_kb(server.pid());

    std::printf("SOAK clients=%d correct_clients=%d requests=%d errors=%d controlled=%d "
                "jobs=%d waves=%d seconds=%.1f\n",
                counts.clients.load(), counts.correct_clients.load(), counts.requests.load(),
                counts.errors.load(), counts.controlled.load(), counts.jobs_accepted.load(), waves,
                seconds);
    std::printf("SOAK fds_before=%zu fds_after=%zu rss_before_kb=%ld rss_after_kb=%ld\n",
                fds_before, fds_after, rss_before, rss_after);
    std::fflush(stdout);

    EXPECT_EQ(counts.errors.load(), 0) << "failures seen by correct clients (see stderr)";
    EXPECT_GE(counts.clients.load(), clients_per_wave);
    EXPECT_GE(counts.controlled.load(), 1) << "no remote-control client ever got control";
    EXPECT_TRUE(settled) << "descriptors: " << fds_after << " after, " << fds_before << " before";
    EXPECT_LE(fds_after, fds_before);
    EXPECT_GT(rss_before, 0);
    EXPECT_LT(rss_after, rss_before + rss_growth_limit_kb);
    EXPECT_TRUE(server.running());
    server.stop();
    test::end_programs(server);
}

} // namespace
