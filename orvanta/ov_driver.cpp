#include "orvanta/ov_driver.hpp"

#include "orvanta/program_interface.hpp"
#include "platform/trace.hpp"

namespace zs::orvanta {

OV::OV(ov_desktop& desktop, std::function<std::string()> folder,
       std::function<platform::window_handle()> main_window, ov_timing timing)
    : desktop_(desktop), folder_(std::move(folder)), main_window_(std::move(main_window)),
      timing_(timing) {}

OV::~OV() {
    stop();
    std::lock_guard lock(background_mutex_);
    for (auto& b : background_) {
        b.thread.join();
    }
}

void OV::stop() {
    {
        std::lock_guard lock(stop_mutex_);
        stopping_ = true;
    }
    desktop_.cancel_sends(true);
    stop_cv_.notify_all();
}

void OV::resume() {
    std::lock_guard lock(stop_mutex_);
    stopping_ = false;
    desktop_.cancel_sends(false);
}

bool OV::stopping() {
    std::lock_guard lock(stop_mutex_);
    return stopping_;
}

bool OV::pause(std::chrono::milliseconds time) {
    std::unique_lock lock(stop_mutex_);
    return !stop_cv_.wait_for(lock, time, [this] { return stopping_; });
}

platform::process_id OV::process() const {
    std::lock_guard lock(mutex_);
    return pid_;
}

platform::window_handle OV::window() const {
    std::lock_guard lock(mutex_);
    return window_;
}

platform::process_id OV::start_program() {
    const std::string path = folder_() + OV_EXE_NAME;
    const platform::start_result r =
        desktop_.start_process(path, {OV_START_ARGS}, timing_.start_wait);
    if (r.pid == 0) {
        platform::trace("CreateProcess failed (%d).", r.error);
        return 0;
    }
    platform::trace("Process Created");
    return r.pid;
}

platform::window_handle OV::find_window(platform::process_id pid) {
    for (const auto& w : desktop_.windows(pid)) {
        if (static_cast<platform::process_id>(w.pid) != pid) {
            continue;
        }
        const std::string title = w.title.substr(0, 99);
        if (title.rfind(OV_TITLE_PREFIX, 0) != 0) {
            continue;
        }
        const std::int64_t answer = desktop_.send(w.handle, WM_OV_IDENTIFY, 0, 0);
        platform::trace("window - %s: messRes %d", title.c_str(), static_cast<int>(answer));
        if (answer == OV_IDENTIFY_ANSWER) {
            desktop_.send(w.handle, WM_OV_COMMAND, OV_CMD_NOTIFY_WINDOW, main_window_());
            return w.handle;
        }
    }
    return 0;
}

void OV::ensure_running() {
    std::lock_guard lock(mutex_);
    ensure_running_locked();
}

void OV::ensure_running_locked() {
    for (int round = 0; round < timing_.rounds; ++round) {
        if (pid_ == 0 || !desktop_.process_runs(pid_)) {
            window_ = 0;
            pid_ = desktop_.find_process(OV_EXE_NAME);
            if (pid_ != 0) {
                platform::trace("pid found for exe - %s", OV_EXE_NAME);
            } else {
                pid_ = start_program();
            }
            if (pid_ == 0) {
                return;
            }
        }
        window_ = find_window(pid_);
        if (window_ != 0) {
            return;
        }
        // The driver lock stays held: a send waits for a running search.
        if (round + 1 < timing_.rounds && !pause(timing_.round_wait)) {
            return;
        }
    }
}

bool OV::reachable_locked() {
    return window_ != 0 && pid_ != 0 && desktop_.process_runs(pid_);
}

std::int32_t OV::send_command(std::int32_t first, std::int32_t code, std::int32_t second) {
    std::lock_guard lock(mutex_);
    ensure_running_locked();
    if (!reachable_locked()) {
        return -1;
    }
    return static_cast<std::int32_t>(
        desktop_.send(window_, WM_OV_COMMAND, ov_command_wparam(first, code), second));
}

std::int32_t OV::post_command(std::int32_t first, std::int32_t code, std::int32_t second) {
    std::lock_guard lock(mutex_);
    ensure_running_locked();
    if (!reachable_locked()) {
        return -1;
    }
    return desktop_.post(window_, WM_OV_COMMAND, ov_command_wparam(first, code), second) ? 1 : 0;
}

void OV::start_background() {
    std::lock_guard lock(background_mutex_);
    // Finished threads are joined here, so the list stays short.
    background_.remove_if([](background& b) {
        if (!b.done->load()) {
            return false;
        }
        b.thread.join();
        return true;
    });
    auto done = std::make_shared<std::atomic<bool>>(false);
    background_.push_back({std::thread([this, done] {
                               ensure_running();
                               done->store(true);
                           }),
                           done});
}

void OV::unlink() {
    std::lock_guard lock(mutex_);
    if (window_ != 0) {
        desktop_.send(window_, WM_OV_COMMAND, OV_CMD_NOTIFY_WINDOW, 0);
    }
    pid_ = 0;
    window_ = 0;
}

} // namespace zs::orvanta
