#pragma once
// The bare servers cross-built for Windows (bench_win_baseline.exe), run
// under Wine beside the Windows server so that its figures have a baseline
// of the same platform. Only when run-all.sh names the Windows build.
#include "platform/process.hpp"
#include "tests/support/staged_server.hpp"

#include <utility> // before Asio: its headers use std::exchange

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace zs::bench {

// The Windows stage to measure, or empty.
inline std::string windows_stage() {
    const char* stage = std::getenv("ZS_BENCH_WIN_STAGE");
    return stage != nullptr ? stage : "";
}

class win_baseline {
public:
    win_baseline() {
        const char* build = std::getenv("ZS_BENCH_WIN_BUILD");
        if (build == nullptr || windows_stage().empty()) {
            return;
        }
        handshake_port_ = test::free_tcp_port();
        poll_port_ = test::free_tcp_port();
        pid_ = platform::start_process(windows_stage() + "/bin/wine-run",
                                       {std::string(build) + "/bench/win/bench_win_baseline.exe",
                                        std::to_string(handshake_port_), std::to_string(poll_port_),
                                        "900"},
                                       "", std::chrono::milliseconds(0))
                   .pid;
        // Wine may take a while to come up the first time.
        ready_ = pid_ != 0 && accepts(handshake_port_, std::chrono::seconds(120)) &&
                 accepts(poll_port_, std::chrono::seconds(10));
    }
    ~win_baseline() {
        if (pid_ != 0) {
            platform::terminate_process(pid_, std::chrono::seconds(10));
        }
    }
    win_baseline(const win_baseline&) = delete;
    win_baseline& operator=(const win_baseline&) = delete;

    bool ready() const { return ready_; }
    std::uint16_t handshake_port() const { return handshake_port_; }
    std::uint16_t poll_port() const { return poll_port_; }

private:
    static bool accepts(std::uint16_t port, std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        boost::asio::io_context io;
        while (std::chrono::steady_clock::now() < end) {
            boost::asio::ip::tcp::socket s(io);
            boost::system::error_code ec;
            s.connect({boost::asio::ip::address_v4::loopback(), port}, ec);
            if (!ec) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }

    platform::process_id pid_ = 0;
    std::uint16_t handshake_port_ = 0;
    std::uint16_t poll_port_ = 0;
    bool ready_ = false;
};

} // namespace zs::bench
