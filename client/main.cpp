// zebrix-client: a command-line client of the server. Subcommands register
// themselves in the command table (client/commands.hpp).
#include "client/command_line.hpp"
#include "client/commands.hpp"
#include "core/version.hpp"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using zs::client::command_line;
using zs::client::common_options;

const char* const synopsis =
    "Usage: zebrix-client [--host H] [--port N] [--udp-port N] [--password P] [--json]\n"
    "                     [--timeout MS] COMMAND [arguments]\n";

void print_help() {
    std::printf("%s\nCommands:\n", synopsis);
    for (const auto& entry : zs::client::command_table()) {
        std::printf("  %s\n", entry.summary);
    }
    std::printf("\nNamed commands beside the codes:\n"
                "  zebrix songs (1), zebrix song N (2 --first N), zebrix sections (12),\n"
                "  zebrix tracks (13); orvanta songs (1), orvanta song N (2 --first N),\n"
                "  orvanta sections (28), orvanta tracks (10 --second 500), orvanta folder (101),\n"
                "  orvanta status (102)\n"
                "\nCommon options (anywhere on the line):\n"
                "  --host H       the server: a host name, an IPv4 or an IPv6 address (default\n"
                "                 127.0.0.1); for discover the datagram's target,\n"
                "                 255.255.255.255 for the local network\n"
                "  --port N       TCP port (default $ZEBRIX_TCP_PORT, else 6789)\n"
                "  --udp-port N   discovery port (default $ZEBRIX_UDP_PORT, else 6790)\n"
                "  --password P   the server's password (default $ZEBRIX_PASSWORD, else kxvwq);\n"
                "                 '-' reads it from standard input, without echo on a terminal;\n"
                "                 sent in lower case, as the server stores it\n"
                "  --json         print one JSON value on standard output; errors as\n"
                "                 {\"error\",\"status\"}\n"
                "  --timeout MS   bound of each network wait in milliseconds (default 10000);\n"
                "                 discover listens for a tenth of it\n"
                "  --version      print the version and exit\n"
                "  -h, --help     show this help\n\n"
                "Host, port, udp-port, password and timeout may also be set as \"key = value\"\n"
                "lines in $XDG_CONFIG_HOME/zebrix-client/config (else\n"
                "~/.config/zebrix-client/config); the command line wins over the environment,\n"
                "the environment over the file.\n\n"
                "'zebrix-client COMMAND --help' shows a command's arguments, options and exit\n"
                "status. The commands: docs/operating.md and zebrix-client(1); the protocol and\n"
                "the command codes: docs/protocol.md.\n");
}

int usage_error(const command_line& line, const std::string& problem) {
    std::fprintf(stderr, "zebrix-client: %s\n%sTry 'zebrix-client --help'.\n", problem.c_str(),
                 synopsis);
    if (line.json) {
        std::printf("{\"error\":%s,\"status\":2}\n", zs::client::json_quote(problem).c_str());
    }
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const command_line line = zs::client::parse_command_line(argc, argv);
    if (!line.problem.empty()) {
        return usage_error(line, line.problem);
    }
    if (line.help) {
        print_help();
        return 0;
    }
    if (line.version) {
        std::printf("zebrix-client %s\n", zs::core::version_line);
        return 0;
    }
    if (line.rest.empty()) {
        return usage_error(line, "missing the command");
    }
    for (const auto& entry : zs::client::command_table()) {
        if (line.rest.front() != entry.name) {
            continue;
        }
        if (line.rest.size() > 1 && zs::client::is_help(line.rest[1])) {
            std::fputs(entry.help, stdout);
            return 0;
        }
        common_options options;
        if (!zs::client::settle_options(line, options)) {
            return 2;
        }
        return entry.run(options, std::vector<std::string>(line.rest.begin() + 1, line.rest.end()));
    }
    return usage_error(line, "unknown command " + line.rest.front());
}
