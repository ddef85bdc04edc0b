#include "platform/user_message.hpp"

#include "platform/win32/wide.hpp"

#include <cstdio>

namespace zs::platform {

void tell_user(const std::u16string& text, message_kind kind) {
    std::wstring wide(text.begin(), text.end());
    // A GUI program started from the desktop has no standard error; one
    // started from a console or a test has, and a box would wait for a click.
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    if (err != nullptr && err != INVALID_HANDLE_VALUE && ::GetFileType(err) != FILE_TYPE_UNKNOWN) {
        const std::string line = win32::narrow(wide) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
        return;
    }
    const UINT icon = kind == message_kind::error     ? MB_ICONERROR
                      : kind == message_kind::warning ? MB_ICONWARNING
                                                      : MB_ICONINFORMATION;
    ::MessageBoxW(nullptr, wide.c_str(), L"Zebrix Server", MB_OK | icon);
}

} // namespace zs::platform
