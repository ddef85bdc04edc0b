#pragma once
// The notification-area icon. Where the system has no notification area
// (adding fails), the shell shows its window instead; when the taskbar
// (re)starts and broadcasts "TaskbarCreated", the icon is added again.
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <string>

namespace zs::shell::win32 {

inline constexpr UINT tray_callback_message = 32778;

class tray_icon {
public:
    tray_icon();
    tray_icon(const tray_icon&) = delete;
    tray_icon& operator=(const tray_icon&) = delete;

    // True when the system took the icon.
    bool add(HWND owner, HICON icon, const std::wstring& tip);
    void set_icon(HICON icon);
    void remove();
    // The registered "TaskbarCreated" message: re-adds a wanted icon; true
    // when the icon is in the notification area afterwards.
    bool handle_taskbar_created();
    bool is_taskbar_created(UINT message) const {
        return taskbar_created_ != 0 && message == taskbar_created_;
    }
    bool shown() const { return shown_; }
    UINT taskbar_created() const { return taskbar_created_; }

private:
    NOTIFYICONDATAW data() const;

    UINT taskbar_created_;
    HWND owner_ = nullptr;
    HICON icon_ = nullptr;
    std::wstring tip_;
    bool wanted_ = false; // add() was called and remove() was not
    bool shown_ = false;  // the system holds the icon
};

// Where the notification area is on the screen, for the caption animation.
RECT notification_area_rect();

} // namespace zs::shell::win32
