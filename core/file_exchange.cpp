#include "core/file_exchange.hpp"

#include "core/text.hpp"
#include "platform/files.hpp"

namespace zs::core {

namespace {

const std::string empty_text;
const std::vector<std::string> no_values;

} // namespace

void key_value_store::add(const std::string& key, const std::string& value) {
    auto [it, inserted] = entries_.try_emplace(core::ascii_lower(key));
    if (inserted) {
        it->second.spelling = key;
    }
    it->second.values.push_back(value);
}

const std::string& key_value_store::lookup(const std::string& key) const {
    auto it = entries_.find(core::ascii_lower(key));
    if (it == entries_.end() || it->second.values.empty()) {
        return empty_text;
    }
    return it->second.values.front();
}

const std::vector<std::string>& key_value_store::values(const std::string& key) const {
    auto it = entries_.find(core::ascii_lower(key));
    return it == entries_.end() ? no_values : it->second.values;
}

std::string key_value_store::serialize() const {
    // std::map orders std::string keys by unsigned byte value.
    std::string out;
    for (const auto& [lower, e] : entries_) {
        for (const auto& value : e.values) {
            out += e.spelling;
            out += '=';
            out += value;
            out += '\n';
        }
    }
    return out;
}

bool write_input_file(const std::string& path, int code, int number, const std::string& text,
                      std::error_code* error) {
    std::string content = "Mode=Remote\nWParam=" + std::to_string(code) +
                          "\nLParam=" + std::to_string(number) + "\n" + text;
    return platform::write_file(path, content, true, error);
}

bool read_and_remove_file(const std::string& path, std::string& out) {
    // The case-insensitive fallback names the file actually read; that one goes.
    const std::string actual = platform::resolve_for_read(path);
    std::string data;
    if (!platform::read_file(actual, data)) {
        return false;
    }
    out = std::move(data);
    platform::remove_file(actual);
    return true;
}

void parse_key_values(const std::string& text, key_value_store& store) {
    // A text-mode read turns CR LF into LF: that CR is not part of the value.
    core::for_each_key_value(text, core::last_line_cr::kept,
                             [&store](std::string_view key, std::string_view value) {
                                 store.add(std::string(key), std::string(value));
                             });
}

void read_key_value_file(const std::string& path, key_value_store& store) {
    store.clear();
    std::string text;
    if (platform::read_file(path, text)) {
        parse_key_values(text, store);
    }
}

std::string serialize_key_values(const key_value_store& store) {
    return store.serialize();
}

void add_key_value(key_value_store& store, const std::string& key, const std::string& value) {
    store.add(key, value);
}

output_error evaluate_output(const key_value_store& output, int failure_code) {
    const std::string& error = output.lookup("error");
    if (error.empty()) {
        return {true, 2, 0, "Unknown error"};
    }
    const int n = core::parse_leading_int(error);
    if (n == 0) {
        return {};
    }
    std::string text = output.lookup("ZebInputErrorString");
    if (text.empty()) {
        text = "Unknown error";
    }
    return {true, failure_code, n, text};
}

bool check_output_error(const std::string& output_path, int failure_code,
                        const error_sink& send_error) {
    key_value_store output;
    read_key_value_file(output_path, output);
    const output_error result = evaluate_output(output, failure_code);
    if (!result.failed) {
        return false;
    }
    if (send_error) {
        send_error(result.code, result.detail, result.text);
    }
    return true;
}

} // namespace zs::core
