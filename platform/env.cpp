#include "platform/env.hpp"

#include "platform/files.hpp"

#include <charconv>
#include <cstdlib>
#ifdef _WIN32
#include "platform/win32/wide.hpp"
#endif

#ifdef _WIN32
#include "platform/win32/wide.hpp"

#include <knownfolders.h>
#include <shlobj.h>
#endif

namespace zs::platform {

std::string env_or(const char* name, const std::string& fallback) {
#ifdef _WIN32
    // The wide environment: the C library's copy is in the ANSI code page.
    const std::wstring wide_name = win32::widen(name);
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD n = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(),
                                                  static_cast<DWORD>(value.size()));
        if (n == 0) {
            return fallback;
        }
        if (n < value.size()) {
            value.resize(n);
            return win32::narrow(value);
        }
        value.resize(n);
    }
#else
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') {
        return fallback;
    }
    return v;
#endif
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

std::string user_config_dir() {
    const auto with_separator = [](std::string path) {
        if (path.back() != path_separator) {
            path += path_separator;
        }
        return path;
    };
#ifdef _WIN32
    if (const std::string appdata = env_or("APPDATA", ""); !appdata.empty()) {
        return with_separator(appdata);
    }
    PWSTR known = nullptr;
    std::string folder;
    if (::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &known) == S_OK) {
        folder = win32::narrow(known);
    }
    ::CoTaskMemFree(known);
    if (!folder.empty()) {
        return with_separator(folder);
    }
#else
    if (const std::string x = env_or("XDG_CONFIG_HOME", ""); !x.empty()) {
        return with_separator(x);
    }
    if (const std::string home = env_or("HOME", ""); !home.empty()) {
        return with_separator(home + "/.config");
    }
#endif
    return "";
}

std::string user_state_dir() {
    constexpr char own[] = "ZebrixServer";
#ifdef _WIN32
    // Read wide: a user name outside the ANSI code page must survive.
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) {
        return "";
    }
    std::string base = win32::narrow(std::wstring_view(buffer, n));
#else
    std::string base = env_or("XDG_STATE_HOME", "");
    if (base.empty()) {
        const std::string home = env_or("HOME", "");
        if (home.empty()) {
            return "";
        }
        base = home + "/.local/state";
    }
#endif
    if (base.back() != path_separator) {
        base += path_separator;
    }
    return base + own + path_separator;
}

std::uint16_t tcp_port() {
    return static_cast<std::uint16_t>(env_number("ZEBRIX_TCP_PORT", 6789, 1, 65535));
}

std::uint16_t udp_port() {
    return static_cast<std::uint16_t>(env_number("ZEBRIX_UDP_PORT", 6790, 1, 65535));
}

std::string codepage() {
    return env_or("ZEBRIX_CODEPAGE", "WINDOWS-1252");
}

std::chrono::milliseconds send_timeout() {
    return std::chrono::milliseconds(
        env_number("ZEBRIX_SEND_TIMEOUT_MS", 60000, 0, 24LL * 3600 * 1000));
}

} // namespace zs::platform
