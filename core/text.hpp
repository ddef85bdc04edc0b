#pragma once
// Byte-string helpers shared by the server, the stand-ins and the client.
// Texts are in the ANSI code page: only the ASCII letters have a case here.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace zs::core {

inline char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ascii_lower(std::string text) {
    for (char& c : text) {
        c = ascii_lower(c);
    }
    return text;
}

inline bool iequal_ascii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) {
            return false;
        }
    }
    return true;
}

// atoi-like: white space, a sign and the digits that follow; no digits gives
// 0; values past the 32-bit range saturate at its ends.
inline std::int32_t parse_leading_int(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(value * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative) {
        value = -value;
    }
    return static_cast<std::int32_t>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// Which control characters a plain name may hold. Names a remote client
// gives for file exchanges refuse only NUL; the audio file a job names
// refuses every control character.
enum class name_controls { nul_refused, all_refused };

// A file name without folder parts: not empty, not ".", no "..", no "/",
// "\" or ":" (a drive), and no control character that `controls` refuses.
inline bool is_plain_name(std::string_view name, name_controls controls) {
    if (name.empty() || name == "." || name.find("..") != std::string_view::npos) {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [controls](char c) {
        const bool control = controls == name_controls::all_refused
                                 ? static_cast<unsigned char>(c) < 0x20
                                 : c == '\0';
        return c == '/' || c == '\\' || c == ':' || control;
    });
}

// A name Windows does not take as written, so another file or a device is
// what it opens: one ending in a dot or a space (dropped there), or a
// device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9, LPT0-9, also the
// superscript digits 1-3 in the ANSI code page or UTF-8), with any
// extension and in any case. Refused on both systems: these are Windows names.
inline bool is_windows_alias(std::string_view name) {
    if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
        return true;
    }
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    const std::string lower = ascii_lower(std::string(base));
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
        if (lower == device) {
            return true;
        }
    }
    if (lower.rfind("com", 0) != 0 && lower.rfind("lpt", 0) != 0) {
        return false;
    }
    std::string_view number = std::string_view(lower).substr(3);
    if (number.size() == 2 && number[0] == '\xC2') {
        number.remove_prefix(1); // UTF-8 of the superscript digits
    }
    return number.size() == 1 && ((number[0] >= '0' && number[0] <= '9') || number[0] == '\xB9' ||
                                  number[0] == '\xB2' || number[0] == '\xB3');
}

// A line split at its first '='; nothing without one. The key may be empty.
inline std::optional<std::pair<std::string_view, std::string_view>>
split_key_value(std::string_view line) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return std::pair{line.substr(0, eq), line.substr(eq + 1)};
}

// Lines end at LF and lose the CR before it. A CR that ends a last line
// without LF is kept (a text-mode read leaves it, it is data) or dropped.
enum class last_line_cr { kept, dropped };

// Calls `each(key, value)` for every line of `text` that holds an '='.
inline void
for_each_key_value(std::string_view text, last_line_cr last_cr,
                   const std::function<void(std::string_view, std::string_view)>& each) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r' &&
            (lf != std::string_view::npos || last_cr == last_line_cr::dropped)) {
            line.remove_suffix(1);
        }
        if (const auto kv = split_key_value(line)) {
            each(kv->first, kv->second);
        }
        start = end + 1;
    }
}

} // namespace zs::core
