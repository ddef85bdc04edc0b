#include "platform/desktop.hpp"

#include "platform/env.hpp"
#include "platform/win32/wide.hpp"

#include <algorithm>
#include <atomic>
#include <memory>

namespace zs::platform {

using win32::from_hwnd;
using win32::to_hwnd;

// The session is the desktop; there is no folder to name.
std::string desktop_dir() {
    return {};
}

namespace {

// Class and title of a window. For a window of another process the system
// keeps the title and sends nothing; for one of this process GetWindowTextW
// sends WM_GETTEXT to the owning thread, which may be waiting for the caller,
// so the title kept by the system is read instead.
window_info describe(HWND w, DWORD pid) {
    window_info info;
    info.handle = from_hwnd(w);
    info.pid = static_cast<int>(pid);
    wchar_t text[512];
    const int class_length = ::GetClassNameW(w, text, 512);
    info.class_name = win32::narrow(std::wstring_view(text, class_length > 0 ? class_length : 0));
    const int title_length = pid == ::GetCurrentProcessId() ? ::InternalGetWindowText(w, text, 512)
                                                            : ::GetWindowTextW(w, text, 512);
    info.title = win32::narrow(std::wstring_view(text, title_length > 0 ? title_length : 0));
    return info;
}

} // namespace

std::vector<window_info> enumerate_windows() {
    std::vector<window_info> out;
    // The walk from the topmost window down, as the programs' own code does.
    for (HWND w = ::GetTopWindow(nullptr); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        out.push_back(describe(w, pid));
    }
    return out;
}

std::vector<window_info> windows_of_process(std::uint32_t wanted) {
    std::vector<window_info> out;
    if (wanted == 0 || wanted == ::GetCurrentProcessId()) {
        return out;
    }
    for (HWND w = ::GetTopWindow(nullptr); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        if (pid == wanted) {
            out.push_back(describe(w, pid));
        }
    }
    return out;
}

std::vector<window_info> enumerate_windows(const std::string&) {
    return enumerate_windows();
}

// A manual-reset event: set, it ends every wait on it, now and later.
// The flag mirrors it so that a send can look without a call into the system.
class send_cancel::impl {
public:
    impl() : event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    win32::unique_handle event;
    std::atomic<bool> set{false};
};

send_cancel::send_cancel() : impl_(std::make_unique<impl>()) {}

send_cancel::~send_cancel() = default;

void send_cancel::set(bool cancelled) {
    if (cancelled) {
        impl_->set = true;
        ::SetEvent(impl_->event.get());
    } else {
        ::ResetEvent(impl_->event.get());
        impl_->set = false;
    }
}

bool send_cancel::cancelled() const {
    return impl_->set;
}

namespace {

// The answer of a send made with SendMessageCallbackW. The callback runs on
// the sending thread while it waits, or later if the wait was cancelled, so
// the answer is shared between the two.
struct pending_answer {
    bool done = false;
    LRESULT result = 0;
};

void CALLBACK handle_answer(HWND, UINT, ULONG_PTR data, LRESULT result) {
    std::unique_ptr<std::shared_ptr<pending_answer>> keep(
        reinterpret_cast<std::shared_ptr<pending_answer>*>(data));
    (*keep)->done = true;
    (*keep)->result = result;
}

// SendMessageTimeoutW cannot be interrupted; this send can: it waits for
// the answer, the time-out or the cancel event, whichever comes first.
std::optional<std::int64_t> cancellable_send(HWND target, std::uint32_t message,
                                             std::int64_t wparam, std::int64_t lparam,
                                             std::chrono::milliseconds timeout, HANDLE cancel) {
    auto answer = std::make_shared<pending_answer>();
    auto* keep = new std::shared_ptr<pending_answer>(answer);
    if (!::SendMessageCallbackW(target, message, static_cast<WPARAM>(wparam),
                                static_cast<LPARAM>(lparam), handle_answer,
                                reinterpret_cast<ULONG_PTR>(keep))) {
        delete keep;
        return std::nullopt;
    }
    // Waits before each look into the queue (a call into the system): only
    // a window of this thread, which answers within the send, is done here.
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (answer->done) {
            return static_cast<std::int64_t>(answer->result);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        const DWORD wait = static_cast<DWORD>(std::min<long long>(left.count(), 0x7FFFFFFF));
        // Input already in the queue ends the wait too (MWMO_INPUTAVAILABLE):
        // an answer that came before the wait began is not waited past.
        const DWORD woke =
            ::MsgWaitForMultipleObjectsEx(1, &cancel, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) {
            return std::nullopt; // the answer, when it comes, frees itself
        }
        // Delivers the callback (and what else is queued to this thread,
        // until the answer is in).
        MSG m;
        while (!answer->done && ::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&m);
            ::DispatchMessageW(&m);
        }
        if (!answer->done && !::IsWindow(target)) {
            return std::nullopt;
        }
    }
}

} // namespace

std::optional<std::int64_t> try_send_message(const std::string&, window_handle window,
                                             std::uint32_t message, std::int64_t wparam,
                                             std::int64_t lparam, std::chrono::milliseconds timeout,
                                             const send_cancel* cancel) {
    const HWND target = to_hwnd(window);
    if (window == 0) {
        return std::nullopt;
    }
    if (cancel != nullptr) {
        // A window that is gone fails the send itself.
        if (cancel->cancelled()) {
            return std::nullopt;
        }
        return cancellable_send(target, message, wparam, lparam, timeout,
                                cancel->native().event.get());
    }
    if (!::IsWindow(target)) {
        return std::nullopt;
    }
    DWORD_PTR result = 0;
    const auto ms = static_cast<UINT>(std::min<long long>(timeout.count(), 0x7FFFFFFF));
    if (::SendMessageTimeoutW(target, message, static_cast<WPARAM>(wparam),
                              static_cast<LPARAM>(lparam), SMTO_NORMAL, ms, &result) == 0) {
        return std::nullopt; // gone, or the time-out passed (ERROR_TIMEOUT)
    }
    return static_cast<std::int64_t>(static_cast<LRESULT>(result));
}

std::int64_t send_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                          std::int64_t lparam) {
    return send_message(window, message, wparam, lparam, send_timeout());
}

std::int64_t send_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                          std::int64_t lparam, std::chrono::milliseconds timeout) {
    return try_send_message({}, window, message, wparam, lparam, timeout).value_or(0);
}

bool post_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                  std::int64_t lparam) {
    return window != 0 && ::PostMessageW(to_hwnd(window), message, static_cast<WPARAM>(wparam),
                                         static_cast<LPARAM>(lparam)) != 0;
}

std::int64_t send_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                          std::int64_t lparam, const send_cancel& cancel) {
    return try_send_message({}, window, message, wparam, lparam, send_timeout(), &cancel)
        .value_or(0);
}

bool post_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                  std::int64_t lparam, const send_cancel& cancel) {
    return !cancel.cancelled() && post_message(window, message, wparam, lparam);
}

bool post_message(const std::string&, window_handle window, std::uint32_t message,
                  std::int64_t wparam, std::int64_t lparam, const send_cancel* cancel) {
    if (cancel != nullptr && cancel->cancelled()) {
        return false;
    }
    return post_message(window, message, wparam, lparam);
}

} // namespace zs::platform
