#include "net/connection_manager.hpp"

namespace zs::net {

std::shared_ptr<zebsock_connection> connection_manager::create(boost::asio::io_context& context,
                                                               const session_factories& factories,
                                                               connection_settings settings) {
    auto connection = std::make_shared<zebsock_connection>(context, *this, factories, settings);
    std::lock_guard lock(mutex_);
    connections_.emplace(connection.get(), connection);
    return connection;
}

void connection_manager::remove(const zebsock_connection* connection) {
    std::shared_ptr<zebsock_connection> last; // released outside the lock
    std::lock_guard lock(mutex_);
    const auto it = connections_.find(connection);
    if (it != connections_.end()) {
        last = std::move(it->second);
        connections_.erase(it);
    }
}

void connection_manager::stop_all() {
    registry taken;
    {
        std::lock_guard lock(mutex_);
        taken.swap(connections_);
    }
    for (auto& entry : taken) {
        entry.second->close_from_outside();
    }
}

std::size_t connection_manager::size() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

} // namespace zs::net
