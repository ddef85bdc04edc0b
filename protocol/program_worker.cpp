#include "protocol/program_worker.hpp"

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

bool program_worker::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= queue_limit_) {
            return false;
        }
        queue_.push_back(std::move(work));
    }
    wake_.notify_one();
    return true;
}

void program_worker::post_always(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void program_worker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quitting_ || !queue_.empty(); });
        if (queue_.empty()) {
            return; // quitting with nothing left
        }
        auto work = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        work();
        work = nullptr; // what it held goes before the next wait
        lock.lock();
    }
}

} // namespace zs::protocol
