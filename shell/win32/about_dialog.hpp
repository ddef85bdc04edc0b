#pragma once
// The modal About dialog (resource 103): caption, version line and notice
// from the string table.
#include <windows.h>

namespace zs::shell::win32 {

void show_about_dialog(HINSTANCE instance, HWND owner);

} // namespace zs::shell::win32
