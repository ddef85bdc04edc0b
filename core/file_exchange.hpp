#pragma once
// Text files exchanged with the desktop programs: the remote-control input
// file, whole-file reads that consume the file, and key=value files. Both
// drivers use these; every path is a parameter.
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <vector>

namespace zs::core {

// Keys compared without regard to ASCII case; each key keeps the spelling it
// had when first met and its values in the order met.
class key_value_store {
public:
    void clear() { entries_.clear(); }
    bool empty() const { return entries_.empty(); }
    std::size_t key_count() const { return entries_.size(); }

    void add(const std::string& key, const std::string& value);
    // The first value of the key, or an empty text when the key is absent.
    const std::string& lookup(const std::string& key) const;
    // Every value of the key in the order met (empty when absent).
    const std::vector<std::string>& values(const std::string& key) const;

    // One "key=value\n" line per value, keys in ascending byte order of their
    // lower-case form, each under its first spelling.
    std::string serialize() const;

private:
    struct entry {
        std::string spelling;
        std::vector<std::string> values;
    };
    std::map<std::string, entry> entries_; // by lower-case key
};

// Truncates `path` and writes, in text mode (each LF stored as CR LF, also
// inside the text): "Mode=Remote", "WParam=<code>", "LParam=<number>", then
// the text with no line end added. False when the file cannot be written.
bool write_input_file(const std::string& path, int code, int number, const std::string& text,
                      std::error_code* error = nullptr);

// Reads the whole file as bytes into `out`, then deletes it. A file that
// cannot be opened gives false, leaves `out` alone and deletes nothing.
bool read_and_remove_file(const std::string& path, std::string& out);

// Empties the store, then adds each line split at its first "=" (nothing
// trimmed, lines without "=" ignored). The file is left as it is; one that
// cannot be opened leaves the store empty.
void read_key_value_file(const std::string& path, key_value_store& store);
// Splits text lines as read_key_value_file does, without touching the store first.
void parse_key_values(const std::string& text, key_value_store& store);

std::string serialize_key_values(const key_value_store& store);
void add_key_value(key_value_store& store, const std::string& key, const std::string& value);

// What an output file says about the command that wrote it.
struct output_error {
    bool failed = false; // false: "error" read as 0
    int code = 0;        // error code of the reply
    int detail = 0;
    std::string text;
};
// `failure_code` is the code for a failure the program reported (4 for
// Zebrix, 8 for Orvanta); a missing or empty "error" gives code 2.
output_error evaluate_output(const key_value_store& output, int failure_code);

using error_sink = std::function<void(int code, int detail, const std::string& text)>;
// Reads the output file at `output_path`; when it reports a failure, hands
// the error to `send_error` and gives true.
bool check_output_error(const std::string& output_path, int failure_code,
                        const error_sink& send_error);

} // namespace zs::core
