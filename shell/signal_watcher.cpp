#include "shell/signal_watcher.hpp"

#include <csignal>

namespace zs::shell {

signal_watcher::signal_watcher(std::function<void(int)> on_signal)
    : on_signal_(std::move(on_signal)), signals_(io_, SIGINT, SIGTERM, SIGUSR1) {
    wait();
    thread_ = std::thread([this] { io_.run(); });
}

signal_watcher::~signal_watcher() {
    boost::system::error_code ignored;
    signals_.cancel(ignored);
    io_.stop();
    thread_.join();
}

void signal_watcher::wait() {
    signals_.async_wait(
        [this](const boost::system::error_code& ec, int number) { handle_signal(ec, number); });
}

void signal_watcher::handle_signal(const boost::system::error_code& ec, int number) {
    if (ec) {
        return;
    }
    on_signal_(number);
    wait();
}

} // namespace zs::shell
