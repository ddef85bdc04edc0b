#include "protocol/program_worker.hpp"

#include "core/server_log.hpp"

#include <exception>

namespace zs::protocol {

program_worker::program_worker(std::function<void(bool)> stop_waits, std::size_t queue_limit)
    : stop_waits_(std::move(stop_waits)), queue_limit_(queue_limit), thread_([this] { run(); }) {}

program_worker::~program_worker() {
    stop();
    {
        std::lock_guard lock(mutex_);
        quitting_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool program_worker::start() {
    if (stop_waits_) {
        stop_waits_(false);
    }
    return true;
}

void program_worker::stop() {
    if (stop_waits_) {
        stop_waits_(true);
    }
}

bool program_worker::post(std::function<void()> work, failure_handler failed) {
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= queue_limit_) {
            return false;
        }
        queue_.push_back({std::move(work), std::move(failed)});
    }
    wake_.notify_one();
    return true;
}

void program_worker::post_always(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(work), {}});
    }
    wake_.notify_one();
}

void program_worker::run_one(task& t) {
    std::string what;
    try {
        t.work();
        return;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
        what = "unknown failure";
    }
    // Out of memory included: what the work had built is freed by now, so
    // the log line and the answer can be made.
    try {
        core::server_log::line("A request to a program failed (" + what + ")" +
                               (t.failed ? "; it is answered with an error" : "") +
                               "; the server goes on");
        if (t.failed) {
            t.failed(what);
        }
    } catch (...) {
        // Nothing more can be done for this request; the next one is served.
    }
}

void program_worker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quitting_ || !queue_.empty(); });
        if (queue_.empty()) {
            return; // quitting with nothing left
        }
        task t = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        run_one(t);
        t = {}; // what it held goes before the next wait
        lock.lock();
    }
}

} // namespace zs::protocol
