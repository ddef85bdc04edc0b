#pragma once
// Display scaling. The program is per-monitor aware: each window lays
// itself out at its own monitor's DPI, given in layout units of 1/96 inch.
#include <windows.h>

namespace zs::shell::win32 {

inline constexpr UINT base_dpi = 96;

// The window's DPI (Windows 10 1607 and later), else the screen's.
UINT window_dpi(HWND window);
// A small icon's side at the DPI.
int small_icon_size(UINT dpi);

inline int scaled(int value, UINT dpi) {
    return ::MulDiv(value, static_cast<int>(dpi), static_cast<int>(base_dpi));
}
inline RECT scaled(RECT r, UINT dpi) {
    return RECT{scaled(r.left, dpi), scaled(r.top, dpi), scaled(r.right, dpi),
                scaled(r.bottom, dpi)};
}
// Font height in pixels for a size in points at the DPI.
inline int point_height(int points, UINT dpi) {
    return -::MulDiv(points, static_cast<int>(dpi), 72);
}

} // namespace zs::shell::win32
