#include "server/main_window.hpp"

#include "orvanta/program_interface.hpp"
#include "platform/trace.hpp"
#include "zebrix/program_interface.hpp"

namespace zs::server {

namespace {
constexpr char window_class[] = "maindlg";
constexpr char window_title[] = "Zebrix Server";
constexpr std::uint32_t WM_CLOSE = 0x0010;
} // namespace

main_window::main_window(std::function<void(std::function<void()>)> work_queue,
                         main_window_events events)
    : queue_(std::move(work_queue)), events_(std::move(events)) {}

main_window::main_window(shell_interface& shell, main_window_events events)
    : main_window([&shell](std::function<void()> work) { shell.post(std::move(work)); },
                  std::move(events)) {}

bool main_window::create(const std::string& desktop_folder) {
    if (window_) {
        return window_->valid();
    }
    window_.emplace(
        platform::desktop_window::answer_at_once, window_class, window_title,
        [this](const platform::window_message& m) { return handle_message(m); }, desktop_folder);
    return window_->valid();
}

void main_window::destroy() {
    window_.reset();
}

std::int64_t main_window::handle_message(const platform::window_message& m) {
    const int msg = static_cast<int>(m.message);
    const std::int64_t w = m.wparam;
    const std::int64_t l = m.lparam;
    // Each callback is copied into the work, so queued work never reaches back into this window.
    if (m.message == zebrix::WM_ZEBW_RC) {
        queue_([f = events_.zebrix_event, msg, w, l] {
            platform::trace("WM_ZEBW_RC, %d", msg);
            if (f) {
                f(w, l);
            }
            platform::trace("return, %d", msg);
        });
        return 0;
    }
    if (m.message == zebrix::WM_ZEBW3_DONE) {
        queue_([f = events_.render_done, msg] {
            if (f) {
                f();
            }
            platform::trace("return, %d", msg);
        });
        return 0;
    }
    if (m.message == orvanta::WM_OV_NOTIFY_FIRST) {
        queue_([f = events_.orvanta_event, w, l] {
            platform::trace("Received 100 - 1");
            if (f) {
                f(orvanta::OV_FIRST_NOTIFY_EVENT, w, l);
            }
            platform::trace("Received 100 - 2");
        });
        return 1;
    }
    if (m.message > orvanta::WM_OV_NOTIFY_FIRST && m.message <= orvanta::WM_OV_NOTIFY_LAST) {
        const int code = msg - static_cast<int>(orvanta::WM_USER);
        queue_([f = events_.orvanta_event, code, w, l] {
            if (f) {
                f(code, w, l);
            }
        });
        return 1;
    }
    if (m.message == WM_CLOSE) {
        queue_([f = events_.close_requested] {
            if (f) {
                f();
            }
        });
        return 0;
    }
    platform::trace("default, %d", msg);
    return 0;
}

} // namespace zs::server
