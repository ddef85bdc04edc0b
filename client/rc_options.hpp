#pragma once
// What the zebrix and orvanta subcommands share: their options, the one
// request they send, how replies and events are printed (returned files
// saved or shown) and the session's end. Each subcommand only describes its
// program (rc_program).
#include "client/commands.hpp"
#include "protocol/zeb_message.hpp"

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

// The option lines of both subcommands' help; the --out line differs.
std::string rc_options_help(const char* out_default);
// The lines of a program's named commands, for its help.
std::string rc_names_help(std::span<const rc_name> names);

struct rc_program {
    const char* command; // the subcommand, "zebrix"
    const char* title;   // "Zebrix", for messages
    std::int32_t client_type;
    bool save_by_default; // without --out: save files in the current folder, else show them
    int (*answers)(const rc_request& r); // how many answers the request gets
    const char* help;
    std::span<const rc_name> names;
};

// A file name from the server is written only inside the chosen folder.
bool safe_file_name(const std::string& name);

// Before anything is sent: every wanted file can be saved where it will go,
// without replacing an existing file unless --force. False with the reason.
bool check_save_targets(const rc_request& req, std::string& problem);

// Prints one answer or event; false when a returned file could not be saved.
bool print_rc_frame(const protocol::ZebResponse& r, const rc_request& req, bool save, bool json,
                    bool first);

// The whole subcommand: parse, log in, take control, send, print, end.
int run_rc(const rc_program& program, const common_options& options,
           const std::vector<std::string>& args);

} // namespace zs::client
