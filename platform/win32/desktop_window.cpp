#include "platform/desktop_window.hpp"

#include "platform/env.hpp"
#include "platform/win32/wide.hpp"

#include <atomic>
#include <future>
#include <thread>

namespace zs::platform {

namespace {

// Shared by the window and the work it has queued to the owner: the work may
// run after the window is gone and must then drop its message.
struct shared_state {
    desktop_window::procedure proc;
    std::atomic<bool> open{true};
};

// The messages the procedure sees: the programs' own (WM_USER and above) and
// WM_CLOSE; the rest is the system's default handling.
bool for_procedure(UINT message) {
    return message >= WM_USER || message == WM_CLOSE;
}

constexpr auto answer_slice = std::chrono::milliseconds(100);

} // namespace

// A real window, created by a thread of its own that runs its message loop;
// the window procedure either answers there (answer-at-once) or hands the
// message to the owner through the dispatcher and, for a sent message, waits
// (bounded) for the result to answer with.
class desktop_window::impl {
public:
    impl(procedure proc, dispatcher dispatch)
        : state_(std::make_shared<shared_state>()), dispatch_(std::move(dispatch)) {
        state_->proc = std::move(proc);
    }
    ~impl();
    impl(const impl&) = delete;
    impl& operator=(const impl&) = delete;

    std::error_code start(const std::string& class_name, const std::string& title);
    window_handle handle() const { return win32::from_hwnd(hwnd_); }

private:
    static LRESULT CALLBACK window_procedure(HWND w, UINT message, WPARAM wp, LPARAM lp);
    LRESULT handle_message(UINT message, WPARAM wp, LPARAM lp);
    void run(std::wstring class_name, std::wstring title, std::promise<std::error_code> made);

    std::shared_ptr<shared_state> state_;
    dispatcher dispatch_; // empty in answer-at-once mode
    HWND hwnd_ = nullptr;
    DWORD thread_id_ = 0;
    std::thread thread_;
};

std::error_code desktop_window::impl::start(const std::string& class_name,
                                            const std::string& title) {
    std::promise<std::error_code> made;
    auto result = made.get_future();
    thread_ = std::thread([this, c = win32::widen(class_name), t = win32::widen(title),
                           m = std::move(made)]() mutable { run(c, t, std::move(m)); });
    const std::error_code ec = result.get();
    if (ec && thread_.joinable()) {
        thread_.join();
    }
    return ec;
}

void desktop_window::impl::run(std::wstring class_name, std::wstring title,
                               std::promise<std::error_code> made) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &impl::window_procedure;
    wc.hInstance = instance;
    wc.lpszClassName = class_name.c_str();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    if (::RegisterClassW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        made.set_value(win32::last_error());
        return;
    }
    hwnd_ =
        ::CreateWindowExW(0, class_name.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                          CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, this);
    if (hwnd_ == nullptr) {
        made.set_value(win32::last_error());
        return;
    }
    thread_id_ = ::GetCurrentThreadId();
    made.set_value({});
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::DestroyWindow(hwnd_);
}

desktop_window::impl::~impl() {
    state_->open = false;
    if (thread_.joinable()) {
        ::PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
        thread_.join();
    }
}

LRESULT CALLBACK desktop_window::impl::window_procedure(HWND w, UINT message, WPARAM wp,
                                                        LPARAM lp) {
    if (message == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
        ::SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<impl*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
    if (self != nullptr && for_procedure(message)) {
        return self->handle_message(message, wp, lp);
    }
    return ::DefWindowProcW(w, message, wp, lp);
}

LRESULT desktop_window::impl::handle_message(UINT message, WPARAM wp, LPARAM lp) {
    window_message m;
    m.sent = ::InSendMessage() != FALSE;
    m.message = message;
    m.wparam = static_cast<std::int64_t>(wp);
    m.lparam = static_cast<std::int64_t>(lp);
    if (!dispatch_) {
        return static_cast<LRESULT>(state_->proc(m));
    }
    if (!m.sent) {
        dispatch_([state = state_, m] {
            if (state->open) {
                state->proc(m);
            }
        });
        return 0;
    }
    // The sender waits for the procedure's result, which the owner's thread gives.
    auto answer = std::make_shared<std::promise<std::int64_t>>();
    auto result = answer->get_future();
    dispatch_([state = state_, m, answer] { answer->set_value(state->open ? state->proc(m) : 0); });
    const auto end = std::chrono::steady_clock::now() + send_timeout();
    while (state_->open && std::chrono::steady_clock::now() < end) {
        if (result.wait_for(answer_slice) == std::future_status::ready) {
            return static_cast<LRESULT>(result.get());
        }
    }
    return 0;
}

desktop_window::desktop_window(const std::string& class_name, const std::string& title,
                               procedure proc, dispatcher dispatch, const std::string&)
    : impl_(std::make_unique<impl>(std::move(proc), std::move(dispatch))) {
    error_ = impl_->start(class_name, title);
    handle_ = error_ ? 0 : impl_->handle();
}

// Windows hands a window's messages to the thread that made it; this one
// passes them on to the owner's loop.
desktop_window::desktop_window(const std::string& class_name, const std::string& title,
                               procedure proc, message_loop& owner,
                               const std::string& desktop_folder)
    : desktop_window(class_name, title, std::move(proc), owner.dispatcher(), desktop_folder) {}

desktop_window::desktop_window(answer_at_once_t, const std::string& class_name,
                               const std::string& title, procedure proc, const std::string&)
    : impl_(std::make_unique<impl>(std::move(proc), dispatcher())) {
    error_ = impl_->start(class_name, title);
    handle_ = error_ ? 0 : impl_->handle();
}

desktop_window::~desktop_window() = default;

} // namespace zs::platform
