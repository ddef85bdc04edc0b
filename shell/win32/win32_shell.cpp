#include "shell/win32/win32_shell.hpp"

#include "core/strings.hpp"
#include "platform/codepage.hpp"
#include "shell/win32/server_window.hpp"

#include <cstdio>
#include <string>

namespace zs::shell::win32 {

namespace {
std::wstring widen_ascii(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

bool has_standard_error() {
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    return err != nullptr && err != INVALID_HANDLE_VALUE && ::GetFileType(err) != FILE_TYPE_UNKNOWN;
}
} // namespace

win32_shell::win32_shell(core::config_store& config, notification_procedure notify,
                         win32_shell_settings settings)
    : settings_(settings),
      window_(std::make_unique<server_window>(::GetModuleHandleW(nullptr), config,
                                              std::move(notify), [this] { run_posted(); })) {}

win32_shell::~win32_shell() {
    close();
}

void win32_shell::create(core::command_hook hook) {
    if (closed_ || !window_->create(std::move(hook))) {
        return;
    }
    std::lock_guard lock(mutex_);
    target_ = window_->handle();
    if (!posted_.empty()) {
        // work posted before the window
        ::PostMessageW(static_cast<HWND>(target_), posted_work_message, 0, 0);
    }
}

platform::window_handle win32_shell::handle() const {
    return static_cast<platform::window_handle>(reinterpret_cast<std::intptr_t>(window_->handle()));
}

void win32_shell::set_ip_text(const std::string& text) {
    window_->set_ip_text(widen_ascii(text)); // an address is ASCII
}

void win32_shell::set_problem_text(const std::string& text) {
    const std::u16string wide = platform::utf8_to_utf16(text);
    window_->set_problem_text(std::wstring(wide.begin(), wide.end()));
}

void win32_shell::show_window() {
    window_->show();
}

void win32_shell::refresh_running_state() {
    window_->refresh_running_state();
}

void win32_shell::show_message(const std::u16string& text, core::message_icon icon) {
    if (!settings_.always_message_box && has_standard_error()) {
        const std::string line = platform::utf16_to_utf8(text) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
        return;
    }
    const UINT kind = icon == core::message_icon::error     ? MB_ICONERROR
                      : icon == core::message_icon::warning ? MB_ICONWARNING
                                                            : MB_ICONINFORMATION;
    const std::u16string caption = core::get_string(core::string_id::caption);
    const std::wstring body(text.begin(), text.end());
    const std::wstring title(caption.begin(), caption.end());
    HWND owner = window_->handle() != nullptr && !window_->hidden() ? window_->handle() : nullptr;
    ::MessageBoxW(owner, body.c_str(), title.c_str(), MB_OK | MB_SETFOREGROUND | kind);
}

void win32_shell::close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    {
        std::lock_guard lock(mutex_);
        target_ = nullptr;
    }
    const bool had_window = window_->handle() != nullptr;
    window_->destroy();
    if (!had_window) {
        ::PostQuitMessage(0); // run() ends at once
    }
}

int win32_shell::run() {
    MSG msg{};
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        HWND main = window_->handle();
        if (main != nullptr && window_->accelerators() != nullptr &&
            ::TranslateAcceleratorW(main, window_->accelerators(), &msg) != 0) {
            continue;
        }
        HWND options = window_->options().window();
        if (options != nullptr && ::IsDialogMessageW(options, &msg) != FALSE) {
            continue; // Tab between the edits
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : 0;
}

void win32_shell::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(work));
    if (target_ != nullptr && posted_.size() == 1) {
        ::PostMessageW(static_cast<HWND>(target_), posted_work_message, 0, 0);
    }
}

void win32_shell::run_posted() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(posted_);
    }
    for (auto& work : batch) {
        work();
    }
}

} // namespace zs::shell::win32
