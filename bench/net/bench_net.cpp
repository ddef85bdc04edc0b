// Network front end figures against the staged server, each beside a minimal
// server of the same socket work run in this process as the baseline.
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
    const auto end = steady_clock::now() + span;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            asio::io_context io;
            while (steady_clock::now() < end) {
                try {
                    tcp::socket s(io);
                    s.connect({asio::ip::make_address("127.0.0.1"), port});
                    if (handshake(s, 5, false)) {
                        ++done;
                    }
                } catch (const std::exception&) {
                }
            }
        });
    }
    for (auto& w : workers) {
        w.join();
    }
    return static_cast<double>(done) / duration<double>(span).count();
}

// The baseline: the same records written and read, nothing else.
class baseline_tcp {
public:
    baseline_tcp() : acceptor_(io_, {tcp::v4(), 0}) {
        accept();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~baseline_tcp() {
        io_.stop();
        thread_.join();
    }
    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

private:
    struct conn : std::enable_shared_from_this<conn> {
        explicit conn(tcp::socket s) : sock(std::move(s)) {}
        tcp::socket sock;
        std::uint8_t buf[64] = {};
        void run() {
            auto self = shared_from_this();
            asio::async_read(sock, asio::buffer(buf, 4), [self](auto ec, auto) {
                if (ec)
                    return;
                word_to(self->buf, 1);
                asio::async_write(self->sock, asio::buffer(self->buf, 20), [self](auto e2, auto) {
                    if (e2)
                        return;
                    asio::async_read(
                        self->sock, asio::buffer(self->buf, 16), [self](auto e3, auto) {
                            if (e3)
                                return;
                            std::memset(self->buf, 0, sizeof self->buf);
                            word_to(self->buf, 1);
                            word_to(self->buf + 4, 36);
                            word_to(self->buf + 44, 13);
                            asio::async_write(
                                self->sock, asio::buffer(self->buf, 61), [self](auto e4, auto) {
                                    if (e4)
                                        return;
                                    asio::async_read(self->sock, asio::buffer(self->buf, 4),
                                                     [self](auto, auto) {});
                                });
                        });
                });
            });
        }
    };
    void accept() {
        acceptor_.async_accept([this](const boost::system::error_code& ec, tcp::socket s) {
            if (!ec) {
                std::make_shared<conn>(std::move(s))->run();
            }
            accept();
        });
    }
    asio::io_context io_;
    tcp::acceptor acceptor_;
    std::thread thread_;
};

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

void report(const char* name, double value, const char* unit, double baseline) {
    if (baseline > 0) {
        std::printf("BENCH name=%s value=%.1f unit=%s baseline=%.1f ratio=%.3f\n", name, value,
                    unit, baseline, value / baseline);
    } else {
        std::printf("BENCH name=%s value=%.1f unit=%s\n", name, value, unit);
    }
    std::fflush(stdout);
}

// The Windows server of the Windows stage under Wine, beside the Linux
// server's figure of the same run (its baseline), when that stage exists.
void win_handshake_close(double linux_value, milliseconds span) {
    const char* stage = std::getenv("ZS_BENCH_WIN_STAGE");
    if (stage == nullptr || *stage == '\0') {
        return;
    }
    ::setenv("ZS_WINDOWS_STAGE", stage, 1);
    {
        zs::test::staged_server win;
        if (win.start()) {
            const double value = handshake_rate(win.tcp_port(), 2, span);
            report("win_p1_handshake_close", value, "conn/s", linux_value);
        } else {
            std::fprintf(stderr, "bench_net: the Windows server did not start\n");
        }
    }
    ::unsetenv("ZS_WINDOWS_STAGE");
}

} // namespace

int main() {
    zs::platform::raise_open_file_limit();
    zs::test::staged_server server;
    if (!server.start()) {
        std::fprintf(stderr, "bench_net: the staged server did not start\n");
        return 1;
    }
    const auto span = 3s;
    {
        baseline_tcp base;
        const double baseline = handshake_rate(base.port(), 2, span);
        const double value = handshake_rate(server.tcp_port(), 2, span);
        report("p1_handshake_close", value, "conn/s", baseline);
        win_handshake_close(value, span);
    }
    std::this_thread::sleep_for(1s); // let the closing pauses of the last sessions pass
    {
        baseline_udp base;
        const double baseline = discovery_rate(base.port(), span);
        const double value = discovery_rate(server.udp_port(), span);
        report("discovery_reply", value, "replies/s", baseline);
    }
    {
        const double before = rss_mb(server.pid());
        asio::io_context io;
        std::vector<tcp::socket> idle;
        idle.reserve(10000);
        for (int i = 0; i < 10000; ++i) {
            try {
                idle.emplace_back(io);
                idle.back().connect({asio::ip::make_address("127.0.0.1"), server.tcp_port()});
                handshake(idle.back(), 0, true);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "bench_net: idle session %d: %s\n", i, e.what());
                break;
            }
        }
        std::this_thread::sleep_for(500ms);
        const double after = rss_mb(server.pid());
        std::fprintf(stderr, "bench_net: %zu idle sessions, server RSS %.1f -> %.1f MB\n",
                     idle.size(), before, after);
        report("p1_idle_sessions_rss", after - before, "MB", 0);
    }
    server.stop();
    return 0;
}
