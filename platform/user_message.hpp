#pragma once
// A message for the person who started the program: on standard error when
// there is one, else (a Windows program started from the desktop) a message box.
#include <string>

namespace zs::platform {

enum class message_kind { warning, error, information };

void tell_user(const std::u16string& text, message_kind kind);

} // namespace zs::platform
