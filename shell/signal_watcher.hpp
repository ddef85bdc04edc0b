#pragma once
// Process signals for the windowed shell: a small thread waits for them and
// hands each to the Qt main thread, where the shell acts on it.
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <functional>
#include <thread>

namespace zs::shell {

class signal_watcher {
public:
    // on_signal runs on the watcher's thread; it should only post work.
    explicit signal_watcher(std::function<void(int)> on_signal);
    ~signal_watcher();
    signal_watcher(const signal_watcher&) = delete;
    signal_watcher& operator=(const signal_watcher&) = delete;

private:
    void wait();
    void handle_signal(const boost::system::error_code& ec, int number);

    std::function<void(int)> on_signal_;
    boost::asio::io_context io_;
    boost::asio::signal_set signals_;
    std::thread thread_;
};

} // namespace zs::shell
