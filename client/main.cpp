// zebrix-client: a command-line client of the server. Subcommands register
// themselves in the command table (client/commands.hpp).
#include "client/commands.hpp"
#include "platform/env.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const synopsis =
    "Usage: zebrix-client [--host H] [--port N] [--udp-port N] [--password P] [--json]\n"
    "                     [--timeout MS] COMMAND [arguments]\n";

void print_help() {
    std::printf("%s\nCommands:\n", synopsis);
    for (const auto& entry : zs::client::command_table()) {
        std::printf("  %s\n", entry.summary);
    }
    std::printf("\nCommon options (before COMMAND; --json may also follow it):\n"
                "  --host H       the server's address, numeric (default 127.0.0.1); for discover\n"
                "                 the datagram's target, 255.255.255.255 for the local network\n"
                "  --port N       TCP port (default $ZEBRIX_TCP_PORT, else 6789)\n"
                "  --udp-port N   discovery port (default $ZEBRIX_UDP_PORT, else 6790)\n"
                "  --password P   the server's password (default kxvwq)\n"
                "  --json         print one JSON value on standard output\n"
                "  --timeout MS   bound of each network wait in milliseconds (default 10000);\n"
                "                 discover listens for a tenth of it\n"
                "  -h, --help     show this help\n\n"
                "'zebrix-client COMMAND --help' shows a command's arguments, options and exit\n"
                "status. The commands: docs/operating.md; the protocol and the command codes:\n"
                "docs/protocol.md.\n");
}

int usage_error(const std::string& problem) {
    std::fprintf(stderr, "zebrix-client: %s\n%sTry 'zebrix-client --help'.\n", problem.c_str(),
                 synopsis);
    return 2;
}

bool parse_positive(const char* text, long limit, long& out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > limit) {
        return false;
    }
    out = value;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    zs::client::common_options options;
    options.port = zs::platform::tcp_port();
    options.udp_port = zs::platform::udp_port();
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!rest.empty()) {
            // Options after the command belong to it, except --json.
            if (arg != "--json") {
                rest.push_back(arg);
            }
            options.json = options.json || arg == "--json";
            continue;
        }
        const bool takes_value = arg == "--host" || arg == "--port" || arg == "--udp-port" ||
                                 arg == "--password" || arg == "--timeout";
        if (takes_value && i + 1 >= argc) {
            return usage_error("option " + arg + " needs a value");
        }
        long number = 0;
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--host") {
            options.host = argv[++i];
        } else if (arg == "--port" || arg == "--udp-port") {
            if (!parse_positive(argv[++i], 65535, number)) {
                return usage_error("bad port " + std::string(argv[i]));
            }
            (arg == "--port" ? options.port : options.udp_port) =
                static_cast<std::uint16_t>(number);
        } else if (arg == "--password") {
            options.password = argv[++i];
        } else if (arg == "--timeout") {
            if (!parse_positive(argv[++i], 24L * 3600 * 1000, number)) {
                return usage_error("bad time-out " + std::string(argv[i]));
            }
            options.timeout_ms = static_cast<int>(number);
        } else if (zs::client::is_help(arg)) {
            print_help();
            return 0;
        } else if (arg.rfind("-", 0) == 0) {
            return usage_error("unknown option " + arg);
        } else {
            rest.push_back(arg);
        }
    }
    if (rest.empty()) {
        return usage_error("missing the command");
    }
    for (const auto& entry : zs::client::command_table()) {
        if (rest.front() == entry.name) {
            if (rest.size() > 1 && zs::client::is_help(rest[1])) {
                std::fputs(entry.help, stdout);
                return 0;
            }
            return entry.run(options, std::vector<std::string>(rest.begin() + 1, rest.end()));
        }
    }
    return usage_error("unknown command " + rest.front());
}
