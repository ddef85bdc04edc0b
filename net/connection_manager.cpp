#include "net/connection_manager.hpp"

namespace zs::net {

std::shared_ptr<zebsock_connection> connection_manager::create(boost::asio::io_context& context,
                                                               const session_factories& factories,
                                                               connection_settings settings) {
    auto connection = std::make_shared<zebsock_connection>(context, *this, factories, settings);
    std::lock_guard lock(mutex_);
    connections_[connection.get()].connection = connection;
    return connection;
}

void connection_manager::uncount(entry& e) {
    if (e.waiting) {
        waiting_.erase(e.place);
        e.waiting = false;
    }
    if (!e.counted) {
        return;
    }
    const auto it = per_address_.find(e.address);
    if (it != per_address_.end() && --it->second == 0) {
        per_address_.erase(it);
    }
    --admitted_;
    e.counted = false;
}

void connection_manager::remove(const zebsock_connection* connection) {
    std::shared_ptr<zebsock_connection> last; // released outside the lock
    std::lock_guard lock(mutex_);
    const auto it = connections_.find(connection);
    if (it != connections_.end()) {
        uncount(it->second);
        last = std::move(it->second.connection);
        connections_.erase(it);
    }
}

connection_manager::admission connection_manager::admit(const zebsock_connection* connection,
                                                        const boost::asio::ip::address& address,
                                                        std::size_t per_address,
                                                        std::size_t total) {
    std::shared_ptr<zebsock_connection> pushed; // closed outside the lock
    {
        std::lock_guard lock(mutex_);
        const auto it = connections_.find(connection);
        if (it == connections_.end()) {
            return admission::over_total_cap; // stopping
        }
        if (const auto from = per_address_.find(address);
            from != per_address_.end() && from->second >= per_address) {
            return admission::over_address_cap;
        }
        if (admitted_ >= total) {
            if (waiting_.empty()) {
                return admission::over_total_cap;
            }
            entry& oldest = connections_.at(waiting_.front());
            uncount(oldest); // it no longer holds a place while it closes
            pushed = oldest.connection;
        }
        entry& e = it->second;
        e.address = address;
        e.counted = true;
        ++per_address_[address];
        ++admitted_;
        e.place = waiting_.insert(waiting_.end(), connection);
        e.waiting = true;
    }
    if (pushed) {
        pushed->push_out();
    }
    return admission::admitted;
}

void connection_manager::logged_in(const zebsock_connection* connection) {
    std::lock_guard lock(mutex_);
    const auto it = connections_.find(connection);
    if (it != connections_.end() && it->second.waiting) {
        waiting_.erase(it->second.place);
        it->second.waiting = false;
    }
}

void connection_manager::stop_all() {
    std::unordered_map<const zebsock_connection*, entry> taken;
    {
        std::lock_guard lock(mutex_);
        taken.swap(connections_);
        per_address_.clear();
        admitted_ = 0;
        waiting_.clear();
    }
    for (auto& item : taken) {
        item.second.connection->close_from_outside();
    }
}

std::size_t connection_manager::size() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

} // namespace zs::net
