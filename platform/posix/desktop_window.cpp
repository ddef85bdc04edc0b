#include "platform/desktop_window.hpp"

#include "platform/desktop_socket.hpp"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zs::platform {

using namespace desktop_io;

// Shared by the window and the work it has queued to the owner: the work may
// run after the window is gone and must then drop its message.
struct desktop_window::shared_state {
    procedure proc;
    std::atomic<bool> open{true};
};

namespace {

// One accepted message connection, closed when the last holder lets go.
struct connection {
    explicit connection(int f) : fd(f) {}
    ~connection() { close_fd(fd); }
    connection(const connection&) = delete;
    connection& operator=(const connection&) = delete;
    int fd;
};

constexpr std::chrono::milliseconds answer_wait{2000};
constexpr int listener_poll_ms = 1000; // bound of each wait; a wake pipe ends it early

void answer(int fd, std::int64_t result) {
    const auto bytes = encode_answer(result);
    write_all(fd, bytes.data(), bytes.size(), std::chrono::steady_clock::now() + answer_wait);
}

} // namespace

desktop_window::desktop_window(const std::string& class_name, const std::string& title,
                               procedure proc, dispatcher dispatch,
                               const std::string& desktop_folder)
    : folder_(desktop_folder), state_(std::make_shared<shared_state>()),
      dispatch_(std::move(dispatch)) {
    state_->proc = std::move(proc);
    start(class_name, title);
}

desktop_window::desktop_window(answer_at_once_t, const std::string& class_name,
                               const std::string& title, procedure proc,
                               const std::string& desktop_folder)
    : folder_(desktop_folder), state_(std::make_shared<shared_state>()) {
    state_->proc = std::move(proc);
    start(class_name, title);
}

void desktop_window::start(const std::string& class_name, const std::string& title) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        wake_[0] = wake_[1] = -1;
        return;
    }
    const registered_window r = register_window(folder_, class_name, title);
    if (r.handle == 0) {
        return;
    }
    handle_ = r.handle;
    listen_fd_ = r.listen_fd;
    listener_ = std::thread([this] { listen_loop(); });
}

desktop_window::~desktop_window() {
    state_->open = false;
    if (wake_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    }
    if (listener_.joinable()) {
        listener_.join();
    }
    unregister_window(folder_, handle_);
    close_fd(listen_fd_);
    close_fd(wake_[0]);
    close_fd(wake_[1]);
}

void desktop_window::listen_loop() {
    while (state_->open) {
        pollfd p[2] = {{listen_fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int n = ::poll(p, 2, listener_poll_ms);
        if (n < 0 && errno != EINTR) {
            return;
        }
        if (n <= 0 || (p[1].revents & POLLIN) != 0) {
            continue; // the loop condition decides whether to go on
        }
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            handle_connection(fd);
        }
    }
}

void desktop_window::handle_connection(int fd) {
    auto conn = std::make_shared<connection>(fd);
    unsigned char bytes[frame_size];
    window_message m;
    if (!read_all(fd, bytes, sizeof bytes, std::chrono::steady_clock::now() + frame_wait) ||
        !decode_frame(bytes, m)) {
        return;
    }
    if (!dispatch_) {
        const std::int64_t result = state_->proc(m);
        if (m.sent) {
            answer(fd, result);
        }
        return;
    }
    // Posted messages are queued the same way, so they keep their place in line.
    dispatch_([state = state_, conn, m] {
        if (!state->open) {
            return;
        }
        const std::int64_t result = state->proc(m);
        if (m.sent) {
            answer(conn->fd, result);
        }
    });
}

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
    std::deque<std::function<void()>> batch;
    {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, limit, [this] { return !queue_.empty() || stopped_; });
        batch.swap(queue_);
    }
    for (auto& work : batch) {
        work();
    }
    return batch.size();
}

} // namespace zs::platform
