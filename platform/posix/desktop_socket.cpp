#include "platform/posix/desktop_socket.hpp"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace zs::platform::desktop_io {

namespace {

int remaining_ms(deadline until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return 0;
    }
    return left.count() > 1000000 ? 1000000 : static_cast<int>(left.count());
}

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return fd >= 0 && ::poll(&p, 1, 0) > 0;
}

// Waits for the events, at most until the deadline; false on time-out, error
// or cancel.
bool wait_for(int fd, short events, deadline until, int cancel_fd) {
    for (;;) {
        pollfd p[2] = {{fd, events, 0}, {cancel_fd, POLLIN, 0}};
        const int n = ::poll(p, cancel_fd >= 0 ? 2 : 1, remaining_ms(until));
        if (n > 0) {
            if (p[1].revents != 0) {
                return false;
            }
            return (p[0].revents & (events | POLLHUP | POLLERR)) != 0;
        }
        if (n == 0) {
            return false;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

void put_u32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

void put_i64(unsigned char* p, std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<unsigned char>(u >> (8 * i));
    }
}

std::uint32_t get_u32(const unsigned char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = v << 8 | p[i];
    }
    return v;
}

std::int64_t get_i64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = v << 8 | p[i];
    }
    return static_cast<std::int64_t>(v);
}

} // namespace

namespace {
std::string in_folder(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}
} // namespace

std::string window_file(const std::string& folder, window_handle window) {
    return in_folder(folder, std::to_string(window) + ".win");
}

std::string window_socket(const std::string& folder, window_handle window) {
    return in_folder(folder, std::to_string(window) + ".sock");
}

int connect_window(const std::string& folder, window_handle window, deadline until, int cancel_fd) {
    if (window <= 0) {
        return -1;
    }
    const std::string path = window_socket(folder, window);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        return -1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            return fd;
        }
        // A full backlog refuses a non-blocking connect with EAGAIN; retry briefly.
        if ((errno == EAGAIN || errno == EINTR) && remaining_ms(until) > 0 &&
            !readable(cancel_fd)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        close_fd(fd);
        return -1;
    }
}

bool write_all(int fd, const void* data, std::size_t size, deadline until, int cancel_fd) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
            wait_for(fd, POLLOUT, until, cancel_fd)) {
            continue;
        }
        return false;
    }
    return true;
}

bool read_all(int fd, void* data, std::size_t size, deadline until, int cancel_fd) {
    auto* p = static_cast<unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::recv(fd, p, size, 0);
        if (n > 0) {
            p += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            return false; // the peer closed before the whole record arrived
        }
        if (errno == EINTR) {
            continue;
        }
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && wait_for(fd, POLLIN, until, cancel_fd)) {
            continue;
        }
        return false;
    }
    return true;
}

bool wait_readable(int fd, deadline until, int cancel_fd) {
    return wait_for(fd, POLLIN, until, cancel_fd);
}

void close_fd(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

std::array<unsigned char, frame_size> encode_frame(const window_message& m) {
    std::array<unsigned char, frame_size> f{};
    put_u32(f.data(), m.sent ? frame_sent : frame_posted);
    put_u32(f.data() + 4, m.message);
    put_i64(f.data() + 8, m.wparam);
    put_i64(f.data() + 16, m.lparam);
    return f;
}

bool decode_frame(const unsigned char* bytes, window_message& m) {
    const std::uint32_t type = get_u32(bytes);
    if (type != frame_sent && type != frame_posted) {
        return false;
    }
    m.sent = type == frame_sent;
    m.message = get_u32(bytes + 4);
    m.wparam = get_i64(bytes + 8);
    m.lparam = get_i64(bytes + 16);
    return true;
}

std::array<unsigned char, answer_size> encode_answer(std::int64_t result) {
    std::array<unsigned char, answer_size> a{};
    put_i64(a.data(), result);
    return a;
}

std::int64_t decode_answer(const unsigned char* bytes) {
    return get_i64(bytes);
}

} // namespace zs::platform::desktop_io
