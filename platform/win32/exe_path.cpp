#include "platform/exe_path.hpp"

#include "platform/win32/wide.hpp"

namespace zs::platform {

std::string executable_path() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            return win32::narrow(buffer);
        }
        buffer.resize(buffer.size() * 2); // truncated: try a larger buffer
    }
}

} // namespace zs::platform
