#include "client/commands.hpp"

#include <cstdio>

namespace zs::client {

std::vector<command_entry>& command_table() {
    static std::vector<command_entry> table;
    return table;
}

std::string json_quote(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

bool is_help(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

int usage_error(const char* command, const std::string& problem) {
    std::fprintf(stderr, "zebrix-client %s: %s\nTry 'zebrix-client %s --help'.\n", command,
                 problem.c_str(), command);
    return 2;
}

bool open_session(session& s, const common_options& options, server_info& info) {
    s.set_timeout(std::chrono::milliseconds(options.timeout_ms));
    auto result = s.open_protocol1(options.host, options.port, options.password);
    if (!result) {
        std::fprintf(stderr, "zebrix-client: %s:%u: %s\n", options.host.c_str(), options.port,
                     s.error().c_str());
        return false;
    }
    info = *result;
    return true;
}

} // namespace zs::client
