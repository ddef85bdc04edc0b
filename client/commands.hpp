#pragma once
// The zebrix-client subcommands. A subcommand lives in its own file
// (client/<x>_commands.cpp, compiled into the program) and registers itself:
//
//   namespace { const zs::client::command_registration reg{"zebrix", run_zebrix,
//       "zebrix CODE [options]   run a Zebrix command", zebrix_help}; }
//
// run gets the common options and the arguments after the subcommand name,
// and returns the exit status. `summary` is the command's line in the
// program's help; `help` is printed by "zebrix-client NAME --help".
#include "client/client_session.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace zs::client {

struct common_options {
    std::string host = "127.0.0.1";
    std::uint16_t port = 6789;     // --port, else ZEBRIX_TCP_PORT, else 6789
    std::uint16_t udp_port = 6790; // --udp-port, else ZEBRIX_UDP_PORT, else 6790
    std::string password = "kxvwq";
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
// Reports a misuse on standard error with a pointer to the command's help; returns 2.
int usage_error(const char* command, const std::string& problem);
// Connects, does the handshake and reports a failure on standard error.
bool open_session(session& s, const common_options& options, server_info& info);

} // namespace zs::client
