#include "shell/win32/window_drag.hpp"

namespace zs::shell::win32 {

bool window_drag::handle_button_down(HWND window, LPARAM lp) {
    grab_.x = static_cast<short>(LOWORD(lp));
    grab_.y = static_cast<short>(HIWORD(lp));
    dragging_ = true;
    ::SetCapture(window);
    return true;
}

bool window_drag::handle_move(HWND window) {
    if (!dragging_) {
        return false;
    }
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ::SetWindowPos(window, nullptr, cursor.x - grab_.x, cursor.y - grab_.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

bool window_drag::handle_end(HWND window, UINT message) {
    if (!dragging_) {
        return false;
    }
    dragging_ = false;
    if (message != WM_CAPTURECHANGED && ::GetCapture() == window) {
        ::ReleaseCapture();
    }
    return true;
}

} // namespace zs::shell::win32
