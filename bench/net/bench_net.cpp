// Network front end figures against the staged server, each beside a bare
// server of the same socket work run in this process as the baseline.
#include "bench/support/baseline_servers.hpp"
#include "bench/support/bench_report.hpp"
#include "bench/support/loopback_client.hpp"
#include "bench/support/win_baseline.hpp"
#include "client/discovery_client.hpp"
#include "net/wire.hpp"
#include "platform/fd_limit.hpp"
#include "platform/files.hpp"
#include "protocol/payload.hpp"
#include "tests/support/staged_server.hpp"

#include <utility>

#include <boost/asio.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;
using boost::asio::ip::tcp;

constexpr int rounds = 3;
constexpr auto round_span = 2s;
using boost::asio::ip::udp;
namespace asio = boost::asio;

void word_to(std::uint8_t* at, std::int32_t v) {
    zs::net::write_word(at, v);
}

// One client handshake up to the server name, then the client type; sync I/O.
bool handshake(tcp::socket& s, std::int32_t client_type, bool read_type_answer) {
    std::uint8_t buf[64];
    word_to(buf, 1);
    asio::write(s, asio::buffer(buf, 4));
    asio::read(s, asio::buffer(buf, 20));
    std::uint8_t answer[16] = {};
    asio::write(s, asio::buffer(answer));
    asio::read(s, asio::buffer(buf, 4));
    if (zs::net::read_word(buf) != 1) {
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        asio::read(s, asio::buffer(buf, 4));
        std::vector<std::uint8_t> text(static_cast<std::size_t>(zs::net::read_word(buf)));
        asio::read(s, asio::buffer(text));
    }
    word_to(buf, client_type);
    asio::write(s, asio::buffer(buf, 4));
    if (read_type_answer) {
        asio::read(s, asio::buffer(buf, 4));
    }
    return true;
}

// Handshakes per second over `threads` clients for `span`, each closing itself.
double handshake_rate(std::uint16_t port, int threads, milliseconds span) {
    std::atomic<long> done{0};
    std::atomic<long> failed{0};
    const auto end = steady_clock::now() + span;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            asio::io_context io;
            while (steady_clock::now() < end) {
                try {
                    tcp::socket s(io);
                    boost::system::error_code ec;
                    zs::bench::open_from(s, static_cast<unsigned>(t), ec);
                    s.connect({asio::ip::make_address("127.0.0.1"), port});
                    if (handshake(s, 5, false)) {
                        ++done;
                    }
                } catch (const std::exception&) {
                    ++failed;
                }
            }
        });
    }
    for (auto& w : workers) {
        w.join();
    }
    if (failed > 0) {
        std::fprintf(stderr, "bench_net: %ld handshakes failed\n", failed.load());
    }
    return static_cast<double>(done) / duration<double>(span).count();
}

class baseline_udp {
public:
    baseline_udp() : sock_(io_, {udp::v4(), 0}), buf_(65535) {
        receive();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~baseline_udp() {
        io_.stop();
        thread_.join();
    }
    std::uint16_t port() const { return sock_.local_endpoint().port(); }

private:
    void receive() {
        sock_.async_receive_from(asio::buffer(buf_), from_, [this](auto ec, std::size_t n) {
            if (!ec && n >= 116) {
                reply_.assign(129, 0);
                sock_.async_send_to(asio::buffer(reply_), from_, [this](auto, auto) { receive(); });
                return;
            }
            receive();
        });
    }
    asio::io_context io_;
    udp::socket sock_;
    udp::endpoint from_;
    std::vector<std::uint8_t> buf_, reply_;
    std::thread thread_;
};

double discovery_rate(std::uint16_t port, milliseconds span) {
    asio::io_context io;
    udp::socket s(io, {udp::v4(), 0});
    const udp::endpoint target(asio::ip::make_address("127.0.0.1"), port);
    const auto request = zs::client::discovery_request();
    std::vector<std::uint8_t> buf(65535);
    long replies = 0;
    const auto end = steady_clock::now() + span;
    // Ping-pong with a bounded wait per reply.
    while (steady_clock::now() < end) {
        s.send_to(asio::buffer(request), target);
        bool got = false;
        udp::endpoint from;
        s.async_receive_from(asio::buffer(buf), from, [&](auto ec, auto) { got = !ec; });
        io.restart();
        io.run_for(200ms);
        if (!got) {
            s.cancel();
            io.restart();
            io.run();
        } else {
            ++replies;
        }
    }
    return static_cast<double>(replies) / duration<double>(span).count();
}

double rss_mb(pid_t pid) {
    std::string status;
    zs::platform::read_file("/proc/" + std::to_string(pid) + "/status", status);
    const auto at = status.find("VmRSS:");
    return at == std::string::npos ? 0.0 : std::stod(status.substr(at + 6)) / 1024.0;
}

// The Windows server of the Windows stage under Wine, against the bare
// server cross-built and run under Wine.
bool win_handshake_close() {
    zs::bench::win_baseline baseline;
    if (!baseline.ready()) {
        std::fprintf(stderr, "bench_net: the Windows baseline did not start\n");
        return false;
    }
    ::setenv("ZS_WINDOWS_STAGE", zs::bench::windows_stage().c_str(), 1);
    bool ok = false;
    {
        zs::test::staged_server win;
        if (win.start()) {
            zs::bench::report(
                "win_p1_handshake_close",
                zs::bench::alternate(
                    rounds, [&] { return handshake_rate(win.tcp_port(), 2, round_span); },
                    [&] { return handshake_rate(baseline.handshake_port(), 2, round_span); }),
                "conn/s");
            ok = true;
        } else {
            std::fprintf(stderr, "bench_net: the Windows server did not start\n");
        }
    }
    ::unsetenv("ZS_WINDOWS_STAGE");
    return ok;
}

} // namespace

int main() {
    zs::platform::raise_open_file_limit();
    zs::test::staged_server server;
    if (!server.start()) {
        std::fprintf(stderr, "bench_net: the staged server did not start\n");
        return 1;
    }
    bool ok = true;
    {
        zs::bench::baseline_handshake_server base;
        zs::bench::report("p1_handshake_close",
                          zs::bench::alternate(
                              rounds,
                              [&] { return handshake_rate(server.tcp_port(), 2, round_span); },
                              [&] { return handshake_rate(base.port(), 2, round_span); }),
                          "conn/s");
    }
    std::this_thread::sleep_for(1s); // let the closing pauses of the last sessions pass
    {
        baseline_udp base;
        zs::bench::report("discovery_reply",
                          zs::bench::alternate(
                              rounds, [&] { return discovery_rate(server.udp_port(), round_span); },
                              [&] { return discovery_rate(base.port(), round_span); }),
                          "replies/s");
    }
    {
        // 25 sessions per client address, below the server's cap per address.
        const double before = rss_mb(server.pid());
        asio::io_context io;
        std::vector<tcp::socket> idle;
        idle.reserve(10000);
        for (int i = 0; i < 10000; ++i) {
            try {
                idle.emplace_back(io);
                boost::system::error_code ec;
                zs::bench::open_from(idle.back(), 100 + static_cast<unsigned>(i / 25), ec);
                idle.back().connect({asio::ip::make_address("127.0.0.1"), server.tcp_port()});
                if (!handshake(idle.back(), 0, true)) {
                    throw std::runtime_error("login refused");
                }
            } catch (const std::exception& e) {
                std::fprintf(stderr, "bench_net: idle session %d: %s\n", i, e.what());
                ok = false;
                break;
            }
        }
        std::this_thread::sleep_for(500ms);
        const double after = rss_mb(server.pid());
        std::fprintf(stderr, "bench_net: %zu idle sessions, server RSS %.1f -> %.1f MB\n",
                     idle.size(), before, after);
        if (ok) {
            zs::bench::report("p1_idle_sessions_rss", after - before, "MB", 0);
        }
    }
    server.stop();
    if (!zs::bench::windows_stage().empty()) {
        ok = win_handshake_close() && ok;
    }
    return ok ? 0 : 1;
}
