#include "core/config_store.hpp"

#include "core/server_log.hpp"
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

// Reads a settings file: false when it exists but cannot be read, with
// `error` naming it; a missing file leaves `bytes` empty.
bool read_settings_file(const std::string& path, std::string& bytes, bool& found,
                        std::string& error) {
    std::string reason;
    switch (platform::read_existing_file(path, bytes, reason)) {
    case platform::read_outcome::read:
        found = true;
        return true;
    case platform::read_outcome::missing:
        found = false;
        bytes.clear();
        return true;
    case platform::read_outcome::failed:
        break;
    }
    error = "Cannot read " + path + ": " + reason;
    return false;
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
#ifdef _WIN32
    // File names ignore case here, and the programs are handed the folder in
    // lower case, as they always were.
    const std::string& kept = lower;
#else
    // On a case-sensitive file system a lower-cased path names another folder.
    const std::string& kept = orvanta_path;
#endif
    if (at == std::string::npos || orvanta_path.size() < 2) {
        return kept;
    }
    return kept.substr(0, at);
}

bool config_store::load(const std::string& helper_folder) {
    std::lock_guard lock(mutex_);
    helper_ = helper_folder;
    load_error_.clear();
    std::string bytes;
    bool found = false;
    if (!read_settings_file(helper_ + "config.txt", bytes, found, load_error_) ||
        !read_orvanta_path_file()) {
        return false;
    }
    image_ = found ? parse_config(bytes) : config_image{};
    bool save_config = false;
    bool write_orvanta = false;

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

    if (orvanta_path_.empty()) {
        orvanta_path_ = default_orvanta_path;
        write_orvanta = true;
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
        if (std::error_code why; !platform::replace_file(
                helper_ + "OrvantaPath.txt", "OrvantaPath=" + orvanta_path_ + "\r\n", &why)) {
            server_log::line("Cannot save " + helper_ + "OrvantaPath.txt: " + why.message());
        }
    }
    return true;
}

bool config_store::read_orvanta_path_file() {
    std::string bytes;
    bool found = false;
    if (!read_settings_file(helper_ + "OrvantaPath.txt", bytes, found, load_error_)) {
        return false;
    }
    for (const auto& line : split_lines(bytes)) {
        std::string key;
        std::string value;
        // An empty value counts as no line at all, so the default applies.
        if (split_key_value(line, key, value) && key == "OrvantaPath" && !value.empty()) {
            if (value.back() != platform::path_separator) {
                value += platform::path_separator;
            }
            orvanta_path_ = value;
        }
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
    std::string bytes;
    bool found = false;
    std::string error;
    if (!read_settings_file(path, bytes, found, error)) {
        save_failure_ = "The configuration cannot be saved (" + error + ")" + unsaved_note;
        server_log::line(save_failure_);
        return false;
    }
    config_image image = found ? parse_config(bytes) : config_image{};
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
    if (std::error_code why; !platform::replace_file(path, render_config(image), &why)) {
        save_failure_ = "The configuration cannot be saved (" + path + ": " + why.message() + ")" +
                        unsaved_note;
        server_log::line(save_failure_);
        return false;
    }
    save_failure_.clear();
    image_ = std::move(image);
    return true;
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
