#include "platform/desktop_window.hpp"

namespace zs::platform {

void message_loop::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    ready_.notify_one();
}

void message_loop::run() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopped_) {
                return;
            }
        }
        run_for(std::chrono::milliseconds(500));
    }
}

void message_loop::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    ready_.notify_all();
}

std::size_t message_loop::run_for(std::chrono::milliseconds limit) {
    {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, limit, [this] { return !queue_.empty() || stopped_; });
        // The two vectors trade places, so a busy loop allocates nothing.
        running_.swap(queue_);
    }
    for (auto& work : running_) {
        work();
    }
    const std::size_t count = running_.size();
    running_.clear();
    return count;
}

} // namespace zs::platform
