// Render-job headers that announce a 16 MiB body and then send nothing: the
// server must not set memory aside for bytes that never come (a few hundred
// such clients would exhaust it). A large body that does arrive, in many
// pieces, is still read whole. An Orvanta request naming millions of files
// costs no more than its own size.
#include "client/client_session.hpp"
#include "net/wire.hpp"
#include "protocol/payload.hpp"
#include "tests/support/job_calls.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace zs;
using namespace std::chrono_literals;

constexpr int announcing_clients = 40;
constexpr long growth_limit_kb = 64 * 1024; // 40 bodies of 16 MiB would be 640 MiB

long status_kb(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(field.size()));
        }
    }
    return -1;
}

long resident_kb(pid_t pid) {
    return status_kb(pid, "VmRSS:");
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

// 4,194,300 empty names in one 16 MiB request took the server from 6 MB to
// over 1 GB (a file object and a read of song.txt per name) and, under an
// address-space limit, ended it. Now the request is refused with a reply
// naming the limit, and the session and server go on. (On Windows 600,000
// names kept the server busy 111 s past its close, holding Orvanta; this
// case also runs against the Windows stage.)
TEST(MemoryFault, OrvantaRequestOfMillionsOfNamesIsRefused) {
    test::staged_server server;
    ASSERT_TRUE(server.start());
    client::session s(120s); // bounds the old behaviour's half minute too
    ASSERT_TRUE(s.open_protocol1("127.0.0.1", server.tcp_port(), "kxvwq"));
    ASSERT_EQ(s.choose_client_type(2), 1);
    ASSERT_EQ(s.read_word(), 1);
    const long before = resident_kb(server.pid());
    protocol::item_list items;
    items.add_file_list()->names.resize((protocol::max_body_length - 16) / 4);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(s.send_request({2, 1, 1, 2, 0, 0, 0}, &items));
    const auto r = s.read_response();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    const long peak = status_kb(server.pid(), "VmHWM:");
    std::printf("resident memory: %ld kB before, peak %ld kB; answered in %lld ms\n", before, peak,
                static_cast<long long>(took.count()));
    ASSERT_TRUE(r) << s.error();
    EXPECT_EQ(std::tie(r->action, r->status), std::make_tuple(0, 9));
    const auto* text = r->find_data(protocol::ITEM_ERROR);
    ASSERT_NE(text, nullptr);
    EXPECT_NE(text->data.find("at most 1000"), std::string::npos) << text->data;
    // The request's own names are all it costs (32 bytes each at most, beside the body).
    if (!test::windows_stage()) { // under Wine the process measured is not the server
        EXPECT_LT(peak - before, 320 * 1024);
    }

    // The same session goes on; a list within the limit gets its files.
    protocol::item_list two;
    two.add_file_list()->names = {"a.sty", "b.sty"};
    ASSERT_TRUE(s.send_request({2, 2, 1, 2, 0, 0, 0}, &two));
    const auto ok = s.read_response();
    ASSERT_TRUE(ok) << s.error();
    EXPECT_EQ(ok->status, 1);
    ASSERT_NE(ok->find_file_list(), nullptr);
    EXPECT_EQ(ok->find_file_list()->files.size(), 2u);
    EXPECT_TRUE(server.running());
    server.stop();
    test::end_programs(server);
}

} // namespace
