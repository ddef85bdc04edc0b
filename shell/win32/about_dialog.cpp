#include "shell/win32/about_dialog.hpp"
#include "shell/win32/ui_text.hpp"

#include "core/strings.hpp"
#include "core/version.hpp"
#include "resources/win32/resource_ids.h"

#include <string>

namespace zs::shell::win32 {

namespace {

std::wstring widen_ascii(const char* text) {
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

INT_PTR CALLBACK about_procedure(HWND dialog, UINT message, WPARAM wp, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        ::SetWindowTextW(dialog, text_of(core::string_id::about_caption).c_str());
        const std::wstring line =
            text_of(core::string_id::version) + L" " + widen_ascii(core::version_text) + L" " +
            text_of(core::string_id::build) + L" " + widen_ascii(core::build_text);
        ::SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, line.c_str());
        ::SetDlgItemTextW(dialog, IDC_ABOUT_NOTICE, text_of(core::string_id::notice).c_str());
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            ::EndDialog(dialog, LOWORD(wp));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace

void show_about_dialog(HINSTANCE instance, HWND owner) {
    ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, &about_procedure, 0);
}

} // namespace zs::shell::win32
