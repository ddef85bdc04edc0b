#pragma once
// A text as a window shows it, for the check that no text is cut off.
#include <windows.h>

#include <string>

namespace zs::shell::win32 {

struct text_box {
    std::wstring name;
    std::wstring text;
    HFONT font;
    RECT box;    // in the window's client coordinates
    UINT format; // DT_ flags as drawn: one line, or word-wrapped
};

} // namespace zs::shell::win32
