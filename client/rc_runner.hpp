#pragma once
// Running a zebrix or orvanta subcommand: parse, log in, take control, send
// the one request, print its answers and events, end the session. Each
// subcommand only describes its program (rc_program).
#include "client/commands.hpp"
#include "client/rc_options.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zs::client {

struct rc_program {
    const char* command; // the subcommand, "zebrix"
    const char* title;   // "Zebrix", for messages
    std::int32_t client_type;
    bool save_by_default; // without --out: save files in the current folder, else show them
    int (*answers)(const rc_request& r); // how many answers the request gets
    const char* help;
    std::span<const rc_name> names;
};

// The whole subcommand: parse, log in, take control, send, print, end.
int run_rc(const rc_program& program, const common_options& options,
           const std::vector<std::string>& args);

} // namespace zs::client
