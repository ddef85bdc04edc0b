// discover and info: find servers, and log in to one to read its identity and name.
#include "client/commands.hpp"
#include "client/discovery_client.hpp"

#include <cstdio>

namespace zs::client {
namespace {

int run_discover(const common_options& options, const std::vector<std::string>&) {
    const auto found = discover(options.host, options.udp_port,
                                std::chrono::milliseconds(options.timeout_ms / 10));
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

int run_info(const common_options& options, const std::vector<std::string>&) {
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
    "discover                     list the servers that answer discovery"};
const command_registration info_command{
    "info", run_info, "info                         log in and show identity and name"};

} // namespace
} // namespace zs::client
