#include "core/settings_encoding.hpp"

#include "platform/codepage.hpp"

namespace zs::core {

namespace {

constexpr char utf8_bom[] = "\xEF\xBB\xBF";
constexpr char utf16le_bom[] = "\xFF\xFE";
constexpr char utf16be_bom[] = "\xFE\xFF";

bool starts_with(const std::string& bytes, const char* prefix) {
    return bytes.rfind(prefix, 0) == 0;
}

std::string from_utf16(const std::string& bytes, bool big_endian) {
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        wide += static_cast<char16_t>(big_endian ? first << 8 | second : second << 8 | first);
    }
    return platform::utf16_to_utf8(wide);
}

std::string to_utf16(const std::string& utf8, bool big_endian) {
    std::string bytes;
    bool complete = true;
    std::u16string wide = platform::utf8_to_utf16(utf8, &complete);
    if (!complete) {
        // A value typed through an ANSI window is no UTF-8: kept as its letters.
        wide = platform::utf8_to_utf16(platform::ansi_to_utf8(utf8));
    }
    for (const char16_t c : wide) {
        const auto high = static_cast<char>(c >> 8);
        const auto low = static_cast<char>(c & 0xFF);
        bytes += big_endian ? high : low;
        bytes += big_endian ? low : high;
    }
    return bytes;
}

} // namespace

bool decode_settings(const std::string& bytes, settings_text& out, std::string& reason) {
    settings_text decoded;
    if (starts_with(bytes, utf8_bom)) {
        decoded = {settings_encoding::utf8_bom, bytes.substr(3)};
    } else if (starts_with(bytes, utf16le_bom) || starts_with(bytes, utf16be_bom)) {
        const bool big_endian = starts_with(bytes, utf16be_bom);
        decoded = {big_endian ? settings_encoding::utf16be : settings_encoding::utf16le,
                   from_utf16(bytes.substr(2), big_endian)};
        // Cut or broken: saving would change what the owner wrote.
        if (encode_settings(decoded.text, decoded.encoding) != bytes) {
            reason = "its Unicode (UTF-16) text is cut short or broken; save it as UTF-8";
            return false;
        }
    } else {
        decoded = {settings_encoding::plain, bytes};
    }
    if (decoded.text.find('\0') != std::string::npos) {
        reason = "it holds NUL characters (saved in an encoding the server does not read); save "
                 "it as ANSI, UTF-8 or Unicode";
        return false;
    }
    out = std::move(decoded);
    return true;
}

std::string encode_settings(const std::string& text, settings_encoding encoding) {
    switch (encoding) {
    case settings_encoding::plain:
        break;
    case settings_encoding::utf8_bom:
        return utf8_bom + text;
    case settings_encoding::utf16le:
        return utf16le_bom + to_utf16(text, false);
    case settings_encoding::utf16be:
        return utf16be_bom + to_utf16(text, true);
    }
    return text;
}

} // namespace zs::core
