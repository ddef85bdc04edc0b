#include "client/interrupt_watch.hpp"

#include <csignal>

namespace zs::client {

interrupt_watch::interrupt_watch() : signals_(io_, SIGINT) {
    signals_.async_wait([this](const boost::system::error_code& ec, int) { handle_signal(ec); });
    thread_ = std::thread([this] { io_.run(); });
}

interrupt_watch::~interrupt_watch() {
    boost::system::error_code ignored;
    signals_.cancel(ignored);
    io_.stop();
    thread_.join();
}

void interrupt_watch::handle_signal(const boost::system::error_code& ec) {
    if (ec) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        interrupted_ = true;
    }
    changed_.notify_all();
}

bool interrupt_watch::interrupted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return interrupted_;
}

bool interrupt_watch::wait_for(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return interrupted_; });
}

} // namespace zs::client
