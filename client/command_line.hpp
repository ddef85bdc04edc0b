#pragma once
// zebrix-client's command line: the common options, the command and its
// arguments, then settled with the configuration file and the environment.
#include "client/commands.hpp"

#include <optional>
#include <string>
#include <vector>

namespace zs::client {

// What the command line says; unset values leave the other sources in force.
struct command_line {
    std::optional<std::string> host;
    std::optional<std::string> password;
    std::optional<long long> port;
    std::optional<long long> udp_port;
    std::optional<long long> timeout_ms;
    bool json = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> rest; // the command and its arguments
    std::string problem;
};

command_line parse_command_line(int argc, char** argv);

// Configuration file, environment, command line: each overrides the one
// before. False when a source is bad (reported, with status 2).
bool settle_options(const command_line& line, common_options& options);

} // namespace zs::client
