// JOB_STATUS answers per second from 50 parallel pollers against the staged
// server, beside a minimal Boost.Asio server doing the same socket work
// (read 4 + 112, write 4 and 116, close) as the baseline.
#include "tests/support/staged_server.hpp"

#include <utility>

#include <boost/asio.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;
using boost::asio::ip::tcp;
namespace asio = boost::asio;

constexpr int pollers = 50;
constexpr auto span = seconds(3);

// One poll as a client sends it; true when the 116-byte answer arrived.
bool poll_once(asio::io_context& io, std::uint16_t port, std::int32_t id) {
    boost::system::error_code ec;
    tcp::socket s(io);
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
    const auto end = steady_clock::now() + span;
    std::vector<std::thread> threads;
    for (int i = 0; i < pollers; ++i) {
        threads.emplace_back([&] {
            asio::io_context io;
            while (steady_clock::now() < end) {
                if (poll_once(io, port, id)) {
                    ++answered;
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    return static_cast<double>(answered.load()) / duration<double>(span).count();
}

// The baseline: accept, read the protocol word and the header, answer, close.
class baseline_server {
public:
    baseline_server() : acceptor_(io_, {asio::ip::address_v4::loopback(), 0}) {
        accept();
        for (int i = 0; i < 5; ++i) {
            threads_.emplace_back([this] { io_.run(); });
        }
    }
    ~baseline_server() {
        io_.stop();
        for (auto& t : threads_) {
            t.join();
        }
    }
    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

private:
    struct exchange {
        explicit exchange(asio::io_context& io) : socket(io) {}
        tcp::socket socket;
        std::uint8_t in[116] = {};
        std::uint8_t out[120] = {};
    };
    void accept() {
        auto e = std::make_shared<exchange>(io_);
        acceptor_.async_accept(e->socket, [this, e](const boost::system::error_code& ec) {
            if (!ec) {
                serve(e);
            }
            accept();
        });
    }
    static void serve(const std::shared_ptr<exchange>& e) {
        asio::async_read(e->socket, asio::buffer(e->in), [e](const auto& ec, std::size_t) {
            if (ec) {
                return;
            }
            e->out[0] = 1;
            e->out[8] = 1;
            asio::async_write(e->socket, asio::buffer(e->out, 4),
                              [e](const auto& ec2, std::size_t) {
                                  if (ec2) {
                                      return;
                                  }
                                  asio::async_write(e->socket, asio::buffer(e->out + 4, 116),
                                                    [e](const auto&, std::size_t) {
                                                        boost::system::error_code ignored;
                                                        e->socket.close(ignored);
                                                    });
                              });
        });
    }

    asio::io_context io_;
    tcp::acceptor acceptor_;
    std::vector<std::thread> threads_;
};

} // namespace

int main() {
    zs::test::staged_server server;
    if (!server.start()) {
        std::fprintf(stderr, "bench_render: the staged server did not start\n");
        return 1;
    }
    // A job that stays running: every poll is answered with status 1.
    {
        asio::io_context io;
        tcp::socket s(io);
        s.connect({asio::ip::address_v4::loopback(), server.tcp_port()});
        const std::string job = "Silent=1\r\nRenderMs=0\r\n";
        std::uint8_t request[116] = {};
        const std::int32_t words[4] = {0, 0, 0, static_cast<std::int32_t>(job.size())};
        std::memcpy(request, words, sizeof words);
        asio::write(s, asio::buffer(request));
        asio::write(s, asio::buffer(job));
        std::uint8_t reply[120];
        asio::read(s, asio::buffer(reply));
    }
    const double ours = poll_rate(server.tcp_port(), 0);
    double base = 0;
    {
        baseline_server baseline;
        base = poll_rate(baseline.port(), 0);
    }
    server.stop();
    std::printf("BENCH name=p0_status_poll value=%.0f unit=req/s baseline=%.0f ratio=%.3f\n", ours,
                base, base > 0 ? ours / base : 0.0);
    return 0;
}
