#include "platform/posix/message_loop_impl.hpp"

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace zs::platform {

namespace {

// A function under way when its window goes is waited for this long at most.
constexpr std::chrono::seconds unwatch_wait{60};

} // namespace

message_loop::impl::impl() {
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wake_read_ = desktop_io::unique_fd(fds[0]);
        wake_write_ = desktop_io::unique_fd(fds[1]);
    }
}

void message_loop::impl::wake() {
    if (!woken_) {
        woken_ = true;
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_write_.get(), &byte, 1);
    }
}

void message_loop::impl::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
    wake();
}

void message_loop::impl::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    wake();
}

bool message_loop::impl::stopped() {
    std::lock_guard lock(mutex_);
    return stopped_;
}

std::uint64_t message_loop::impl::watch(int fd, std::function<void()> ready) {
    std::lock_guard lock(mutex_);
    watches_.push_back({next_id_, fd, std::move(ready)});
    wake(); // a poll under way does not know the new descriptor yet
    return next_id_++;
}

void message_loop::impl::unwatch(std::uint64_t id) {
    std::unique_lock lock(mutex_);
    std::erase_if(watches_, [id](const entry& e) { return e.id == id; });
    wake();
    if (std::this_thread::get_id() != loop_thread_) {
        served_.wait_for(lock, unwatch_wait, [this, id] { return serving_ != id; });
    }
}

std::size_t message_loop::impl::run_for(std::chrono::milliseconds limit) {
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> ids;
    bool wait = false;
    {
        std::lock_guard lock(mutex_);
        loop_thread_ = std::this_thread::get_id();
        wait = queue_.empty() && !stopped_;
        fds.push_back({wake_read_.get(), POLLIN, 0});
        for (const entry& e : watches_) {
            fds.push_back({e.fd, POLLIN, 0});
            ids.push_back(e.id);
        }
    }
    const auto ms = static_cast<int>(std::min<long long>(limit.count(), 1000000));
    if (::poll(fds.data(), fds.size(), wait ? ms : 0) < 0) {
        fds.assign(fds.size(), pollfd{-1, 0, 0}); // interrupted: nothing is ready
    }
    {
        std::lock_guard lock(mutex_);
        if (woken_) {
            char drain[64];
            while (::read(wake_read_.get(), drain, sizeof drain) > 0) {
            }
            woken_ = false;
        }
        running_.swap(queue_);
    }
    for (auto& work : running_) {
        work();
    }
    std::size_t count = running_.size();
    running_.clear();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (fds[i + 1].revents == 0) {
            continue;
        }
        std::function<void()> ready;
        {
            std::lock_guard lock(mutex_);
            const auto it = std::find_if(watches_.begin(), watches_.end(),
                                         [&](const entry& e) { return e.id == ids[i]; });
            if (it == watches_.end()) {
                continue; // its window went meanwhile
            }
            ready = it->ready;
            serving_ = ids[i];
        }
        ready();
        ++count;
        {
            std::lock_guard lock(mutex_);
            serving_ = 0;
        }
        served_.notify_all();
    }
    return count;
}

message_loop::message_loop() : impl_(std::make_unique<impl>()) {}

message_loop::~message_loop() = default;

void message_loop::post(std::function<void()> work) {
    impl_->post(std::move(work));
}

void message_loop::run() {
    while (!impl_->stopped()) {
        impl_->run_for(std::chrono::milliseconds(500));
    }
}

void message_loop::stop() {
    impl_->stop();
}

std::size_t message_loop::run_for(std::chrono::milliseconds limit) {
    return impl_->run_for(limit);
}

} // namespace zs::platform
