// zebrix-client: a command-line client of the server. Subcommands register
// themselves in the command table (client/commands.hpp).
#include "client/client_settings.hpp"
#include "client/commands.hpp"
#include "core/version.hpp"
#include "platform/files.hpp"
#include "platform/output_file.hpp"
#include "platform/terminal.hpp"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

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

// What the command line says; unset values leave the other sources in force.
struct command_line {
    std::optional<std::string> host;
    std::optional<std::string> password;
    std::optional<long> port;
    std::optional<long> udp_port;
    std::optional<long> timeout_ms;
    bool json = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> rest; // the command and its arguments
    std::string problem;
};

// Options of the commands that take a value: the value is passed on as it
// stands, even when it looks like an option.
bool command_option_with_value(const std::string& arg) {
    for (const char* name : {"--first", "--second", "--text", "--want", "--events", "--out",
                             "--action", "-o", "--output"}) {
        if (arg == name) {
            return true;
        }
    }
    return false;
}

command_line parse_command_line(int argc, char** argv) {
    command_line line;
    for (int i = 1; i < argc && line.problem.empty(); ++i) {
        const std::string arg = argv[i];
        const bool takes_value = arg == "--host" || arg == "--port" || arg == "--udp-port" ||
                                 arg == "--password" || arg == "--timeout";
        if (takes_value && i + 1 >= argc) {
            line.problem = "option " + arg + " needs a value";
            break;
        }
        long number = 0;
        if (arg == "--json") {
            line.json = true;
        } else if (arg == "--host") {
            line.host = argv[++i];
        } else if (arg == "--port" || arg == "--udp-port") {
            if (!zs::client::parse_bounded(argv[++i], 1, 65535, number)) {
                line.problem = "bad port " + std::string(argv[i]);
            }
            (arg == "--port" ? line.port : line.udp_port) = number;
        } else if (arg == "--password") {
            line.password = argv[++i];
        } else if (arg == "--timeout") {
            if (!zs::client::parse_bounded(argv[++i], 1, 24L * 3600 * 1000, number)) {
                line.problem = "bad time-out " + std::string(argv[i]);
            }
            line.timeout_ms = number;
        } else if (!line.rest.empty()) {
            // The command's own arguments; --help there asks for its help.
            line.rest.push_back(arg);
            if (command_option_with_value(arg) && i + 1 < argc) {
                line.rest.push_back(argv[++i]);
            }
        } else if (zs::client::is_help(arg)) {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg.rfind("-", 0) == 0) {
            line.problem = "unknown option " + arg;
        } else {
            line.rest.push_back(arg);
        }
    }
    return line;
}

int usage_error(const command_line& line, const std::string& problem) {
    std::fprintf(stderr, "zebrix-client: %s\n%sTry 'zebrix-client --help'.\n", problem.c_str(),
                 synopsis);
    if (line.json) {
        std::printf("{\"error\":%s,\"status\":2}\n", zs::client::json_quote(problem).c_str());
    }
    return 2;
}

// Configuration file, environment, command line: each overrides the one before.
bool settle_options(const command_line& line, common_options& options) {
    options.json = line.json;
    std::vector<std::string> problems;
    const std::string config = zs::client::config_path();
    std::string text;
    std::string reason;
    if (!config.empty() && zs::platform::file_exists(config)) {
        if (!zs::platform::read_input(config, text, reason)) {
            zs::client::report_error(options, "cannot read " + config + ": " + reason, 2);
            return false;
        }
        zs::client::apply_config_text(text, options, problems);
        for (auto& p : problems) {
            p = config + ":" + p;
        }
    }
    zs::client::apply_environment(options, problems);
    if (!problems.empty()) {
        zs::client::report_error(options, problems.front(), 2);
        return false;
    }
    options.host = line.host.value_or(options.host);
    options.password = line.password.value_or(options.password);
    options.port = static_cast<std::uint16_t>(line.port.value_or(options.port));
    options.udp_port = static_cast<std::uint16_t>(line.udp_port.value_or(options.udp_port));
    options.timeout_ms = static_cast<int>(line.timeout_ms.value_or(options.timeout_ms));
    if (line.password == "-") {
        const auto typed = zs::platform::read_secret_line("Password: ");
        if (!typed) {
            zs::client::report_error(options, "no password on standard input", 2);
            return false;
        }
        options.password = *typed;
    }
    options.password = zs::client::stored_password(options.password);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const command_line line = parse_command_line(argc, argv);
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
        if (!settle_options(line, options)) {
            return 2;
        }
        return entry.run(options, std::vector<std::string>(line.rest.begin() + 1, line.rest.end()));
    }
    return usage_error(line, "unknown command " + line.rest.front());
}
