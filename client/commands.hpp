#pragma once
// The zebrix-client subcommands. A subcommand lives in its own file
// (client/<x>_commands.cpp, compiled into the program) and registers itself:
//
//   namespace { const zs::client::command_registration reg{"render", run_render,
//       "render VERB ...          render jobs: submit, status, ...", render_help}; }
//
// run gets the common options and the arguments after the subcommand name,
// and returns the exit status. `summary` is the command's line in the
// program's help; `help` is printed by "zebrix-client NAME --help".
#include "client/client_session.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace zs::client {

// Each value comes from the command line, else the environment, else the
// configuration file, else the default (client/client_settings.hpp).
struct common_options {
    std::string host = "127.0.0.1"; // a name, an IPv4 or an IPv6 address
    std::uint16_t port = 6789;      // --port, ZEBRIX_TCP_PORT, port =
    std::uint16_t udp_port = 6790;  // --udp-port, ZEBRIX_UDP_PORT, udp-port =
    std::string password = "kxvwq"; // as the server stores it: lower case, at most 64 bytes
    bool json = false;
    int timeout_ms = 10000;
};

using command_function = int (*)(const common_options& options,
                                 const std::vector<std::string>& args);

struct command_entry {
    const char* name;
    command_function run;
    const char* summary;
    const char* help;
};

std::vector<command_entry>& command_table();

struct command_registration {
    command_registration(const char* name, command_function run, const char* summary,
                         const char* help) {
        command_table().push_back({name, run, summary, help});
    }
};

// Helpers for subcommands.
std::string json_quote(const std::string& text);
bool is_help(const std::string& arg); // --help or -h
// Reports a failure on standard error and, with --json, as {"error": text}
// on standard output; returns status.
int report_error(const common_options& options, const std::string& text, int status);
// Reports a misuse with a pointer to the command's help; returns 2.
int usage_error(const common_options& options, const char* command, const std::string& problem);
// Connects, does the handshake and reports a failure (naming the address)
// with the given exit status.
bool open_session(session& s, const common_options& options, server_info& info,
                  int failure_status = 1);

// The exit status after an interrupt (Ctrl-C), as shells report it.
inline constexpr int interrupted_status = 130;

} // namespace zs::client
