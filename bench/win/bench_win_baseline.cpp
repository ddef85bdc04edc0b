// The bare Asio servers of the Linux baselines, run under Wine as the
// baselines of the Windows server's figures. Arguments: the handshake port,
// the status-poll port and the lifetime in seconds (the caller usually ends
// it sooner).
#include "bench/support/baseline_servers.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_win_baseline HANDSHAKE_PORT POLL_PORT SECONDS\n");
        return 2;
    }
    try {
        zs::bench::baseline_handshake_server handshake(
            static_cast<std::uint16_t>(std::atoi(argv[1])));
        zs::bench::baseline_poll_server poll(static_cast<std::uint16_t>(std::atoi(argv[2])));
        std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[3])));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_win_baseline: %s\n", e.what());
        return 1;
    }
    return 0;
}
