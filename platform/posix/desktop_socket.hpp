#pragma once
// Socket plumbing shared by the desktop's senders and its windows: bounded
// reads and writes on non-blocking Unix stream sockets, and the frame codec.
#include "platform/desktop.hpp"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace zs::platform::desktop_io {

using deadline = std::chrono::steady_clock::time_point;

std::string window_file(const std::string& folder, window_handle window);   // <h>.win
std::string window_socket(const std::string& folder, window_handle window); // <h>.sock

// A connected non-blocking socket to the window, or -1 (missing, refused, late).
// Every wait also ends, as failed, once `cancel_fd` (when not -1) is readable.
int connect_window(const std::string& folder, window_handle window, deadline until,
                   int cancel_fd = -1);
bool write_all(int fd, const void* data, std::size_t size, deadline until, int cancel_fd = -1);
bool read_all(int fd, void* data, std::size_t size, deadline until, int cancel_fd = -1);
// Waits until fd is readable (or hung up); false on time-out or cancel.
bool wait_readable(int fd, deadline until, int cancel_fd = -1);
void close_fd(int fd);

std::array<unsigned char, frame_size> encode_frame(const window_message& m);
bool decode_frame(const unsigned char* bytes, window_message& m); // false: unknown type
std::array<unsigned char, answer_size> encode_answer(std::int64_t result);
std::int64_t decode_answer(const unsigned char* bytes);

// Closes the fd when it goes out of scope.
class unique_fd {
public:
    explicit unique_fd(int fd = -1) : fd_(fd) {}
    ~unique_fd() { close_fd(fd_); }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    unique_fd(unique_fd&& other) noexcept : fd_(other.release()) {}
    unique_fd& operator=(unique_fd&& other) noexcept {
        if (this != &other) {
            close_fd(fd_);
            fd_ = other.release();
        }
        return *this;
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

} // namespace zs::platform::desktop_io

namespace zs::platform {

// Registration of a window owned by this process (used by desktop_window):
// takes a free handle, opens its listening socket and publishes it topmost.
struct registered_window {
    window_handle handle = 0; // 0: registration failed, error says why
    desktop_io::unique_fd listen_fd;
    std::error_code error;
};
registered_window register_window(const std::string& desktop_folder, const std::string& class_name,
                                  const std::string& title);
void unregister_window(const std::string& desktop_folder, window_handle window);

} // namespace zs::platform
