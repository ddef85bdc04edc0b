#include "platform/user_message.hpp"

#include "platform/codepage.hpp"

#include <cstdio>

namespace zs::platform {

void tell_user(const std::u16string& text, message_kind) {
    const std::string line = utf16_to_utf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace zs::platform
