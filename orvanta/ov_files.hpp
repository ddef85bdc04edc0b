#pragma once
// The files exchanged with Orvanta in its "OvHelper/" folder. Key/value files
// and the output check are the shared ones of core/file_exchange.hpp.
#include <string>
#include <system_error>

namespace zs::orvanta {

// Truncates the input file and writes, in text mode, "Mode=Remote",
// "WParam=<first>", "LParam=<second>", then the text. False when it cannot be opened.
bool write_input_file(const std::string& input_path, const std::string& text, int first, int second,
                      std::error_code* error = nullptr);
// Truncates and writes the text in text mode (LF stored as CR LF).
bool write_text_file(const std::string& path, const std::string& text,
                     std::error_code* error = nullptr);
// The whole file converted from the ANSI code page to UTF-8. False when the
// file cannot be opened or holds nothing; `out` is then left alone.
bool read_text_file(const std::string& path, std::string& out);
// A key=value file (case-insensitive keys) serialized one "key=value\n" per value.
std::string read_key_values_text(const std::string& path);

} // namespace zs::orvanta
