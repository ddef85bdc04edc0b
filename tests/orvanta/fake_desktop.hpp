#pragma once
// A desktop with one scripted Orvanta program, for the driver's unit tests.
// It records every message and answers through a handler the test sets.
#include "orvanta/ov_desktop.hpp"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zs::test {

struct message_record {
    bool posted = false;
    std::uint32_t message = 0;
    std::int64_t wparam = 0;
    std::int64_t lparam = 0;
};

class fake_desktop final : public orvanta::ov_desktop {
public:
    // The program's window procedure: (message, wParam, lParam, posted) -> reply.
    using handler = std::function<std::int64_t(std::uint32_t, std::int64_t, std::int64_t, bool)>;

    std::atomic<platform::process_id> running_pid = 0; // 0: not running
    std::atomic<bool> can_start = true;
    platform::process_id next_pid = 4242;
    std::vector<platform::window_info> extra_windows; // windows of other programs
    std::string title = "Orvanta";
    std::atomic<std::int64_t> identify_answer = 259;
    std::atomic<bool> post_works = true;
    // Commands (message 1286) other than the window registration (19); default answers 1.
    handler program;

    // What happened.
    std::vector<std::string> started; // "path arg"
    std::atomic<int> find_calls = 0;

    std::vector<message_record> messages() {
        std::lock_guard lock(mutex_);
        return log_;
    }
    // Only the commands (1286) with the code in the low 16 bits of wParam.
    std::vector<message_record> commands(int code);

    platform::process_id find_process(const std::string& exe_name) override;
    platform::start_result start_process(const std::string& path,
                                         const std::vector<std::string>& args,
                                         std::chrono::milliseconds wait) override;
    bool process_runs(platform::process_id pid) override { return pid != 0 && pid == running_pid; }
    std::vector<platform::window_info> windows(platform::process_id pid) override;
    std::int64_t send(platform::window_handle window, std::uint32_t message, std::int64_t wparam,
                      std::int64_t lparam) override;
    bool post(platform::window_handle window, std::uint32_t message, std::int64_t wparam,
              std::int64_t lparam) override;

    static constexpr platform::window_handle program_window = 77;

private:
    std::int64_t deliver(std::uint32_t message, std::int64_t wparam, std::int64_t lparam,
                         bool posted);
    std::mutex mutex_;
    std::vector<message_record> log_;
};

} // namespace zs::test
