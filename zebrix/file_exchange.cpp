#include "zebrix/file_exchange.hpp"

#include "platform/files.hpp"

namespace zs::zebrix {

namespace {

const std::string empty_text;
const std::vector<std::string> no_values;

} // namespace

std::string lower_ascii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

void key_value_store::add(const std::string& key, const std::string& value) {
    auto [it, inserted] = entries_.try_emplace(lower_ascii(key));
    if (inserted) {
        it->second.spelling = key;
    }
    it->second.values.push_back(value);
}

const std::string& key_value_store::lookup(const std::string& key) const {
    auto it = entries_.find(lower_ascii(key));
    if (it == entries_.end() || it->second.values.empty()) {
        return empty_text;
    }
    return it->second.values.front();
}

const std::vector<std::string>& key_value_store::values(const std::string& key) const {
    auto it = entries_.find(lower_ascii(key));
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
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool has_lf = end != std::string::npos;
        if (!has_lf) {
            end = text.size();
        }
        std::size_t stop = end;
        // A text-mode read turns CR LF into LF: that CR is not part of the value.
        if (has_lf && stop > start && text[stop - 1] == '\r') {
            --stop;
        }
        const std::string line = text.substr(start, stop - start);
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            store.add(line.substr(0, eq), line.substr(eq + 1));
        }
        start = end + 1;
    }
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

int parse_leading_int(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL) {
            value = 2147483648LL; // saturate; wider values make no sense here
        }
    }
    value = negative ? -value : value;
    if (value > 2147483647LL) {
        value = 2147483647LL;
    }
    return static_cast<int>(value);
}

output_error evaluate_output(const key_value_store& output, int failure_code) {
    const std::string& error = output.lookup("error");
    if (error.empty()) {
        return {true, 2, 0, "Unknown error"};
    }
    const int n = parse_leading_int(error);
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

} // namespace zs::zebrix
