#include "platform/desktop_window.hpp"

#include "platform/posix/desktop_socket.hpp"
#include "platform/posix/message_loop_impl.hpp"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace zs::platform {

using namespace desktop_io;

namespace {

// Shared by the window and the work it has queued to the owner: the work may
// run after the window is gone and must then drop its message.
struct shared_state {
    desktop_window::procedure proc;
    std::atomic<bool> open{true};
};

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

// The window's socket and the thread that accepts its messages: a listener
// of its own, or the owner's message loop.
class desktop_window::impl {
public:
    impl(std::string folder, procedure proc, dispatcher dispatch,
         message_loop::impl* owner = nullptr)
        : folder_(std::move(folder)), state_(std::make_shared<shared_state>()),
          dispatch_(std::move(dispatch)), owner_(owner) {
        state_->proc = std::move(proc);
    }
    ~impl();
    impl(const impl&) = delete;
    impl& operator=(const impl&) = delete;

    std::error_code start(const std::string& class_name, const std::string& title);
    window_handle handle() const { return handle_; }

private:
    void listen_loop();
    void handle_connection(int fd);
    void serve_waiting(); // on the owner's thread

    std::string folder_;
    std::shared_ptr<shared_state> state_;
    dispatcher dispatch_;       // empty in answer-at-once mode
    message_loop::impl* owner_; // the loop that reads the socket itself, if any
    std::uint64_t watch_ = 0;
    window_handle handle_ = 0;
    unique_fd listen_fd_;
    unique_fd wake_read_;
    unique_fd wake_write_;
    std::thread listener_;
};

std::error_code desktop_window::impl::start(const std::string& class_name,
                                            const std::string& title) {
    int wake[2] = {-1, -1};
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        return {errno, std::system_category()};
    }
    wake_read_ = unique_fd(wake[0]);
    wake_write_ = unique_fd(wake[1]);
    registered_window r = register_window(folder_, class_name, title);
    if (r.handle == 0) {
        return r.error;
    }
    handle_ = r.handle;
    listen_fd_ = std::move(r.listen_fd);
    if (owner_ != nullptr) {
        watch_ = owner_->watch(listen_fd_.get(), [this] { serve_waiting(); });
        return {};
    }
    listener_ = std::thread([this] { listen_loop(); });
    return {};
}

desktop_window::impl::~impl() {
    state_->open = false;
    if (wake_write_.get() >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_write_.get(), &byte, 1);
    }
    if (listener_.joinable()) {
        listener_.join();
    }
    if (watch_ != 0) {
        owner_->unwatch(watch_);
    }
    unregister_window(folder_, handle_);
}

void desktop_window::impl::listen_loop() {
    while (state_->open) {
        pollfd p[2] = {{listen_fd_.get(), POLLIN, 0}, {wake_read_.get(), POLLIN, 0}};
        const int n = ::poll(p, 2, listener_poll_ms);
        if (n < 0 && errno != EINTR) {
            return;
        }
        if (n <= 0 || (p[1].revents & POLLIN) != 0) {
            continue; // the loop condition decides whether to go on
        }
        const int fd = ::accept4(listen_fd_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            handle_connection(fd);
        }
    }
}

void desktop_window::impl::handle_connection(int fd) {
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

// Every connection waiting now, in the order they came; each message is read,
// run and answered right here, on the owner's thread.
void desktop_window::impl::serve_waiting() {
    for (;;) {
        const int fd = ::accept4(listen_fd_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            return;
        }
        const connection conn(fd);
        unsigned char bytes[frame_size];
        window_message m;
        if (read_all(fd, bytes, sizeof bytes, std::chrono::steady_clock::now() + frame_wait) &&
            decode_frame(bytes, m) && state_->open) {
            const std::int64_t result = state_->proc(m);
            if (m.sent) {
                answer(fd, result);
            }
        }
    }
}

desktop_window::desktop_window(const std::string& class_name, const std::string& title,
                               procedure proc, message_loop& owner,
                               const std::string& desktop_folder)
    : impl_(
          std::make_unique<impl>(desktop_folder, std::move(proc), dispatcher(), &owner.native())) {
    error_ = impl_->start(class_name, title);
    handle_ = impl_->handle();
}

desktop_window::desktop_window(const std::string& class_name, const std::string& title,
                               procedure proc, dispatcher dispatch,
                               const std::string& desktop_folder)
    : impl_(std::make_unique<impl>(desktop_folder, std::move(proc), std::move(dispatch))) {
    error_ = impl_->start(class_name, title);
    handle_ = impl_->handle();
}

desktop_window::desktop_window(answer_at_once_t, const std::string& class_name,
                               const std::string& title, procedure proc,
                               const std::string& desktop_folder)
    : impl_(std::make_unique<impl>(desktop_folder, std::move(proc), dispatcher())) {
    error_ = impl_->start(class_name, title);
    handle_ = impl_->handle();
}

desktop_window::~desktop_window() = default;

} // namespace zs::platform
