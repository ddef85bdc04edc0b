#include "core/config_store.hpp"

#include "core/server_log.hpp"
#include "core/settings_encoding.hpp"
#include "core/text.hpp"
#include "platform/files.hpp"

#include <algorithm>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/string_generator.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <cerrno>
#include <climits>
#include <system_error>

namespace zs::core {

namespace {

std::string trim_spaces(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && s[b] == ' ') {
        ++b;
    }
    while (e > b && s[e - 1] == ' ') {
        --e;
    }
    return s.substr(b, e - b);
}

// Reads a settings file: false when it exists but cannot be read or
// understood, with `error` naming it; a missing file leaves the text empty.
bool read_settings_file(const std::string& path, settings_text& content, bool& found,
                        std::string& error) {
    std::string bytes;
    std::string reason;
    switch (platform::read_existing_file(path, bytes, reason)) {
    case platform::read_outcome::read:
        found = true;
        if (decode_settings(bytes, content, reason)) {
            return true;
        }
        break;
    case platform::read_outcome::missing:
        found = false;
        content = {};
        return true;
    case platform::read_outcome::failed:
        break;
    }
    error = "Cannot read " + path + ": " + reason;
    return false;
}

bool is_blank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

} // namespace

std::vector<std::string> split_lines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos) {
            lines.push_back(bytes.substr(start));
            return lines;
        }
        std::size_t end = lf;
        if (end > start && bytes[end - 1] == '\r') {
            --end;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = lf + 1;
    }
}

bool split_key_value(const std::string& line, std::string& key, std::string& value) {
    const auto kv = split_key_value(std::string_view(line));
    if (!kv || kv->first.empty()) {
        return false;
    }
    key = trim_spaces(std::string(kv->first));
    value = trim_spaces(std::string(kv->second));
    return true;
}

config_image parse_config(const std::string& bytes) {
    config_image image;
    for (const auto& line : split_lines(bytes)) {
        std::string key;
        std::string value;
        if (split_key_value(line, key, value)) {
            image.values[key] = value;
            image.entries.push_back(key);
        } else {
            image.entries.push_back("=" + line);
        }
    }
    return image;
}

std::string render_config(const config_image& image) {
    std::string out;
    bool first = true;
    for (const auto& entry : image.entries) {
        if (!first) {
            out += "\r\n";
        }
        first = false;
        if (!entry.empty() && entry[0] == '=') {
            out.append(entry, 1, std::string::npos);
        } else {
            out += entry;
            out += '=';
            auto it = image.values.find(entry);
            if (it != image.values.end()) {
                out += it->second;
            }
        }
    }
    return out;
}

std::string normalise_password(const std::string& text) {
    return ascii_lower(text.substr(0, std::min(text.size(), max_password_bytes)));
}

std::string orvanta_folder_of(const std::string& orvanta_path) {
    const std::string lower = ascii_lower(orvanta_path);
    const std::size_t at = lower.rfind("orvanta.exe");
    if (at == std::string::npos || orvanta_path.size() < 2) {
        return orvanta_path; // a folder named as such is used unchanged
    }
#ifdef _WIN32
    // File names ignore case here, and the programs are handed the folder in
    // lower case, as they always were.
    return lower.substr(0, at);
#else
    // On a case-sensitive file system a lower-cased path names another folder.
    return orvanta_path.substr(0, at);
#endif
}

bool config_store::load(const std::string& helper_folder) {
    std::lock_guard lock(mutex_);
    helper_ = helper_folder;
    load_error_.clear();
    load_notice_.clear();
    settings_text config;
    bool found = false;
    if (!read_settings_file(helper_ + "config.txt", config, found, load_error_) ||
        !read_orvanta_path_file()) {
        return false;
    }
    image_ = found ? parse_config(config.text) : config_image{};
    bool save_config = false;

    auto lookup = [&](const char* key, std::string& out, const std::string& fallback) {
        auto it = image_.values.find(key);
        if (it == image_.values.end()) {
            out = fallback;
            save_config = true;
            return false;
        }
        out = it->second;
        return true;
    };
    std::string text;
    lookup("ServerPassword", text, default_password);
    password_ = normalise_password(text);
    idle_minutes_ = lookup("IdleTimeToShutDownZEBW3", text, "") ? parse_leading_int(text)
                                                                : default_idle_minutes;
    lookup("SERVER_NAME", server_name_, default_server_name);
    // The two folders are optional: missing ones are not written back.
    auto optional = [&](const char* key) {
        auto it = image_.values.find(key);
        return it == image_.values.end() ? std::string() : it->second;
    };
    stemora_ = optional("CustomDirectoryForStemora");
    drums_ = optional("DrumsFolder");
    lookup("Language", language_, default_language);

    const bool write_orvanta = orvanta_path_.empty() && load_notice_.empty();
    if (orvanta_path_.empty()) {
        orvanta_path_ = default_orvanta_path;
    }
    auto it = image_.values.find("UUID");
    if (!establish_identity(it == image_.values.end() ? std::string() : it->second)) {
        save_config = true;
    }
    debug_ = platform::can_open_for_read(helper_ + "debug.txt");

    if (save_config) {
        save_locked();
    }
    if (write_orvanta) {
        const std::string line = "OrvantaPath=" + orvanta_path_ + "\r\n";
        if (std::error_code why; !platform::replace_file(
                helper_ + "OrvantaPath.txt", encode_settings(line, orvanta_encoding_), &why)) {
            server_log::line("Cannot save " + helper_ + "OrvantaPath.txt: " + why.message());
        }
    }
    return true;
}

bool config_store::read_orvanta_path_file() {
    const std::string path = helper_ + "OrvantaPath.txt";
    settings_text content;
    bool found = false;
    if (!read_settings_file(path, content, found, load_error_)) {
        return false;
    }
    orvanta_encoding_ = content.encoding;
    orvanta_path_.clear();
    // Text that is not only empty OrvantaPath lines is the user's: never replaced.
    bool only_empty_lines = true;
    for (const auto& line : split_lines(content.text)) {
        std::string key;
        std::string value;
        const bool path_line = split_key_value(line, key, value) && key == "OrvantaPath";
        // An empty value counts as no line at all, so the default applies.
        if (path_line && !value.empty()) {
            if (value.back() != platform::path_separator) {
                value += platform::path_separator;
            }
            orvanta_path_ = value;
        }
        only_empty_lines = only_empty_lines && (path_line || is_blank(line));
    }
    if (orvanta_path_.empty() && !only_empty_lines) {
        load_notice_ = path + " holds no OrvantaPath= line the server can read; it is left as it " +
                       "is and Orvanta is looked for at " + default_orvanta_path;
        server_log::line(load_notice_);
    }
    return true;
}

bool config_store::establish_identity(const std::string& stored) {
    boost::uuids::uuid id{};
    bool accepted = false;
    if (!stored.empty()) {
        try {
            id = boost::uuids::string_generator()(stored);
            accepted = true;
        } catch (const std::exception&) {
            accepted = false;
        }
    }
    if (!accepted) {
        id = boost::uuids::random_generator()();
    }
    identity_ = boost::uuids::to_string(id);
    std::copy(id.begin(), id.end(), identity_bytes_.begin());
    return accepted;
}

bool config_store::save() {
    std::lock_guard lock(mutex_);
    return save_locked();
}

namespace {
const char* const unsaved_note =
    "; the password, name and identity last only until the server stops.";
} // namespace

bool config_store::save_locked() {
    // Re-read so that lines edited by hand while the server runs survive; a
    // file that cannot be read now is left alone rather than replaced.
    const std::string path = helper_ + "config.txt";
    settings_text content;
    bool found = false;
    std::string error;
    if (!read_settings_file(path, content, found, error)) {
        save_failure_ = "The configuration cannot be saved (" + error + ")" + unsaved_note;
        server_log::line(save_failure_);
        return false;
    }
    config_image image = found ? parse_config(content.text) : config_image{};
    image.values["ServerPassword"] = password_;
    image.values["SERVER_NAME"] = server_name_;
    image.values["UUID"] = identity_;
    image.values["Language"] = language_;
    image.values["IdleTimeToShutDownZEBW3"] = std::to_string(idle_minutes_);
    for (const auto& [key, value] : image.values) {
        if (std::find(image.entries.begin(), image.entries.end(), key) == image.entries.end()) {
            image.entries.push_back(key);
        }
    }
    // Saved as its owner saved it: the same byte-order mark and encoding.
    if (std::error_code why; !platform::replace_file(
            path, encode_settings(render_config(image), content.encoding), &why)) {
        save_failure_ = "The configuration cannot be saved (" + path + ": " + why.message() + ")" +
                        unsaved_note;
        server_log::line(save_failure_);
        return false;
    }
    save_failure_.clear();
    image_ = std::move(image);
    return true;
}

std::string config_store::load_notice() const {
    std::lock_guard lock(mutex_);
    return load_notice_;
}

std::string config_store::save_failure() const {
    std::lock_guard lock(mutex_);
    return save_failure_;
}

std::string config_store::password() const {
    std::lock_guard lock(mutex_);
    return password_;
}
std::int32_t config_store::idle_minutes() const {
    std::lock_guard lock(mutex_);
    return idle_minutes_;
}
std::string config_store::server_name() const {
    std::lock_guard lock(mutex_);
    return server_name_;
}
std::string config_store::stemora_folder() const {
    std::lock_guard lock(mutex_);
    return stemora_;
}
std::string config_store::drums_folder() const {
    std::lock_guard lock(mutex_);
    return drums_;
}
std::string config_store::language() const {
    std::lock_guard lock(mutex_);
    return language_;
}
std::string config_store::identity_text() const {
    std::lock_guard lock(mutex_);
    return identity_;
}
std::array<std::uint8_t, 16> config_store::identity_bytes() const {
    std::lock_guard lock(mutex_);
    return identity_bytes_;
}
std::string config_store::orvanta_path() const {
    std::lock_guard lock(mutex_);
    return orvanta_path_;
}
std::string config_store::orvanta_folder() const {
    std::lock_guard lock(mutex_);
    return orvanta_folder_of(orvanta_path_);
}
bool config_store::debug_mode() const {
    std::lock_guard lock(mutex_);
    return debug_;
}
std::string config_store::helper_folder() const {
    std::lock_guard lock(mutex_);
    return helper_;
}

void config_store::set_password(const std::string& text) {
    std::lock_guard lock(mutex_);
    password_ = normalise_password(text);
}
void config_store::set_idle_minutes(std::int32_t minutes) {
    std::lock_guard lock(mutex_);
    idle_minutes_ = minutes;
}
void config_store::set_server_name(const std::string& text) {
    std::lock_guard lock(mutex_);
    server_name_ = text;
}

} // namespace zs::core
