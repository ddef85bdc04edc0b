// Sent-message round trips between two processes under Wine: our send (the
// cancellable one the server's program workers use) to a window of ours,
// against a bare SendMessageW to a bare window procedure. This program
// starts copies of itself that own the windows.
#include "bench/support/bench_report.hpp"
#include "platform/desktop.hpp"
#include "platform/desktop_window.hpp"
#include "platform/exe_path.hpp"
#include "platform/process.hpp"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

using namespace std::chrono;

constexpr int rounds = 5000;
constexpr std::uint32_t bench_message = 1286;

int serve_ours() {
    zs::platform::message_loop loop;
    // Answered on the window's own thread, as the server's main window and
    // the programs' windows answer.
    zs::platform::desktop_window window(
        zs::platform::desktop_window::answer_at_once, "TBenchEcho", "Bench Echo",
        [&loop](const zs::platform::window_message& m) -> std::int64_t {
            if (m.wparam < 0) {
                loop.stop();
            }
            return m.wparam + 1;
        });
    if (!window.valid()) {
        return 1;
    }
    loop.run();
    return 0;
}

LRESULT CALLBACK bare_procedure(HWND w, UINT message, WPARAM wp, LPARAM lp) {
    if (message == bench_message) {
        return static_cast<LRESULT>(wp) + 1;
    }
    if (message == WM_CLOSE) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(w, message, wp, lp);
}

// One window, answering on its own thread, nothing else.
int serve_bare() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = bare_procedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TBenchBare";
    ::RegisterClassW(&wc);
    if (::CreateWindowExW(0, L"TBenchBare", L"Bench Bare", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                          nullptr, nullptr, wc.hInstance, nullptr) == nullptr) {
        return 1;
    }
    MSG m;
    while (::GetMessageW(&m, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&m);
    }
    return 0;
}

struct peer {
    zs::platform::process_id pid = 0;
    zs::platform::window_handle window = 0;
};

peer start_peer(const char* mode, const char* class_name) {
    peer p;
    p.pid =
        zs::platform::start_process(zs::platform::executable_path(), {mode}, {}, seconds(30)).pid;
    for (int i = 0; i < 300 && p.window == 0; ++i) {
        for (const auto& w : zs::platform::enumerate_windows()) {
            if (w.class_name == class_name && static_cast<unsigned>(w.pid) == p.pid) {
                p.window = w.handle;
            }
        }
        if (p.window == 0) {
            std::this_thread::sleep_for(milliseconds(100));
        }
    }
    return p;
}

// Round trips per second; 0 when an answer was wrong.
template <class Send> double rate(Send send) {
    std::int64_t sum = 0;
    const auto start = steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        sum += send(i);
    }
    const double elapsed = duration<double>(steady_clock::now() - start).count();
    return sum == static_cast<std::int64_t>(rounds) * (rounds + 1) / 2 ? rounds / elapsed : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "serve") == 0) {
        return serve_ours();
    }
    if (argc > 1 && std::strcmp(argv[1], "bare") == 0) {
        return serve_bare();
    }
    const peer ours = start_peer("serve", "TBenchEcho");
    const peer bare = start_peer("bare", "TBenchBare");
    int status = 0;
    if (ours.window == 0 || bare.window == 0) {
        std::fprintf(stderr, "bench_win_desktop: an echo window did not appear\n");
        status = 1;
    } else {
        zs::platform::send_cancel never;
        const HWND bare_window = reinterpret_cast<HWND>(static_cast<std::intptr_t>(bare.window));
        const auto f = zs::bench::alternate(
            3,
            [&] {
                return rate([&](int i) {
                    return zs::platform::send_message(ours.window, bench_message, i, 0, never);
                });
            },
            [&] {
                return rate([&](int i) {
                    return static_cast<std::int64_t>(
                        ::SendMessageW(bare_window, bench_message, static_cast<WPARAM>(i), 0));
                });
            });
        if (f.value <= 0 || f.baseline <= 0) {
            std::fprintf(stderr, "bench_win_desktop: wrong answers\n");
            status = 1;
        } else {
            zs::bench::report("win_desktop_send_roundtrip", f, "msg/s", "%.0f");
        }
    }
    zs::platform::post_message(ours.window, bench_message, -1, 0);
    zs::platform::post_message(bare.window, WM_CLOSE, 0, 0);
    zs::platform::terminate_process(ours.pid, seconds(5));
    zs::platform::terminate_process(bare.pid, seconds(5));
    return status;
}
