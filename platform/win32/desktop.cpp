#include "platform/desktop.hpp"

#include "platform/env.hpp"
#include "platform/win32/wide.hpp"

namespace zs::platform {

using win32::from_hwnd;
using win32::to_hwnd;

// The session is the desktop; there is no folder to name.
std::string desktop_dir() {
    return {};
}

std::vector<window_info> enumerate_windows() {
    std::vector<window_info> out;
    // The walk from the topmost window down, as the programs' own code does.
    for (HWND w = ::GetTopWindow(nullptr); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
        window_info info;
        info.handle = from_hwnd(w);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        info.pid = static_cast<int>(pid);
        wchar_t text[512];
        const int class_length = ::GetClassNameW(w, text, 512);
        info.class_name =
            win32::narrow(std::wstring_view(text, class_length > 0 ? class_length : 0));
        const int title_length = ::GetWindowTextW(w, text, 512);
        info.title = win32::narrow(std::wstring_view(text, title_length > 0 ? title_length : 0));
        out.push_back(std::move(info));
    }
    return out;
}

std::vector<window_info> enumerate_windows(const std::string&) {
    return enumerate_windows();
}

std::optional<std::int64_t> try_send_message(const std::string&, window_handle window,
                                             std::uint32_t message, std::int64_t wparam,
                                             std::int64_t lparam,
                                             std::chrono::milliseconds timeout) {
    const HWND target = to_hwnd(window);
    if (window == 0 || !::IsWindow(target)) {
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

bool post_message(const std::string&, window_handle window, std::uint32_t message,
                  std::int64_t wparam, std::int64_t lparam) {
    return post_message(window, message, wparam, lparam);
}

} // namespace zs::platform
