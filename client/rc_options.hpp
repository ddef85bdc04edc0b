#pragma once
// The zebrix and orvanta subcommands' arguments: the command (a code, or a
// name with its number) and its options, parsed into the one request they
// send.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zs::client {

struct rc_request {
    std::int32_t code = 0;
    std::int32_t first = 0;
    std::int32_t second = 0;
    std::int32_t action = 1; // 1 carries a command, 0 ends the session
    bool has_text = false;
    std::string text;
    std::vector<std::string> wanted;
    int events = 0;
    bool follow = false; // --events 0: print events until Ctrl-C
    bool has_out = false;
    std::string out_dir; // ends in '/' unless empty (the current folder)
    bool force = false;  // saved files may replace existing ones
};

// A command's name beside its code: "song N" is code 2 with --first N.
struct rc_name {
    const char* name;
    std::int32_t code;
    bool takes_number; // the name is followed by N, sent as --first
    std::int32_t second;
    const char* meaning;
};

enum class rc_parse { ok, help, bad };

// Parses "CODE|NAME [N] [options]" (the arguments after the subcommand's
// name); --help or -h in an option's place asks for help. On bad, `error`
// says why.
rc_parse parse_rc_request(const std::vector<std::string>& args, rc_request& r, std::string& error,
                          std::span<const rc_name> names = {});

// Whether the option is followed by a value (which may look like an option).
bool rc_option_with_value(const std::string& option);

} // namespace zs::client
