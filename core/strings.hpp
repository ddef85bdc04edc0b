#pragma once
// The numbered user-interface texts: a built-in list, overridden line by line
// by ZebrixServer_Strings.txt in the helper folder.
#include "core/string_ids.hpp"

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zs::core {

inline constexpr const char* strings_override_name = "ZebrixServer_Strings.txt";

class string_table {
public:
    // Loads on the first lookup; never reloaded.
    string_table(std::string override_path, std::string_view builtin);

    std::u16string get_string(unsigned index);
    // As get_string, but the default when neither list reaches index 22.
    std::u16string get_string_or(unsigned index, std::u16string_view fallback);
    std::string get_utf8(unsigned index);

private:
    void load_once();

    std::string override_path_;
    std::string_view builtin_;
    std::once_flag loaded_;
    std::vector<std::u16string> override_;
    std::vector<std::u16string> builtin_lines_;
};

// Splits UTF-8 text into strings: lines end at LF, a CR before it goes,
// reading stops at the first decoding error, empty lines at the end go.
std::vector<std::u16string> decode_string_lines(std::string_view utf8);

// The process's table; set up by the entry once the helper folder is known.
void install_string_table(const std::string& helper_dir);
string_table& strings();
std::u16string get_string(string_id id);
std::string get_string_utf8(string_id id);
// The Options dialog's note, with its built-in text when the list is shorter.
std::u16string password_hint();

} // namespace zs::core
