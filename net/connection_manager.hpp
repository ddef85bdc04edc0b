#pragma once
// The list of live connections, so that a stop closes every one of them.
#include "net/zebsock_connection.hpp"

#include <memory>
#include <mutex>
#include <unordered_map>

namespace zs::net {

class connection_manager {
public:
    std::shared_ptr<zebsock_connection> create(boost::asio::io_context& context,
                                               const session_factories& factories,
                                               connection_settings settings);
    void remove(const zebsock_connection* connection);
    // Closes every registered connection from outside and empties the list.
    void stop_all();
    std::size_t size() const;

private:
    using registry =
        std::unordered_map<const zebsock_connection*, std::shared_ptr<zebsock_connection>>;
    mutable std::mutex mutex_;
    // Keyed by address: a removal costs the same with ten thousand idle
    // sessions registered as with none.
    registry connections_;
};

} // namespace zs::net
