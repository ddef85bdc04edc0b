// JOB_STATUS answers per second from 50 parallel pollers, each from its own
// address, against the staged server, beside a bare Boost.Asio server doing
// the same socket work (read 4 + 112, write 4 and 116, close). With the
// Windows build, the Windows server under Wine against the same bare server
// cross-built and run under Wine.
#include "bench/support/baseline_servers.hpp"
#include "bench/support/bench_report.hpp"
#include "bench/support/loopback_client.hpp"
#include "bench/support/win_baseline.hpp"
#include "tests/support/staged_server.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;
using boost::asio::ip::tcp;
namespace asio = boost::asio;

constexpr int pollers = 50;
constexpr int rounds = 3;
constexpr auto span = seconds(2);

// One poll as a client sends it; true when the 116-byte answer arrived.
bool poll_once(asio::io_context& io, unsigned client, std::uint16_t port, std::int32_t id) {
    boost::system::error_code ec;
    tcp::socket s(io);
    zs::bench::open_from(s, client, ec);
    s.connect({asio::ip::address_v4::loopback(), port}, ec);
    if (ec) {
        return false;
    }
    std::uint8_t request[116] = {};
    const std::int32_t words[3] = {0, 2, id}; // protocol 0, JOB_STATUS, job id
    std::memcpy(request, words, sizeof words);
    std::memcpy(request + 4 + 48, "kxvwq", 5);
    asio::write(s, asio::buffer(request), ec);
    std::uint8_t reply[120];
    asio::read(s, asio::buffer(reply), ec);
    return !ec;
}

double poll_rate(std::uint16_t port, std::int32_t id) {
    std::atomic<long> answered{0};
    std::atomic<long> failed{0};
    const auto end = steady_clock::now() + span;
    std::vector<std::thread> threads;
    for (int i = 0; i < pollers; ++i) {
        threads.emplace_back([&, i] {
            asio::io_context io;
            while (steady_clock::now() < end) {
                ++(poll_once(io, static_cast<unsigned>(i), port, id) ? answered : failed);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    if (failed > 0) {
        std::fprintf(stderr, "bench_render: %ld polls failed\n", failed.load());
    }
    return static_cast<double>(answered.load()) / duration<double>(span).count();
}

// A job that stays running, so that every poll is answered with status 1.
bool submit_job(std::uint16_t port) {
    asio::io_context io;
    tcp::socket s(io);
    boost::system::error_code ec;
    s.connect({asio::ip::address_v4::loopback(), port}, ec);
    const std::string job = "Silent=1\r\nRenderMs=0\r\n";
    std::uint8_t request[116] = {};
    const std::int32_t words[4] = {0, 0, 0, static_cast<std::int32_t>(job.size())};
    std::memcpy(request, words, sizeof words);
    asio::write(s, asio::buffer(request), ec);
    asio::write(s, asio::buffer(job), ec);
    std::uint8_t reply[120];
    asio::read(s, asio::buffer(reply), ec);
    return !ec;
}

bool measure(const char* name, std::uint16_t baseline_port) {
    zs::test::staged_server server;
    if (!server.start() || !submit_job(server.tcp_port())) {
        std::fprintf(stderr, "bench_render: the staged server did not start\n");
        return false;
    }
    const auto f = zs::bench::alternate(
        rounds, [&] { return poll_rate(server.tcp_port(), 0); },
        [&] { return poll_rate(baseline_port, 0); });
    server.stop();
    zs::bench::report(name, f, "req/s", "%.0f");
    return true;
}

} // namespace

int main() {
    bool ok = false;
    {
        zs::bench::baseline_poll_server baseline;
        ok = measure("p0_status_poll", baseline.port());
    }
    if (const std::string stage = zs::bench::windows_stage(); ok && !stage.empty()) {
        zs::bench::win_baseline baseline;
        if (!baseline.ready()) {
            std::fprintf(stderr, "bench_render: the Windows baseline did not start\n");
            return 1;
        }
        ::setenv("ZS_WINDOWS_STAGE", stage.c_str(), 1);
        ok = measure("win_p0_status_poll", baseline.poll_port());
        ::unsetenv("ZS_WINDOWS_STAGE");
    }
    return ok ? 0 : 1;
}
