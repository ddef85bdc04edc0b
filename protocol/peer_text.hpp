#pragma once
// The client's address as the operator log names it, from what the accept
// gave (no system call per request).
#include "net/zebsock_connection.hpp"

#include <string>

namespace zs::protocol {

inline bool peer_known(const net::zebsock_connection* connection) {
    return connection != nullptr && connection->peer().port() != 0;
}

inline std::string peer_text(net::zebsock_connection* connection) {
    if (!peer_known(connection)) {
        return "an unknown address";
    }
    const auto& peer = connection->peer();
    return peer.address().to_string() + ":" + std::to_string(peer.port());
}

// The client's address alone, the key of what is counted per client.
inline std::string peer_address(net::zebsock_connection* connection) {
    return peer_known(connection) ? connection->peer().address().to_string() : std::string("?");
}

} // namespace zs::protocol
