#pragma once
// The client's address as the operator log names it.
#include "net/zebsock_connection.hpp"

#include <string>

namespace zs::protocol {

inline std::string peer_text(net::zebsock_connection* connection) {
    boost::system::error_code ec;
    const auto peer = connection != nullptr ? connection->socket().remote_endpoint(ec)
                                            : boost::asio::ip::tcp::endpoint();
    if (connection == nullptr || ec) {
        return "an unknown address";
    }
    return peer.address().to_string() + ":" + std::to_string(peer.port());
}

// The client's address alone, the key of what is counted per client.
inline std::string peer_address(net::zebsock_connection* connection) {
    boost::system::error_code ec;
    const auto peer = connection != nullptr ? connection->socket().remote_endpoint(ec)
                                            : boost::asio::ip::tcp::endpoint();
    return connection == nullptr || ec ? std::string("?") : peer.address().to_string();
}

} // namespace zs::protocol
