#pragma once
// How a settings file was saved. Notepad writes ANSI, UTF-8 with or without
// a byte-order mark, and "Unicode" (UTF-16 with its mark, either byte
// order); the server reads each as saved and saves it the same way, so the
// file stays as its owner saved it.
#include <string>

namespace zs::core {

enum class settings_encoding { plain, utf8_bom, utf16le, utf16be };

struct settings_text {
    settings_encoding encoding = settings_encoding::plain;
    // The bytes after the mark; UTF-16 as UTF-8, so it reads like the same
    // text saved as UTF-8 with BOM.
    std::string text;
};

// False with `reason` when the bytes are no text the server can read back
// unchanged: UTF-16 that is cut short or broken (a lone surrogate), or NUL
// characters (UTF-16 without its mark, say).
bool decode_settings(const std::string& bytes, settings_text& out, std::string& reason);
std::string encode_settings(const std::string& text, settings_encoding encoding);

} // namespace zs::core
