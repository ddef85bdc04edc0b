#include "tests/orvanta/fake_desktop.hpp"

namespace zs::test {

std::vector<message_record> fake_desktop::commands(int code) {
    std::vector<message_record> out;
    for (const auto& m : messages()) {
        if (m.message == 1286 && (m.wparam & 0xFFFF) == code) {
            out.push_back(m);
        }
    }
    return out;
}

platform::process_id fake_desktop::find_process(const std::string& exe_name) {
    ++find_calls;
    return exe_name == "orvanta.exe" ? running_pid.load() : 0u;
}

platform::start_result fake_desktop::start_process(const std::string& path,
                                                   const std::vector<std::string>& args,
                                                   std::chrono::milliseconds) {
    {
        std::lock_guard lock(mutex_);
        started.push_back(path + (args.empty() ? "" : " " + args.front()));
    }
    if (!can_start) {
        return {0, 2};
    }
    running_pid = next_pid;
    return {running_pid, 0};
}

std::vector<platform::window_info> fake_desktop::windows(platform::process_id) {
    std::vector<platform::window_info> all = extra_windows;
    if (running_pid != 0) {
        all.push_back({program_window, static_cast<int>(running_pid), "TOrvantaWindow", title});
    }
    return all;
}

std::int64_t fake_desktop::deliver(std::uint32_t message, std::int64_t wparam, std::int64_t lparam,
                                   bool posted) {
    {
        std::lock_guard lock(mutex_);
        log_.push_back({posted, message, wparam, lparam});
    }
    if (message == 1283) {
        return identify_answer;
    }
    if (message == 1286 && (wparam & 0xFFFF) == 19) {
        return 1;
    }
    return program ? program(message, wparam, lparam, posted) : 1;
}

std::int64_t fake_desktop::send(platform::window_handle window, std::uint32_t message,
                                std::int64_t wparam, std::int64_t lparam) {
    if (window != program_window || running_pid == 0) {
        return 0;
    }
    return deliver(message, wparam, lparam, false);
}

bool fake_desktop::post(platform::window_handle window, std::uint32_t message, std::int64_t wparam,
                        std::int64_t lparam) {
    if (window != program_window || running_pid == 0 || !post_works) {
        return false;
    }
    deliver(message, wparam, lparam, true);
    return true;
}

} // namespace zs::test
