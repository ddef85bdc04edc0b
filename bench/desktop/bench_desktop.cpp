// Sent-message round trips per second through the desktop to a window whose
// owner thread runs a message loop (as the stand-in programs' windows do),
// beside a raw Unix-socket ping-pong that also opens one connection per message.
#include "bench/support/bench_report.hpp"
#include "platform/desktop.hpp"
#include "platform/desktop_window.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int rounds = 10000;

sockaddr_un address(const std::string& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    return a;
}

double per_second(int count, std::chrono::steady_clock::duration d) {
    return count / std::chrono::duration<double>(d).count();
}

// One connection per exchange: 24 bytes there, 8 back, as a desktop message.
double raw_baseline(const std::string& path) {
    const sockaddr_un a = address(path);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ::unlink(path.c_str());
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener, 128) != 0) {
        return 0;
    }
    std::thread server([listener] {
        for (int i = 0; i < rounds; ++i) {
            const int c = ::accept(listener, nullptr, nullptr);
            char frame[24];
            std::size_t got = 0;
            while (got < sizeof frame) {
                const ssize_t n = ::read(c, frame + got, sizeof frame - got);
                if (n <= 0) {
                    break;
                }
                got += static_cast<std::size_t>(n);
            }
            char answer[8] = {1};
            [[maybe_unused]] const ssize_t w = ::write(c, answer, sizeof answer);
            ::close(c);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        const int c = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ::connect(c, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        char frame[24] = {1};
        [[maybe_unused]] const ssize_t w = ::write(c, frame, sizeof frame);
        char answer[8];
        std::size_t got = 0;
        while (got < sizeof answer) {
            const ssize_t n = ::read(c, answer + got, sizeof answer - got);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        ::close(c);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    server.join();
    ::close(listener);
    ::unlink(path.c_str());
    return per_second(rounds, elapsed);
}

double desktop_rate() {
    zs::platform::message_loop loop;
    zs::platform::desktop_window window(
        "TBench", "Bench", [](const zs::platform::window_message& m) { return m.wparam + 1; },
        loop);
    std::thread owner([&] { loop.run(); });
    std::int64_t sum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        sum += zs::platform::send_message(window.handle(), 1286, i, 0);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    loop.stop();
    owner.join();
    const std::int64_t expected = static_cast<std::int64_t>(rounds) * (rounds + 1) / 2;
    if (sum != expected) {
        std::fprintf(stderr, "bench_desktop: wrong answers\n");
        return 0;
    }
    return per_second(rounds, elapsed);
}

} // namespace

int main() {
    char folder[] = "/tmp/zs-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        return 1;
    }
    const std::string desktop = std::string(folder) + "/";
    ::setenv("ZEBRIX_DESKTOP", desktop.c_str(), 1);
    const auto f = zs::bench::alternate(
        3, [] { return desktop_rate(); }, [&] { return raw_baseline(desktop + "raw.sock"); });
    ::rmdir(folder);
    if (f.baseline <= 0 || f.value <= 0) {
        return 1;
    }
    zs::bench::report("desktop_send_roundtrip", f, "msg/s", "%.0f");
    return 0;
}
