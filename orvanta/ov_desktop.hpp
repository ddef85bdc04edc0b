#pragma once
// What the Orvanta driver needs of processes and desktop windows. The system
// implementation forwards to platform/; unit tests put a program of their own here.
#include "platform/desktop.hpp"
#include "platform/process.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zs::orvanta {

class ov_desktop {
public:
    virtual ~ov_desktop() = default;
    // First process of this desktop with that executable name, ignoring case.
    virtual platform::process_id find_process(const std::string& exe_name) = 0;
    virtual platform::start_result start_process(const std::string& path,
                                                 const std::vector<std::string>& args,
                                                 std::chrono::milliseconds wait) = 0;
    virtual bool process_runs(platform::process_id pid) = 0;
    // The windows of that process, topmost first (others may be among them).
    virtual std::vector<platform::window_info> windows(platform::process_id pid) = 0;
    virtual std::int64_t send(platform::window_handle window, std::uint32_t message,
                              std::int64_t wparam, std::int64_t lparam) = 0;
    virtual bool post(platform::window_handle window, std::uint32_t message, std::int64_t wparam,
                      std::int64_t lparam) = 0;
    // While set, sends and posts end at once, failed (one in progress too).
    virtual void cancel_sends(bool) {}
};

// The real desktop of this process (platform/desktop, platform/process).
std::unique_ptr<ov_desktop> make_system_desktop();

} // namespace zs::orvanta
