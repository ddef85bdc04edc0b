#pragma once
// The server's persistent settings: config.txt (rewritten so that whatever a
// user wrote by hand survives), OrvantaPath.txt and the debug.txt marker.
#include "core/settings_encoding.hpp"
#include "core/text.hpp" // parse_leading_int for the options dialogs

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace zs::core {

inline constexpr const char* default_password = "kxvwq";
inline constexpr const char* default_server_name = "Zebrix Server";
inline constexpr const char* default_language = "default";
#ifdef _WIN32
inline constexpr const char* default_orvanta_path = "D:\\Orvanta\\orvanta.exe";
#else
inline constexpr const char* default_orvanta_path = "/opt/Orvanta/orvanta.exe";
#endif
inline constexpr std::int32_t default_idle_minutes = 30;
inline constexpr std::size_t max_password_bytes = 64;

// The image of config.txt between reading and writing. An entry is a key, or
// "=" followed by a raw line (a key never holds "=").
struct config_image {
    std::map<std::string, std::string> values;
    std::vector<std::string> entries;
};

// Line and value rules shared by both files.
std::vector<std::string> split_lines(const std::string& bytes);
bool split_key_value(const std::string& line, std::string& key, std::string& value);
config_image parse_config(const std::string& bytes);
std::string render_config(const config_image& image);
std::string normalise_password(const std::string& text);
// The folder part of an Orvanta path: up to the last "orvanta.exe" found
// without regard to case (lower-cased on Windows); the path itself, unchanged,
// when absent.
std::string orvanta_folder_of(const std::string& orvanta_path);

class config_store {
public:
    // Reads everything and writes back what had to be made up. A missing
    // file is a first start; one that exists but cannot be read or understood
    // gives false with load_error() naming it, and nothing is written: its
    // defaults would switch password checking off and replace the identity.
    bool load(const std::string& helper_folder);
    const std::string& load_error() const { return load_error_; }
    // Empty, or what the operator should hear about a file that was read
    // but left as it is (an OrvantaPath.txt without a usable path).
    std::string load_notice() const;
    // False (and logged) when config.txt cannot be written or re-read.
    bool save();
    // Empty when the last save worked; else what failed and why, in words.
    std::string save_failure() const;

    std::string password() const;
    std::int32_t idle_minutes() const;
    std::string server_name() const;
    std::string stemora_folder() const;
    std::string drums_folder() const;
    std::string language() const;
    std::string identity_text() const;
    std::array<std::uint8_t, 16> identity_bytes() const;
    std::string orvanta_path() const;
    std::string orvanta_folder() const;
    bool debug_mode() const;
    std::string helper_folder() const;

    void set_password(const std::string& text);
    void set_idle_minutes(std::int32_t minutes);
    void set_server_name(const std::string& text);

private:
    // False when the file exists but cannot be read (load_error_ set).
    bool read_orvanta_path_file();
    bool establish_identity(const std::string& stored);
    bool save_locked();

    mutable std::mutex mutex_;
    std::string helper_;
    config_image image_;
    std::string password_ = default_password;
    std::int32_t idle_minutes_ = default_idle_minutes;
    std::string server_name_ = default_server_name;
    std::string stemora_;
    std::string drums_;
    std::string language_ = default_language;
    std::string identity_;
    std::array<std::uint8_t, 16> identity_bytes_{};
    std::string orvanta_path_;
    bool debug_ = false;
    std::string load_error_;
    std::string load_notice_;
    settings_encoding orvanta_encoding_ = settings_encoding::plain;
    std::string save_failure_;
};

} // namespace zs::core
