// orvanta: take control of Orvanta, run one command and print its answers
// (returned files shown, or saved with --out DIR) and the program's events.
#include "client/rc_help.hpp"
#include "client/rc_runner.hpp"
#include "orvanta/command_table.hpp"
#include "orvanta/program_interface.hpp"
#include "protocol/proto1_interface.hpp"

#include <array>
#include <string>
#include <vector>

namespace zs::client {
namespace {

const std::array<rc_name, 6> names = {{
    {"songs", orvanta::OV_SONG_LIST, false, 0, "the song list (a posted job)"},
    {"song", orvanta::OV_SONG_TEXT, true, 0, "song N's text (with --want NAME, as files)"},
    {"sections", orvanta::OV_SECTION_NAMES, false, 0, "the section names"},
    {"tracks", orvanta::OV_TRACK_NAMES, false, orvanta::OV_TRACK_NAMES_LPARAM, "the track names"},
    {"folder", orvanta::OV_FOLDER_QUERY, false, 0, "the Orvanta folder the server uses"},
    {"status", orvanta::OV_SONG_STATUS, false, 0, "the song status block, then the song list"},
}};

const std::string help_text =
    std::string(
        "Usage: zebrix-client [common options] orvanta CODE|NAME [N] [--first N] [--second N]\n"
        "           [--text T] [--want NAME]... [--events N] [--out DIR] [--force]\n"
        "           [--action N]\n\n"
        "Takes control of Orvanta (client type 2), sends command CODE, prints the\n"
        "answers (command 102 gets two) and then N events, shows or saves the returned\n"
        "files and ends the session. Only one client controls Orvanta at a time; a\n"
        "refused client may retry after half a second.\n\n") +
    rc_names_help(names) + rc_options_help("print their contents instead");

// Command 102 answers twice: the song status block, then its posted job.
int answers(const rc_request& r) {
    return r.code == orvanta::OV_SONG_STATUS && r.action == 1 ? 2 : 1;
}

const rc_program orvanta_program{
    "orvanta", "Orvanta", protocol::CLIENT_ORVANTA_RC, false, answers, help_text.c_str(), names};

int run_orvanta(const common_options& options, const std::vector<std::string>& args) {
    return run_rc(orvanta_program, options, args);
}

const command_registration orvanta_command{
    "orvanta", run_orvanta,
    "orvanta CODE|NAME ...    run an Orvanta command, print the answers and events",
    help_text.c_str()};

} // namespace
} // namespace zs::client
