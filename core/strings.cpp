#include "core/strings.hpp"

#include "platform/codepage.hpp"
#include "platform/files.hpp"
#include "resources/resources.hpp"

#include <memory>

namespace zs::core {

std::vector<std::u16string> decode_string_lines(std::string_view utf8) {
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    while (start < utf8.size()) {
        std::size_t lf = utf8.find('\n', start);
        const bool last = lf == std::string_view::npos;
        std::string_view line = utf8.substr(start, last ? std::string_view::npos : lf - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        bool complete = true;
        std::u16string text = platform::utf8_to_utf16(line, &complete);
        if (!complete) {
            break; // what decoded before the error is kept
        }
        lines.push_back(std::move(text));
        if (last) {
            break;
        }
        start = lf + 1;
    }
    while (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

string_table::string_table(std::string override_path, std::string_view builtin)
    : override_path_(std::move(override_path)), builtin_(builtin) {}

void string_table::load_once() {
    std::call_once(loaded_, [this] {
        std::string bytes;
        if (!override_path_.empty() && platform::read_file(override_path_, bytes)) {
            override_ = decode_string_lines(bytes);
        }
        builtin_lines_ = decode_string_lines(builtin_);
    });
}

std::u16string string_table::get_string(unsigned index) {
    load_once();
    if (index < override_.size()) {
        return override_[index];
    }
    if (index < builtin_lines_.size()) {
        return builtin_lines_[index];
    }
    const std::string number = std::to_string(index);
    std::u16string text(1, u'<');
    text.append(number.begin(), number.end());
    text.push_back(u'>');
    return text;
}

std::u16string string_table::get_string_or(unsigned index, std::u16string_view fallback) {
    load_once();
    if (override_.size() < 23 && builtin_lines_.size() < 23) {
        return std::u16string(fallback);
    }
    return get_string(index);
}

std::string string_table::get_utf8(unsigned index) {
    return platform::utf16_to_utf8(get_string(index));
}

namespace {
std::unique_ptr<string_table>& table_slot() {
    static std::unique_ptr<string_table> table;
    return table;
}
} // namespace

void install_string_table(const std::string& helper_dir) {
    table_slot() = std::make_unique<string_table>(helper_dir + strings_override_name,
                                                  resources::builtin_strings());
}

string_table& strings() {
    auto& slot = table_slot();
    if (!slot) {
        slot = std::make_unique<string_table>(std::string(), resources::builtin_strings());
    }
    return *slot;
}

std::u16string get_string(string_id id) {
    return strings().get_string(static_cast<unsigned>(id));
}
std::string get_string_utf8(string_id id) {
    return strings().get_utf8(static_cast<unsigned>(id));
}
std::u16string password_hint() {
    return strings().get_string_or(static_cast<unsigned>(string_id::password_hint),
                                   password_hint_default);
}

} // namespace zs::core
