// orvanta: take control of Orvanta, run one command and print its answers
// (returned files shown, or saved with --out DIR) and the program's events.
#include "client/rc_options.hpp"
#include "protocol/proto1_interface.hpp"

#include <string>
#include <vector>

namespace zs::client {
namespace {

const std::string help_text =
    std::string("Usage: zebrix-client [common options] orvanta CODE [--first N] [--second N]\n"
                "           [--text T] [--want NAME]... [--events N] [--out DIR] [--action N]\n\n"
                "Takes control of Orvanta (client type 2), sends command CODE, prints the\n"
                "answers (command 102 gets two) and then N events, shows or saves the returned\n"
                "files and ends the session. Only one client controls Orvanta at a time; a\n"
                "refused client may retry after half a second.\n\n") +
    rc_options_help("print their contents instead");

// Command 102 answers twice: the song status block, then its posted job.
int answers(const rc_request& r) {
    return r.code == 102 && r.action == 1 ? 2 : 1;
}

const rc_program orvanta_program{"orvanta", "Orvanta", protocol::CLIENT_ORVANTA_RC,
                                 false,     answers,   help_text.c_str()};

int run_orvanta(const common_options& options, const std::vector<std::string>& args) {
    return run_rc(orvanta_program, options, args);
}

const command_registration orvanta_command{
    "orvanta", run_orvanta,
    "orvanta CODE [options]   run an Orvanta command, print the answers and events",
    help_text.c_str()};

} // namespace
} // namespace zs::client
