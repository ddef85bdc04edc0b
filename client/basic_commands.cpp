// discover and info: find servers, and log in to one to read its identity and name.
#include "client/commands.hpp"
#include "client/discovery_client.hpp"

#include <cstdio>

namespace zs::client {
namespace {

const char* const discover_help =
    "Usage: zebrix-client [--host H] [--udp-port N] [--timeout MS] [--json] discover\n\n"
    "Sends one discovery datagram to --host only (default 127.0.0.1; a host name goes\n"
    "to each of its addresses; 255.255.255.255 asks the whole local network) on\n"
    "--udp-port (default $ZEBRIX_UDP_PORT, else 6790), listens for replies for a\n"
    "tenth of --timeout (1000 ms by default) and prints \"address identity name\" for\n"
    "each server that answered; with --json an array of\n"
    "{\"address\",\"identity\",\"name\"}. Connect over TCP to the address shown. When\n"
    "nobody answers, standard error says \"no server answered within N ms\".\n\n"
    "Exit status: 0 when a server answered; 1 when none did or the datagram could not\n"
    "be sent; 2 bad arguments.\n";

const char* const info_help =
    "Usage: zebrix-client [--host H] [--port N] [--password P] [--timeout MS] [--json] info\n\n"
    "Logs in to the server at --host and --port with protocol 1 (challenge and\n"
    "--password, in lower case) and prints its identity (a UUID) and its name; with\n"
    "--json {\"identity\",\"name\"}. The session then ends without taking control of a\n"
    "program.\n\n"
    "Exit status: 0 logged in; 1 the login was refused or the server did not answer;\n"
    "2 bad arguments.\n";

int run_discover(const common_options& options, const std::vector<std::string>& args) {
    if (!args.empty()) {
        return usage_error(options, "discover", "unexpected argument '" + args[0] + "'");
    }
    std::string error;
    const auto listen = std::chrono::milliseconds(options.timeout_ms / 10);
    const auto found = discover(options.host, options.udp_port, listen, &error);
    if (!error.empty()) {
        return report_error(
            options, "discover " + address_text(options.host, options.udp_port) + ": " + error, 1);
    }
    if (found.empty()) {
        std::fprintf(stderr, "zebrix-client: no server answered within %lld ms\n",
                     static_cast<long long>(listen.count()));
    }
    if (options.json) {
        std::printf("[");
        for (std::size_t i = 0; i < found.size(); ++i) {
            std::printf("%s{\"address\":%s,\"identity\":%s,\"name\":%s}", i ? "," : "",
                        json_quote(found[i].address).c_str(), json_quote(found[i].identity).c_str(),
                        json_quote(found[i].name).c_str());
        }
        std::printf("]\n");
    } else {
        for (const auto& s : found) {
            std::printf("%s %s %s\n", s.address.c_str(), s.identity.c_str(), s.name.c_str());
        }
    }
    return found.empty() ? 1 : 0;
}

int run_info(const common_options& options, const std::vector<std::string>& args) {
    if (!args.empty()) {
        return usage_error(options, "info", "unexpected argument '" + args[0] + "'");
    }
    session s;
    server_info info;
    if (!open_session(s, options, info)) {
        return 1;
    }
    if (options.json) {
        std::printf("{\"identity\":%s,\"name\":%s}\n", json_quote(info.identity).c_str(),
                    json_quote(info.name).c_str());
    } else {
        std::printf("identity: %s\nname: %s\n", info.identity.c_str(), info.name.c_str());
    }
    return 0;
}

const command_registration discover_command{
    "discover", run_discover,
    "discover                 list the servers that answer a discovery datagram", discover_help};
const command_registration info_command{
    "info", run_info, "info                     log in and show the server's identity and name",
    info_help};

} // namespace
} // namespace zs::client
