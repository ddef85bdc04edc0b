#include "zebrix/render_control.hpp"

namespace zs::zebrix {

platform::process_id desktop_zebw3_control::find_running() {
    return platform::find_process(ZEBW3_EXE_NAME, platform::name_match::exact);
}

bool desktop_zebw3_control::still_runs(platform::process_id pid) {
    return pid != 0 && platform::process_runs(pid);
}

platform::start_result desktop_zebw3_control::start(const std::string& path,
                                                    const std::string& folder,
                                                    std::chrono::milliseconds wait) {
    return platform::start_process(path, {ZEBW3_START_ARGS}, folder, wait);
}

platform::window_handle desktop_zebw3_control::find_window(platform::process_id pid) {
    for (const auto& w : platform::windows_of_process(pid)) {
        if (static_cast<platform::process_id>(w.pid) == pid && w.title == ZEBW3_WINDOW_TITLE) {
            return w.handle;
        }
    }
    return 0;
}

void desktop_zebw3_control::send_render(platform::window_handle window) {
    platform::send_message(window, WM_ZEBW3_RENDER, 0, 0, cancel_);
}

void desktop_zebw3_control::terminate(std::chrono::milliseconds wait) {
    if (const platform::process_id pid = find_running(); pid != 0) {
        platform::terminate_process(pid, wait);
    }
}

} // namespace zs::zebrix
