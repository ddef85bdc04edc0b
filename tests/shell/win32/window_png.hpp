#pragma once
// The screen pixels of a window's rectangle as a PNG file, for screenshots
// that a person looks at.
#include <string>
#include <windows.h>

namespace zs::test {

std::string window_png(HWND window);

} // namespace zs::test
