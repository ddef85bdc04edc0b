#include "client/whole_number.hpp"

#include <cerrno>
#include <cstdlib>

namespace zs::client {

std::optional<long long> parse_whole(const std::string& text, long long low, long long high) {
    char* end = nullptr;
    errno = 0;
    // strtoll, not strtol: long has 32 bits on Windows, where strtol would
    // clamp an overlong number to a valid 32-bit one.
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

} // namespace zs::client
