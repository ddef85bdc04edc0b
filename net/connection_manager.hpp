#pragma once
// The list of live connections, so that a stop closes every one of them, and
// the count of them in all and per client address that admission checks.
#include "net/zebsock_connection.hpp"

#include <list>
#include <map>
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

    enum class admission { admitted, over_address_cap, over_total_cap };
    // Counts an accepted connection against the caps; at the total cap the
    // oldest connection still logging in is pushed out to make room.
    admission admit(const zebsock_connection* connection, const boost::asio::ip::address& address,
                    std::size_t per_address, std::size_t total);
    // The connection no longer waits for its login: it is never pushed out.
    void logged_in(const zebsock_connection* connection);

private:
    using waiting_list = std::list<const zebsock_connection*>; // oldest first
    struct entry {
        std::shared_ptr<zebsock_connection> connection;
        boost::asio::ip::address address;
        bool counted = false; // admitted and not yet uncounted
        bool waiting = false;
        waiting_list::iterator place;
    };
    void uncount(entry& e); // under the lock

    mutable std::mutex mutex_;
    // Keyed by address: a removal costs the same with ten thousand idle
    // sessions registered as with none.
    std::unordered_map<const zebsock_connection*, entry> connections_;
    std::map<boost::asio::ip::address, std::size_t> per_address_;
    std::size_t admitted_ = 0;
    waiting_list waiting_;
};

} // namespace zs::net
