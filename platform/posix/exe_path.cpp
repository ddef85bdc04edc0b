#include "platform/exe_path.hpp"

#include <unistd.h>

namespace zs::platform {

std::string executable_path() {
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

} // namespace zs::platform
