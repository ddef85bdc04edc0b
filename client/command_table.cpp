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

int report_error(const common_options& options, const std::string& text, int status) {
    std::fflush(stdout);
    std::fprintf(stderr, "zebrix-client: %s\n", text.c_str());
    if (options.json) {
        std::printf("{\"error\":%s,\"status\":%d}\n", json_quote(text).c_str(), status);
    }
    return status;
}

int usage_error(const common_options& options, const char* command, const std::string& problem) {
    std::fprintf(stderr, "zebrix-client %s: %s\nTry 'zebrix-client %s --help'.\n", command,
                 problem.c_str(), command);
    if (options.json) {
        std::printf("{\"error\":%s,\"status\":2}\n",
                    json_quote(std::string(command) + ": " + problem).c_str());
    }
    return 2;
}

bool open_session(session& s, const common_options& options, server_info& info,
                  int failure_status) {
    s.set_timeout(std::chrono::milliseconds(options.timeout_ms));
    auto result = s.open_protocol1(options.host, options.port, options.password);
    if (!result) {
        const std::string where = address_text(options.host, options.port);
        const std::string why =
            s.error() == "login refused" ? "login refused: wrong password" : s.error();
        report_error(options, (s.connected() ? "" : "cannot connect to ") + where + ": " + why,
                     failure_status);
        return false;
    }
    info = *result;
    return true;
}

} // namespace zs::client
