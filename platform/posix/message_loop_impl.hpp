#pragma once
// The Linux message loop: its thread waits in poll() on a wake pipe and on the
// sockets of the windows it owns, so a window's message is read and answered
// on the owner's thread without a hand-over from another thread.
#include "platform/desktop_window.hpp"
#include "platform/posix/desktop_socket.hpp"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zs::platform {

class message_loop::impl {
public:
    impl();
    void post(std::function<void()> work);
    void stop();
    bool stopped();
    std::size_t run_for(std::chrono::milliseconds limit);

    // Calls `ready` on the loop's thread whenever fd is readable; the id
    // given back ends it.
    std::uint64_t watch(int fd, std::function<void()> ready);
    // Once this returns the loop no longer calls the watch's function (it
    // waits, bounded, for a call under way on the loop's thread).
    void unwatch(std::uint64_t id);

private:
    struct entry {
        std::uint64_t id;
        int fd;
        std::function<void()> ready;
    };
    void wake(); // under the lock

    std::mutex mutex_;
    std::condition_variable served_;
    std::vector<std::function<void()>> queue_;
    std::vector<std::function<void()>> running_; // loop thread only
    std::vector<entry> watches_;
    std::uint64_t next_id_ = 1;
    std::uint64_t serving_ = 0; // the watch whose function runs now
    std::thread::id loop_thread_;
    bool stopped_ = false;
    bool woken_ = false;
    desktop_io::unique_fd wake_read_;
    desktop_io::unique_fd wake_write_;
};

} // namespace zs::platform
