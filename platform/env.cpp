#include "platform/env.hpp"

#include <charconv>
#include <cstdlib>

namespace zs::platform {

std::string env_or(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') {
        return fallback;
    }
    return v;
}

namespace {

long long env_number(const char* name, long long fallback, long long low, long long high) {
    const std::string text = env_or(name, "");
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return fallback;
    }
    return value;
}

} // namespace

std::uint16_t tcp_port() {
    return static_cast<std::uint16_t>(env_number("ZEBRIX_TCP_PORT", 6789, 1, 65535));
}

std::uint16_t udp_port() {
    return static_cast<std::uint16_t>(env_number("ZEBRIX_UDP_PORT", 6790, 1, 65535));
}

std::string codepage() { return env_or("ZEBRIX_CODEPAGE", "WINDOWS-1252"); }

std::chrono::milliseconds send_timeout() {
    return std::chrono::milliseconds(
        env_number("ZEBRIX_SEND_TIMEOUT_MS", 60000, 0, 24LL * 3600 * 1000));
}

} // namespace zs::platform
