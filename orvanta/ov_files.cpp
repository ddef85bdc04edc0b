#include "orvanta/ov_files.hpp"

#include "core/file_exchange.hpp"
#include "platform/codepage.hpp"
#include "platform/files.hpp"

namespace zs::orvanta {

bool write_input_file(const std::string& input_path, const std::string& text, int first, int second,
                      std::error_code* error) {
    return core::write_input_file(input_path, first, second, text, error);
}

bool write_text_file(const std::string& path, const std::string& text, std::error_code* error) {
    return platform::write_file(path, text, true, error);
}

bool read_text_file(const std::string& path, std::string& out) {
    std::string bytes;
    if (!platform::read_file(path, bytes)) {
        return false;
    }
    std::string text = platform::ansi_to_utf8(bytes);
    if (text.empty()) {
        return false;
    }
    out = std::move(text);
    return true;
}

std::string read_key_values_text(const std::string& path) {
    core::key_value_store store;
    core::read_key_value_file(path, store);
    return core::serialize_key_values(store);
}

} // namespace zs::orvanta
