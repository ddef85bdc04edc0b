#include "shell/win32/dpi.hpp"

namespace zs::shell::win32 {

namespace {

// Looked up: older systems lack them, and their absence is no load failure.
template <class Function> Function user32_function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

UINT screen_dpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) {
        ::ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : base_dpi;
}

} // namespace

UINT window_dpi(HWND window) {
    static const auto for_window = user32_function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (window != nullptr && for_window != nullptr) {
        if (const UINT dpi = for_window(window); dpi != 0) {
            return dpi;
        }
    }
    return screen_dpi();
}

int small_icon_size(UINT dpi) {
    static const auto for_dpi = user32_function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    if (for_dpi != nullptr) {
        return for_dpi(SM_CXSMICON, dpi);
    }
    return scaled(16, dpi);
}

} // namespace zs::shell::win32
