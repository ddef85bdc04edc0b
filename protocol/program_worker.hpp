#pragma once
// One program's commands, off the I/O threads: a thread that runs the work
// posted to it one at a time, in arrival order. A slow or hung program holds
// this thread only, never a connection's I/O thread. Work that throws is
// logged and the thread goes on with the next.
#include "core/lifecycle.hpp"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace zs::protocol {

class program_worker final : public core::service_piece {
public:
    static constexpr std::size_t default_queue_limit = 4096;

    // stop_waits(true) ends every wait on the program at once and makes later
    // ones give up at once; stop_waits(false) allows them again.
    explicit program_worker(std::function<void(bool)> stop_waits,
                            std::size_t queue_limit = default_queue_limit);
    ~program_worker() override; // ends the waits, runs what is queued, joins
    program_worker(const program_worker&) = delete;
    program_worker& operator=(const program_worker&) = delete;

    // With the service: start allows waits on the program again; stop ends
    // them at once, so what is queued or running finishes without the program.
    bool start() override;
    void stop() override;

    // Told what went wrong when the work throws, so its request is still answered.
    using failure_handler = std::function<void(const std::string& what)>;

    // False, and the work is not taken, when the queue is full.
    bool post(std::function<void()> work, failure_handler failed = {});
    // Clean-up that must run (a detach): taken even when the queue is full.
    void post_always(std::function<void()> work);

private:
    struct task {
        std::function<void()> work;
        failure_handler failed;
    };
    void run();
    static void run_one(task& t);

    std::function<void(bool)> stop_waits_;
    const std::size_t queue_limit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<task> queue_;
    bool quitting_ = false;
    std::thread thread_; // last: starts once the rest is ready
};

} // namespace zs::protocol
