#include "client/client_settings.hpp"

#include "client/whole_number.hpp"
#include "core/text.hpp"
#include "platform/env.hpp"

#include <sstream>

namespace zs::client {

namespace {

constexpr std::size_t max_password_bytes = 64;

std::string trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) {
        return "";
    }
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

// Sets one option from its text; false when the key is unknown or the value bad.
bool apply_value(const std::string& key, const std::string& value, common_options& o,
                 std::string& problem) {
    if (key == "host") {
        if (value.empty()) {
            problem = "empty host";
            return false;
        }
        o.host = value;
    } else if (key == "port" || key == "udp-port") {
        const auto number = parse_whole(value, 1, 65535);
        if (!number) {
            problem = "bad " + key + " '" + value + "'";
            return false;
        }
        (key == "port" ? o.port : o.udp_port) = static_cast<std::uint16_t>(*number);
    } else if (key == "password") {
        o.password = value;
    } else if (key == "timeout") {
        const auto number = parse_whole(value, 1, max_timeout_ms);
        if (!number) {
            problem = "bad timeout '" + value + "'";
            return false;
        }
        o.timeout_ms = static_cast<int>(*number);
    } else {
        problem = "unknown key '" + key + "'";
        return false;
    }
    return true;
}

} // namespace

std::string config_path() {
    const std::string folder = platform::user_config_dir();
    return folder.empty() ? "" : folder + "zebrix-client/config";
}

void apply_config_text(const std::string& text, common_options& options,
                       std::vector<std::string>& problems) {
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = trim(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto kv = core::split_key_value(line);
        std::string problem = "a line without '='";
        if (kv && apply_value(trim(std::string(kv->first)), trim(std::string(kv->second)), options,
                              problem)) {
            continue;
        }
        problems.push_back(std::to_string(number) + ": " + problem);
    }
}

void apply_environment(common_options& options, std::vector<std::string>& problems) {
    const struct {
        const char* variable;
        const char* key;
    } sources[] = {{"ZEBRIX_TCP_PORT", "port"},
                   {"ZEBRIX_UDP_PORT", "udp-port"},
                   {"ZEBRIX_PASSWORD", "password"}};
    for (const auto& source : sources) {
        const std::string value = platform::env_or(source.variable, "");
        std::string problem;
        if (!value.empty() && !apply_value(source.key, value, options, problem)) {
            problems.push_back(std::string(source.variable) + ": " + problem);
        }
    }
}

std::string stored_password(const std::string& typed) {
    return core::ascii_lower(typed.substr(0, std::min(typed.size(), max_password_bytes)));
}

} // namespace zs::client
