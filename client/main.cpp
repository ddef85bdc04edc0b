// zebrix-client: a command-line client of the server. Subcommands register
// themselves in the command table (client/commands.hpp).
#include "client/commands.hpp"
#include "platform/env.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void print_usage() {
    std::fprintf(
        stderr,
        "Usage: zebrix-client [--host H] [--port N] [--udp-port N] [--password P] [--json]\n"
        "                     [--timeout MS] <command> [arguments]\n\nCommands:\n");
    for (const auto& entry : zs::client::command_table()) {
        std::fprintf(stderr, "  %s\n", entry.usage);
    }
    std::fprintf(
        stderr,
        "\nDefaults: --host 127.0.0.1, --port $ZEBRIX_TCP_PORT or 6789, --udp-port\n"
        "$ZEBRIX_UDP_PORT or 6790, --password kxvwq, --timeout 10000 (milliseconds).\n"
        "--json prints machine-readable output; discover --host 255.255.255.255 asks the\n"
        "whole local network.\n\n"
        "zebrix/orvanta options: --first N and --second N are the command's two arguments,\n"
        "--text T sends a text item, --want NAME asks for a file back (repeatable),\n"
        "--events N waits for N events after the reply; zebrix only: --out DIR saves the\n"
        "returned files there (default: the current folder), --action N sends that action.\n"
        "The protocol and the command codes: docs/protocol.md.\n");
}

bool parse_port(const char* text, std::uint16_t& port) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
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
        const bool has_value = i + 1 < argc;
        if (!rest.empty()) {
            rest.push_back(
                arg); // options after the command belong to it, except the common ones below
            if (arg == "--json") {
                options.json = true;
                rest.pop_back();
            }
            continue;
        }
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--host" && has_value) {
            options.host = argv[++i];
        } else if (arg == "--port" && has_value) {
            if (!parse_port(argv[++i], options.port)) {
                std::fprintf(stderr, "zebrix-client: bad port %s\n", argv[i]);
                return 2;
            }
        } else if (arg == "--udp-port" && has_value) {
            if (!parse_port(argv[++i], options.udp_port)) {
                std::fprintf(stderr, "zebrix-client: bad port %s\n", argv[i]);
                return 2;
            }
        } else if (arg == "--password" && has_value) {
            options.password = argv[++i];
        } else if (arg == "--timeout" && has_value) {
            options.timeout_ms = std::atoi(argv[++i]);
        } else if (arg == "--help" || arg == "-h") {
            print_usage();
            return 0;
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "zebrix-client: unknown option %s\n", arg.c_str());
            print_usage();
            return 2;
        } else {
            rest.push_back(arg);
        }
    }
    if (rest.empty()) {
        print_usage();
        return 2;
    }
    for (const auto& entry : zs::client::command_table()) {
        if (rest.front() == entry.name) {
            return entry.run(options, std::vector<std::string>(rest.begin() + 1, rest.end()));
        }
    }
    std::fprintf(stderr, "zebrix-client: unknown command %s\n", rest.front().c_str());
    print_usage();
    return 2;
}
