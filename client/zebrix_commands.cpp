// zebrix: take control of Zebrix, run one command, print its reply (files go
// to the current folder or --out DIR) and, with --events N, N program events.
#include "client/rc_help.hpp"
#include "client/rc_runner.hpp"
#include "protocol/proto1_interface.hpp"
#include "zebrix/command_table.hpp"

#include <array>
#include <string>
#include <vector>

namespace zs::client {
namespace {

const std::array<rc_name, 4> names = {{
    {"songs", zebrix::ZEBW_SONG_LIST, false, 0, "the song list"},
    {"song", zebrix::ZEBW_SONG_TEXT, true, 0, "song N's text (with --want NAME, its files)"},
    {"sections", zebrix::ZEBW_SECTION_NAMES, false, 0, "the section names"},
    {"tracks", zebrix::ZEBW_TRACK_VALUES, false, 0, "the nine track values"},
}};

const std::string help_text =
    std::string(
        "Usage: zebrix-client [common options] zebrix CODE|NAME [N] [--first N] [--second N]\n"
        "           [--text T] [--want NAME]... [--events N] [--out DIR] [--force]\n"
        "           [--action N]\n\n"
        "Takes control of Zebrix (client type 1), sends command CODE, prints the reply\n"
        "and then N events, saves the returned files and ends the session. Only one\n"
        "client controls Zebrix at a time; a refused client may retry after half a\n"
        "second. The server deletes a returned file once it has sent it, so the client\n"
        "checks first that each --want file can be saved.\n\n") +
    rc_names_help(names) + rc_options_help("the current folder");

int one_answer(const rc_request&) {
    return 1;
}

const rc_program zebrix_program{
    "zebrix", "Zebrix", protocol::CLIENT_ZEBRIX_RC, true, one_answer, help_text.c_str(), names};

int run_zebrix(const common_options& options, const std::vector<std::string>& args) {
    return run_rc(zebrix_program, options, args);
}

const command_registration zebrix_command{
    "zebrix", run_zebrix,
    "zebrix CODE|NAME ...     run a Zebrix command, print the reply and events, save files",
    help_text.c_str()};

} // namespace
} // namespace zs::client
