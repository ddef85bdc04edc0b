#include "platform/desktop_window.hpp"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace zs::platform {

// Windows' own windows run on their threads' message loops; this loop only
// runs the work they hand to their owner.
class message_loop::impl {
public:
    std::mutex mutex;
    std::condition_variable ready;
    std::vector<std::function<void()>> queue;
    std::vector<std::function<void()>> running; // owner thread only
    bool stopped = false;
};

message_loop::message_loop() : impl_(std::make_unique<impl>()) {}

message_loop::~message_loop() = default;

void message_loop::post(std::function<void()> work) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->queue.push_back(std::move(work));
    }
    impl_->ready.notify_one();
}

void message_loop::run() {
    for (;;) {
        {
            std::lock_guard lock(impl_->mutex);
            if (impl_->stopped) {
                return;
            }
        }
        run_for(std::chrono::milliseconds(500));
    }
}

void message_loop::stop() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopped = true;
    }
    impl_->ready.notify_all();
}

std::size_t message_loop::run_for(std::chrono::milliseconds limit) {
    impl& d = *impl_;
    {
        std::unique_lock lock(d.mutex);
        d.ready.wait_for(lock, limit, [&d] { return !d.queue.empty() || d.stopped; });
        // The two vectors trade places, so a busy loop allocates nothing.
        d.running.swap(d.queue);
    }
    for (auto& work : d.running) {
        work();
    }
    const std::size_t count = d.running.size();
    d.running.clear();
    return count;
}

} // namespace zs::platform
