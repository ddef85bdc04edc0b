// SendMessageTimeoutW round trips between two processes of the Windows build
// (under Wine): this program starts a copy of itself that owns the window.
#include "platform/desktop.hpp"
#include "platform/desktop_window.hpp"
#include "platform/exe_path.hpp"
#include "platform/process.hpp"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr int rounds = 20000;
constexpr std::uint32_t bench_message = 1286;

int serve() {
    zs::platform::message_loop loop;
    zs::platform::desktop_window window(
        "TBenchEcho", "Bench Echo",
        [&loop](const zs::platform::window_message& m) -> std::int64_t {
            if (m.wparam < 0) {
                loop.stop();
            }
            return m.wparam + 1;
        },
        loop.dispatcher());
    if (!window.valid()) {
        return 1;
    }
    loop.run();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "serve") == 0) {
        return serve();
    }
    const auto started = zs::platform::start_process(zs::platform::executable_path(), {"serve"}, {},
                                                     std::chrono::seconds(30));
    zs::platform::window_handle target = 0;
    for (int i = 0; i < 300 && target == 0; ++i) {
        for (const auto& w : zs::platform::enumerate_windows()) {
            if (w.class_name == "TBenchEcho" && static_cast<unsigned>(w.pid) == started.pid) {
                target = w.handle;
            }
        }
        if (target == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    if (target == 0) {
        std::fprintf(stderr, "bench_win_desktop: the echo window did not appear\n");
        zs::platform::terminate_process(started.pid, std::chrono::seconds(5));
        return 1;
    }
    std::int64_t sum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        sum += zs::platform::send_message(target, bench_message, i, 0);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    zs::platform::post_message(target, bench_message, -1, 0);
    zs::platform::terminate_process(started.pid, std::chrono::seconds(5));
    if (sum != static_cast<std::int64_t>(rounds) * (rounds + 1) / 2) {
        std::fprintf(stderr, "bench_win_desktop: wrong answers\n");
        return 1;
    }
    const double seconds = std::chrono::duration<double>(elapsed).count();
    std::printf("BENCH name=win_desktop_send_roundtrip value=%.0f unit=msg/s\n", rounds / seconds);
    return 0;
}
