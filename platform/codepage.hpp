#pragma once
// Conversions between the machine's ANSI code page, UTF-8 and UTF-16.
#include <optional>
#include <string>
#include <string_view>

namespace zs::platform {

// Characters the target cannot represent become "?", as the Windows
// converters do; a byte the source cannot decode becomes U+FFFD / "?".
std::string ansi_to_utf8(std::string_view ansi);
std::string utf8_to_ansi(std::string_view utf8);

// Exactly in the ANSI code page: nothing when a character is not in it.
std::optional<std::string> utf8_to_ansi_exact(std::string_view utf8);

// A path (UTF-8) as a program that reads the ANSI code page takes it: the
// path itself when every letter is in the code page, else its short (8.3)
// name where the file system keeps one for it; nothing when neither names it.
std::optional<std::string> path_for_program(const std::string& path);

// UTF-8 to UTF-16; stops at the first decoding error and says so.
std::u16string utf8_to_utf16(std::string_view utf8, bool* complete = nullptr);
std::string utf16_to_utf8(std::u16string_view text);

// A conversion between two iconv code sets with the replacement rule above.
std::string convert(std::string_view input, const char* from, const char* to,
                    std::string_view replacement);

} // namespace zs::platform
