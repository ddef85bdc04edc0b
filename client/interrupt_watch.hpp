#pragma once
// Ctrl-C (SIGINT) while a command waits: instead of ending the program, it
// is noted, and the command's waits return early so that it can say what
// the interruption left behind (a job id, the closing of a JSON array).
// While a watch exists SIGINT no longer ends the program.
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace zs::client {

class interrupt_watch {
public:
    interrupt_watch();
    ~interrupt_watch();
    interrupt_watch(const interrupt_watch&) = delete;
    interrupt_watch& operator=(const interrupt_watch&) = delete;

    bool interrupted() const;
    // Waits `limit` or until an interrupt; true when interrupted.
    bool wait_for(std::chrono::milliseconds limit);

private:
    void handle_signal(const boost::system::error_code& ec);

    boost::asio::io_context io_;
    boost::asio::signal_set signals_;
    mutable std::mutex mutex_; // the flag is set on the watch's thread, read on the command's
    std::condition_variable changed_;
    bool interrupted_ = false;
    std::thread thread_;
};

} // namespace zs::client
