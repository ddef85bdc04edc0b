// Several clients fetch the archive of one finished job at the same time.
// The job's result is handed out once: one client gets a whole archive, the
// others the error reply, never a success with an empty or broken archive.
#include "client/client_session.hpp"
#include "platform/desktop.hpp"
#include "platform/process.hpp"
#include "protocol/payload.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// The stand-in programs outlive the server by design; end them with the test.
void end_programs(const zs::test::staged_server& server) {
    for (const auto& w : server.windows()) {
        server.end_program(w.pid);
    }
}

using namespace zs;
using namespace std::chrono_literals;

constexpr int rounds = 12;
constexpr int fetchers = 6;

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
    std::copy(body.begin(), body.end(), request.begin() + 4 + 112);
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
        if (const auto b = s.read_exact(static_cast<std::size_t>(length))) {
            r.body.assign(b->begin(), b->end());
        }
    }
    return r;
}

// The archive ends with an end record that counts at least one entry.
bool whole_archive(const std::string& zip) {
    if (zip.size() < 22) {
        return false;
    }
    const auto* end = reinterpret_cast<const std::uint8_t*>(zip.data()) + zip.size() - 22;
    return protocol::get_word(end) == 0x06054B50 && (end[10] | (end[11] << 8)) > 0;
}

TEST(FetchRace, ConcurrentArchiveFetchesHandTheResultOutOnce) {
    test::staged_server server;
    ASSERT_TRUE(server.start());
    const auto port = server.tcp_port();
    for (int round = 0; round < rounds; ++round) {
        const auto job = job_call(port, 0, 0, "Output=songlist\r\nRenderMs=10\r\n");
        ASSERT_EQ(job.status, 1);
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (job_call(port, 2, job.id, "").status != 0) {
            ASSERT_LT(std::chrono::steady_clock::now(), end) << "job " << job.id << " never done";
            std::this_thread::sleep_for(30ms);
        }
        std::vector<job_reply> replies(fetchers);
        std::vector<std::thread> threads;
        for (auto& r : replies) {
            threads.emplace_back([&r, port, &job] { r = job_call(port, 4, job.id, ""); });
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
    end_programs(server);
}

} // namespace
