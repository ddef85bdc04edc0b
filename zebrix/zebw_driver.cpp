#include "zebrix/zebw_driver.hpp"

#include "platform/trace.hpp"
#include "zebrix/program_interface.hpp"

#include <cstdio>
#include <thread>

namespace zs::zebrix {

namespace {

class desktop_system final : public zebw_system {
public:
    platform::process_id find_process(const std::string& exe_name) override {
        return platform::find_process(exe_name, platform::name_match::exact);
    }
    platform::start_result start_process(const std::string& path, const std::string& cwd,
                                         std::chrono::milliseconds wait) override {
        return platform::start_process(path, {}, cwd, wait);
    }
    bool process_runs(platform::process_id pid) override { return platform::process_runs(pid); }
    std::vector<platform::window_info> windows(platform::process_id pid) override {
        return platform::windows_of_process(pid);
    }
    std::int64_t send(platform::window_handle window, std::uint32_t message, std::int64_t wparam,
                      std::int64_t lparam) override {
        return platform::send_message(window, message, wparam, lparam, cancel_);
    }
    void cancel_sends(bool on) override { cancel_.set(on); }

private:
    platform::send_cancel cancel_;
};

} // namespace

std::unique_ptr<zebw_system> make_desktop_system() {
    return std::make_unique<desktop_system>();
}

ZEBW::ZEBW(std::string zebrix_dir, std::unique_ptr<zebw_system> system, zebw_timing timing)
    : zebrix_dir_(std::move(zebrix_dir)), system_(std::move(system)), timing_(timing) {}

ZEBW::~ZEBW() {
    stop();
    std::unique_lock<std::mutex> lock(stop_lock_);
    stop_signal_.wait(lock, [this] { return background_running_ == 0; });
}

platform::process_id ZEBW::find_process() {
    return system_->find_process(ZEBW_EXE_NAME);
}

platform::process_id ZEBW::start_process() {
    const auto result =
        system_->start_process(zebrix_dir_ + ZEBW_EXE_NAME, zebrix_dir_, timing_.start_wait);
    if (result.pid == 0) {
        std::printf("CreateProcess failed (%d).\n", result.error);
        std::fflush(stdout);
    }
    return result.pid;
}

platform::window_handle ZEBW::find_window(platform::process_id pid) {
    for (const auto& w : system_->windows(pid)) {
        if (static_cast<platform::process_id>(w.pid) == pid &&
            w.class_name.substr(0, 100) == ZEBW_WINDOW_CLASS) {
            return w.handle;
        }
    }
    return 0;
}

bool ZEBW::pause() {
    std::unique_lock<std::mutex> lock(stop_lock_);
    return !stop_signal_.wait_for(lock, timing_.attempt_wait, [this] { return stopped_; });
}

void ZEBW::stop() {
    {
        std::lock_guard<std::mutex> lock(stop_lock_);
        stopped_ = true;
    }
    system_->cancel_sends(true);
    stop_signal_.notify_all();
}

bool ZEBW::stopping() {
    std::lock_guard<std::mutex> lock(stop_lock_);
    return stopped_;
}

void ZEBW::resume() {
    std::lock_guard<std::mutex> lock(stop_lock_);
    stopped_ = false;
    system_->cancel_sends(false);
}

bool ZEBW::search_window_locked() {
    for (int attempt = 0; attempt < timing_.window_attempts && window_ == 0; ++attempt) {
        if (attempt > 0 && !pause()) {
            return false;
        }
        window_ = find_window(pid_);
        if (window_ == 0) {
            continue;
        }
        if (system_->send(window_, WM_ZEBW_COMMAND, ZEBW_CMD_PING, 0) == ZEBW_PING_READY) {
            return true;
        }
        // A window that does not answer yet stays recorded; after the last
        // repeat (whose answer is not looked at) nothing is registered.
        for (int repeat = 1; repeat < timing_.probe_repeats; ++repeat) {
            if (!pause()) {
                return false;
            }
            if (system_->send(window_, WM_ZEBW_COMMAND, ZEBW_CMD_PING, 0) == ZEBW_PING_READY) {
                return true;
            }
        }
        if (pause()) {
            system_->send(window_, WM_ZEBW_COMMAND, ZEBW_CMD_PING, 0);
        }
        return false;
    }
    return window_ != 0;
}

void ZEBW::ensure_running() {
    std::lock_guard<std::mutex> lock(driver_lock_);
    bool fresh = false;
    if (pid_ == 0 || !system_->process_runs(pid_)) {
        fresh = true;
        window_ = 0;
        pid_ = find_process();
        if (pid_ == 0) {
            pid_ = start_process();
        }
        if (pid_ == 0) {
            return;
        }
    }
    if (window_ == 0 && !search_window_locked()) {
        return;
    }
    if (window_ != 0 && fresh) {
        system_->send(window_, WM_ZEBW_COMMAND, ZEBW_CMD_NOTIFY_WINDOW,
                      notify_window_ ? notify_window_() : 0);
    }
}

bool ZEBW::connected_locked() {
    return window_ != 0 && pid_ != 0 && system_->process_runs(pid_);
}

bool ZEBW::is_connected() {
    std::lock_guard<std::mutex> lock(driver_lock_);
    return connected_locked();
}

std::int32_t ZEBW::send_command(std::int32_t first, std::int32_t code, std::int32_t second) {
    return send_raw(zebw_command_wparam(first, code), second);
}

std::int32_t ZEBW::send_raw(std::int64_t wparam, std::int64_t lparam) {
    ensure_running();
    std::lock_guard<std::mutex> lock(driver_lock_);
    if (!connected_locked()) {
        return -1;
    }
    platform::trace("zebw command %lld %lld", static_cast<long long>(wparam),
                    static_cast<long long>(lparam));
    return static_cast<std::int32_t>(system_->send(window_, WM_ZEBW_COMMAND, wparam, lparam));
}

void ZEBW::start_background() {
    {
        std::lock_guard<std::mutex> lock(stop_lock_);
        ++background_running_;
    }
    std::thread([this] {
        ensure_running();
        std::lock_guard<std::mutex> lock(stop_lock_);
        --background_running_;
        stop_signal_.notify_all();
    }).detach();
}

void ZEBW::release() {
    std::lock_guard<std::mutex> lock(driver_lock_);
    if (window_ != 0) {
        system_->send(window_, WM_ZEBW_COMMAND, ZEBW_CMD_RELEASE, 0);
    }
    pid_ = 0;
    window_ = 0;
}

} // namespace zs::zebrix
