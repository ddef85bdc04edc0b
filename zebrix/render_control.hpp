#pragma once
// How the render worker drives the background renderer's process and window.
#include "platform/desktop.hpp"
#include "platform/process.hpp"
#include "zebrix/program_interface.hpp"

#include <chrono>
#include <cstdint>
#include <string>

namespace zs::zebrix {

class zebw3_control {
public:
    virtual ~zebw3_control() = default;
    virtual platform::process_id find_running() = 0;
    // Whether the renderer started or found as `pid` still runs.
    virtual bool still_runs(platform::process_id pid) = 0;
    // Starts it with "/x4" in `folder`, waiting at most `wait` for its window.
    virtual platform::start_result start(const std::string& path, const std::string& folder,
                                         std::chrono::milliseconds wait) = 0;
    // The process's top-level window with the renderer's title; 0 when none.
    virtual platform::window_handle find_window(platform::process_id pid) = 0;
    virtual void send_render(platform::window_handle window) = 0;
    // While set, a render message ends at once unanswered (one in progress too).
    virtual void cancel_sends(bool) {}
    // Ends the first running copy and waits for it, at most `wait`.
    virtual void terminate(std::chrono::milliseconds wait) = 0;
};

// The real processes and windows of this desktop.
class desktop_zebw3_control final : public zebw3_control {
public:
    platform::process_id find_running() override;
    bool still_runs(platform::process_id pid) override;
    platform::start_result start(const std::string& path, const std::string& folder,
                                 std::chrono::milliseconds wait) override;
    platform::window_handle find_window(platform::process_id pid) override;
    void send_render(platform::window_handle window) override;
    void cancel_sends(bool on) override { cancel_.set(on); }
    void terminate(std::chrono::milliseconds wait) override;

private:
    platform::send_cancel cancel_;
};

} // namespace zs::zebrix
