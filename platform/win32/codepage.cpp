#include "platform/codepage.hpp"

#include "platform/win32/wide.hpp"

namespace zs::platform {

namespace {

// The code page's text to UTF-16; undecodable bytes become U+FFFD.
std::wstring to_wide(UINT page, std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(page, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(page, 0, text.data(), size, out.data(), n);
    return out;
}

std::string from_wide(UINT page, std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const char* fallback = page == CP_UTF8 ? nullptr : "?";
    const int n = ::WideCharToMultiByte(page, 0, text.data(), size, nullptr, 0, fallback, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(page, 0, text.data(), size, out.data(), n, fallback, nullptr);
    return out;
}

UINT page_of(const char* name) {
    const std::string n(name);
    if (n == "UTF-8") {
        return CP_UTF8;
    }
    if (n == "WINDOWS-1252" || n == "CP1252") {
        return 1252;
    }
    return CP_ACP;
}

} // namespace

std::string ansi_to_utf8(std::string_view ansi) {
    return from_wide(CP_UTF8, to_wide(CP_ACP, ansi));
}

std::string utf8_to_ansi(std::string_view utf8) {
    return from_wide(CP_ACP, to_wide(CP_UTF8, utf8));
}

namespace {

std::optional<std::string> to_ansi_exact(std::wstring_view text) {
    if (text.empty() || ::GetACP() == CP_UTF8) {
        return win32::narrow(text);
    }
    const int size = static_cast<int>(text.size());
    BOOL lost = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0,
                                        nullptr, &lost);
    if (n <= 0 || lost) {
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, out.data(), n, nullptr,
                          &lost);
    return out;
}

} // namespace

std::optional<std::string> utf8_to_ansi_exact(std::string_view utf8) {
    return to_ansi_exact(win32::widen(utf8));
}

std::optional<std::string> path_for_program(const std::string& path) {
    const std::wstring wide = win32::widen(path);
    if (auto exact = to_ansi_exact(wide)) {
        return exact;
    }
    // The short name consists of letters of the OEM/ANSI range where the
    // volume keeps short names at all; a path without one cannot be handed over.
    const DWORD n = ::GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (n == 0) {
        return std::nullopt;
    }
    std::wstring short_path(n, L'\0');
    const DWORD got = ::GetShortPathNameW(wide.c_str(), short_path.data(), n);
    if (got == 0 || got >= n) {
        return std::nullopt;
    }
    short_path.resize(got);
    if (!wide.empty() && wide.back() == L'\\' &&
        (short_path.empty() || short_path.back() != L'\\')) {
        short_path += L'\\';
    }
    return to_ansi_exact(short_path);
}

std::u16string utf8_to_utf16(std::string_view utf8, bool* complete) {
    std::u16string out;
    bool ok = true;
    if (!utf8.empty()) {
        // Strict decoding finds the first error; the text before it is kept.
        const int size = static_cast<int>(utf8.size());
        int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
        std::size_t good = utf8.size();
        if (n == 0) {
            ok = false;
            // Shorten until the prefix decodes.
            good = 0;
            for (std::size_t len = utf8.size(); len > 0; --len) {
                if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                          static_cast<int>(len), nullptr, 0) > 0) {
                    good = len;
                    break;
                }
            }
        }
        const std::wstring w = to_wide(CP_UTF8, utf8.substr(0, good));
        out.assign(w.begin(), w.end());
    }
    if (complete != nullptr) {
        *complete = ok;
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
    return from_wide(CP_UTF8, std::wstring(text.begin(), text.end()));
}

std::string convert(std::string_view input, const char* from, const char* to, std::string_view) {
    return from_wide(page_of(to), to_wide(page_of(from), input));
}

} // namespace zs::platform
