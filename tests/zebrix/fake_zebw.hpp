#pragma once
// A program on a pretend desktop for the driver tests: it records every
// message and answers through a replaceable window procedure.
#include "zebrix/zebw_driver.hpp"

#include <functional>
#include <mutex>
#include <tuple>
#include <vector>

namespace zs::test {

struct sent_message {
    std::uint32_t message;
    std::int64_t wparam;
    std::int64_t lparam;
    bool operator==(const sent_message&) const = default;
};

class fake_zebw final : public zebrix::zebw_system {
public:
    struct state {
        std::mutex lock;
        bool installed = true;  // start_process succeeds
        bool running = false;   // a zebw.exe process exists
        bool has_window = true; // it shows its main window
        platform::process_id pid = 4242;
        int starts = 0;
        int finds = 0;
        std::vector<sent_message> log;
        // Reply of the window procedure; default: ping 7, every other command 1.
        std::function<std::int64_t(const sent_message&)> procedure;
    };

    explicit fake_zebw(std::shared_ptr<state> s) : s_(std::move(s)) {}

    platform::process_id find_process(const std::string& exe_name) override {
        std::lock_guard<std::mutex> l(s_->lock);
        ++s_->finds;
        return exe_name == "zebw.exe" && s_->running ? s_->pid : 0;
    }
    platform::start_result start_process(const std::string&, const std::string&,
                                         std::chrono::milliseconds) override {
        std::lock_guard<std::mutex> l(s_->lock);
        ++s_->starts;
        if (!s_->installed) {
            return {0, 2};
        }
        s_->running = true;
        return {s_->pid, 0};
    }
    bool process_runs(platform::process_id pid) override {
        std::lock_guard<std::mutex> l(s_->lock);
        return s_->running && pid == s_->pid;
    }
    std::vector<platform::window_info> windows(platform::process_id) override {
        std::lock_guard<std::mutex> l(s_->lock);
        std::vector<platform::window_info> out;
        out.push_back({5, static_cast<int>(s_->pid), "OtherClass", "Zebrix"});
        if (s_->running && s_->has_window) {
            out.push_back({77, static_cast<int>(s_->pid), "TZebrixWindow", "Zebrix"});
        }
        return out;
    }
    std::int64_t send(platform::window_handle window, std::uint32_t message, std::int64_t wparam,
                      std::int64_t lparam) override {
        std::function<std::int64_t(const sent_message&)> procedure;
        const sent_message m{message, wparam, lparam};
        {
            std::lock_guard<std::mutex> l(s_->lock);
            if (window != 77 || !s_->running) {
                return 0;
            }
            s_->log.push_back(m);
            procedure = s_->procedure;
        }
        if (procedure) {
            return procedure(m);
        }
        return (wparam & 0xFFFF) == 16 ? 7 : 1;
    }

private:
    std::shared_ptr<state> s_;
};

inline zebrix::zebw_timing fast_timing() {
    zebrix::zebw_timing t;
    t.attempt_wait = std::chrono::milliseconds(1);
    t.start_wait = std::chrono::milliseconds(1);
    return t;
}

} // namespace zs::test
