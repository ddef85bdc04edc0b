#pragma once
// Moving a borderless window by its background: the grab point stays under
// the cursor until the button is released or the capture is lost.
#include <windows.h>

namespace zs::shell::win32 {

class window_drag {
public:
    // Each returns true when it handled the message.
    bool handle_button_down(HWND window, LPARAM lp);
    bool handle_move(HWND window);
    bool handle_end(HWND window, UINT message);

private:
    bool dragging_ = false;
    POINT grab_{};
};

} // namespace zs::shell::win32
