#pragma once
// Sends a discovery datagram and collects the servers that answer.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zs::client {

struct discovered_server {
    std::string address;  // sender of the reply
    std::string identity; // UUID text
    std::string name;
};

std::vector<std::uint8_t> discovery_request(); // the 116-byte request
// Parses one reply datagram; false when it is not a discovery reply.
bool parse_discovery_reply(const std::uint8_t* data, std::size_t size, discovered_server& out);
// Sends one request to each address of host (a name, an IPv4 or an IPv6
// address; the lookup is bounded) on port and gathers replies for `listen`.
// A host that cannot be resolved or a request that cannot be sent gives no
// servers and, with `error`, the reason.
std::vector<discovered_server> discover(const std::string& host, std::uint16_t port,
                                        std::chrono::milliseconds listen,
                                        std::string* error = nullptr);

} // namespace zs::client
