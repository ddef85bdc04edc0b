// Render-job headers that announce a 16 MiB body and then send nothing: the
// server must not set memory aside for bytes that never come (a few hundred
// such clients would exhaust it). A large body that does arrive, in many
// pieces, is still read whole.
#include "client/client_session.hpp"
#include "net/wire.hpp"
#include "tests/support/job_calls.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace zs;
using namespace std::chrono_literals;

constexpr int announcing_clients = 40;
constexpr long growth_limit_kb = 64 * 1024; // 40 bodies of 16 MiB would be 640 MiB

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

TEST(MemoryFault, AnnouncedBodiesAreNotHeldBeforeTheyArrive) {
    test::staged_server server;
    ASSERT_TRUE(server.start());
    const long before = resident_kb(server.pid());
    std::vector<std::unique_ptr<client::session>> clients;
    for (int i = 0; i < announcing_clients; ++i) {
        auto s = std::make_unique<client::session>(10s);
        s->set_source(i % 2 == 0 ? "127.0.0.1" : "127.0.0.2"); // within the per-address cap
        const auto header = test::job_request_bytes(0, 0, 0x1000000);
        ASSERT_TRUE(s->connect("127.0.0.1", server.tcp_port()));
        ASSERT_TRUE(s->write_bytes(header.data(), header.size()));
        ASSERT_EQ(s->read_word(), 1); // the header is read; the body read is pending
        clients.push_back(std::move(s));
    }
    std::this_thread::sleep_for(300ms);
    const long during = resident_kb(server.pid());
    std::printf("resident memory: %ld kB before, %ld kB with %d announced 16 MiB bodies\n", before,
                during, announcing_clients);
    EXPECT_LT(during - before, growth_limit_kb);
    clients.clear();

    // A 300 kB job text in many pieces is still one job.
    std::string text = "Output=songlist\r\nRenderMs=20\r\n";
    text.resize(300 * 1024, 'x');
    client::session s(20s);
    auto request = test::job_request_bytes(0, 0, static_cast<std::int32_t>(text.size()));
    request.insert(request.end(), text.begin(), text.end());
    ASSERT_TRUE(s.connect("127.0.0.1", server.tcp_port()));
    ASSERT_TRUE(s.write_bytes(request.data(), request.size()));
    ASSERT_EQ(s.read_word(), 1);
    const auto reply = s.read_exact(116);
    ASSERT_TRUE(reply);
    EXPECT_EQ(net::read_word(reply->data() + 4), 1) << "accepted";
    EXPECT_GE(net::read_word(reply->data() + 8), 0);
    EXPECT_TRUE(server.running());
    server.stop();
    test::end_programs(server);
}

// Eight 16 MiB jobs took 418 MB that stayed after the queue emptied: a
// job's text is kept once and its memory goes back when the job leaves.
TEST(MemoryFault, LargeJobTextsAreNotKeptAfterTheirJobsEnd) {
    test::staged_server server;
    ASSERT_TRUE(server.start());
    const long before = resident_kb(server.pid());
    std::string text = "Output=songlist\r\nRenderMs=1\r\n";
    text.resize(0x1000000, 'x');
    std::vector<std::int32_t> ids;
    for (int i = 0; i < 8; ++i) {
        client::session s(30s);
        auto request = test::job_request_bytes(0, 0, static_cast<std::int32_t>(text.size()));
        request.insert(request.end(), text.begin(), text.end());
        ASSERT_TRUE(s.connect("127.0.0.1", server.tcp_port()));
        ASSERT_TRUE(s.write_bytes(request.data(), request.size()));
        ASSERT_EQ(s.read_word(), 1);
        const auto reply = s.read_exact(116);
        ASSERT_TRUE(reply);
        ASSERT_EQ(net::read_word(reply->data() + 4), 1) << "accepted";
        ids.push_back(net::read_word(reply->data() + 8));
    }
    // Every job rendered: no text is held any more.
    for (const std::int32_t id : ids) {
        const auto end = std::chrono::steady_clock::now() + 60s;
        std::int32_t status = -2;
        while (status != 0 && std::chrono::steady_clock::now() < end) {
            client::session s(10s);
            const auto request = test::job_request_bytes(2, id, 0);
            if (s.connect("127.0.0.1", server.tcp_port()) &&
                s.write_bytes(request.data(), request.size()) && s.read_word() == 1) {
                if (const auto reply = s.read_exact(116)) {
                    status = net::read_word(reply->data() + 4);
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        ASSERT_EQ(status, 0) << "job " << id << " never ended";
    }
    const long after = resident_kb(server.pid());
    std::printf("resident memory: %ld kB before, %ld kB after eight 16 MiB jobs\n", before, after);
    EXPECT_LT(after - before, 48 * 1024);
    server.stop();
}

} // namespace
