#include "shell/win32/tray_icon.hpp"

#include <algorithm>

namespace zs::shell::win32 {

namespace {
constexpr UINT icon_id = 1;
constexpr std::size_t max_tip = 127; // the tip field holds 128 characters with its end
} // namespace

tray_icon::tray_icon() : taskbar_created_(::RegisterWindowMessageW(L"TaskbarCreated")) {}

NOTIFYICONDATAW tray_icon::data() const {
    NOTIFYICONDATAW d{};
    d.cbSize = sizeof d;
    d.hWnd = owner_;
    d.uID = icon_id;
    d.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    d.uCallbackMessage = tray_callback_message;
    d.hIcon = icon_;
    tip_.copy(d.szTip, std::min(tip_.size(), max_tip));
    return d;
}

bool tray_icon::add(HWND owner, HICON icon, const std::wstring& tip) {
    owner_ = owner;
    icon_ = icon;
    tip_ = tip;
    wanted_ = true;
    NOTIFYICONDATAW d = data();
    shown_ = ::Shell_NotifyIconW(NIM_ADD, &d) != FALSE;
    return shown_;
}

void tray_icon::set_icon(HICON icon) {
    icon_ = icon;
    if (shown_) {
        NOTIFYICONDATAW d = data();
        ::Shell_NotifyIconW(NIM_MODIFY, &d);
    }
}

void tray_icon::remove() {
    if (shown_) {
        NOTIFYICONDATAW d = data();
        ::Shell_NotifyIconW(NIM_DELETE, &d);
    }
    shown_ = false;
    wanted_ = false;
}

bool tray_icon::handle_taskbar_created() {
    if (wanted_) {
        NOTIFYICONDATAW d = data();
        shown_ = ::Shell_NotifyIconW(NIM_ADD, &d) != FALSE;
    }
    return shown_;
}

RECT notification_area_rect() {
    RECT r{};
    if (HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr)) {
        if (HWND notify = ::FindWindowExW(taskbar, nullptr, L"TrayNotifyWnd", nullptr)) {
            ::GetWindowRect(notify, &r);
            RECT clock{};
            HWND clock_window = ::FindWindowExW(notify, nullptr, L"TrayClockWClass", nullptr);
            if (clock_window != nullptr && ::GetWindowRect(clock_window, &clock)) {
                if (r.right - r.left > r.bottom - r.top) {
                    r.right = clock.left; // the clock is at the right end
                } else {
                    r.bottom = clock.top;
                }
            }
            return r;
        }
    }
    APPBARDATA bar{};
    bar.cbSize = sizeof bar;
    if (::SHAppBarMessage(ABM_GETTASKBARPOS, &bar) != 0) {
        r = bar.rc;
        if (bar.uEdge == ABE_LEFT || bar.uEdge == ABE_RIGHT) {
            r.top = r.bottom - 100;
            r.bottom -= 16;
        } else {
            r.left = r.right - 100;
            r.right -= 16;
        }
        return r;
    }
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return RECT{work.right - 150, work.bottom - 30, work.right, work.bottom};
}

} // namespace zs::shell::win32
