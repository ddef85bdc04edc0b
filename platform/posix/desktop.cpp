#include "platform/desktop.hpp"

#include "platform/env.hpp"
#include "platform/instance_lock.hpp"
#include "platform/posix/desktop_socket.hpp"
#include "platform/process.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zs::platform {

namespace {

using namespace desktop_io;

struct window_entry {
    window_info info;
    long long z = 0;
    bool complete = false; // false while its owner is still registering it
};

bool parse_number(const std::string& text, long long& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

std::string read_small_file(const std::string& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buffer[1024];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 65536) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

bool parse_entry(const std::string& text, window_entry& e) {
    bool have_pid = false;
    bool have_class = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        long long n = 0;
        if (key == "pid" && parse_number(value, n) && n > 0) {
            e.info.pid = static_cast<int>(n);
            have_pid = true;
        } else if (key == "class") {
            e.info.class_name = value;
            have_class = true;
        } else if (key == "title") {
            e.info.title = value;
        } else if (key == "z" && parse_number(value, n)) {
            e.z = n;
        }
    }
    e.complete = have_class;
    return have_pid;
}

bool handle_of(const std::string& name, window_handle& out) {
    if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".win") != 0) {
        return false;
    }
    long long n = 0;
    if (!parse_number(name.substr(0, name.size() - 4), n) || n < 1 || n > 2147483647) {
        return false;
    }
    out = static_cast<window_handle>(n);
    return true;
}

void remove_entry(const std::string& folder, window_handle h) {
    ::unlink(window_socket(folder, h).c_str());
    ::unlink(window_file(folder, h).c_str());
}

// Every parseable entry; stale ones (process gone) are removed on the way.
std::vector<window_entry> scan(const std::string& folder) {
    std::vector<window_entry> out;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return out;
    }
    std::vector<window_handle> handles;
    while (dirent* d = ::readdir(dir)) {
        window_handle h = 0;
        if (handle_of(d->d_name, h)) {
            handles.push_back(h);
        }
    }
    ::closedir(dir);
    for (window_handle h : handles) {
        window_entry e;
        e.info.handle = h;
        if (!parse_entry(read_small_file(window_file(folder, h)), e)) {
            continue; // just created, its pid line not yet written
        }
        if (!process_runs(static_cast<process_id>(e.info.pid))) {
            remove_entry(folder, h);
            continue;
        }
        out.push_back(std::move(e));
    }
    std::sort(out.begin(), out.end(), [](const window_entry& a, const window_entry& b) {
        return a.z != b.z ? a.z > b.z : a.info.handle > b.info.handle;
    });
    return out;
}

std::string clean_line(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

bool write_fd(int fd, const std::string& text) {
    return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// The descriptor of a freshly reserved "<h>.win", or -1.
int reserve_handle(const std::string& folder, window_handle& h) {
    std::random_device seed;
    std::mt19937 gen(seed());
    std::uniform_int_distribution<window_handle> pick(1, 2147483647);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        h = pick(gen);
        const int fd =
            ::open(window_file(folder, h).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

int listen_on(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        return -1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ::unlink(path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 128) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

deadline after(std::chrono::milliseconds timeout) {
    return std::chrono::steady_clock::now() + timeout;
}

std::string with_slash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

} // namespace

std::string desktop_dir() {
    if (const char* d = std::getenv("ZEBRIX_DESKTOP"); d != nullptr && *d != '\0') {
        return with_slash(d);
    }
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x != nullptr && *x != '\0') {
        return with_slash(std::string(x) + "/zebrix-desktop");
    }
    return "/tmp/zebrix-desktop-" + std::to_string(::getuid()) + "/";
}

std::vector<window_info> enumerate_windows() {
    return enumerate_windows(desktop_dir());
}

std::vector<window_info> enumerate_windows(const std::string& desktop_folder) {
    std::vector<window_info> out;
    for (auto& e : scan(desktop_folder)) {
        if (e.complete) {
            out.push_back(std::move(e.info));
        }
    }
    return out;
}

std::vector<window_info> windows_of_process(std::uint32_t pid) {
    std::vector<window_info> out;
    if (pid == static_cast<std::uint32_t>(::getpid())) {
        return out;
    }
    for (auto& w : enumerate_windows()) {
        if (static_cast<std::uint32_t>(w.pid) == pid) {
            out.push_back(std::move(w));
        }
    }
    return out;
}

// One byte in the pipe while set wakes every wait on it, now and later.
class send_cancel::impl {
public:
    impl() {
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            fds[0] = fds[1] = -1;
        }
    }
    ~impl() {
        close_fd(fds[0]);
        close_fd(fds[1]);
    }
    int wait_fd() const { return fds[0]; } // readable while set

    mutable std::mutex mutex;
    bool cancelled = false;
    int fds[2] = {-1, -1};
};

send_cancel::send_cancel() : impl_(std::make_unique<impl>()) {}

send_cancel::~send_cancel() = default;

void send_cancel::set(bool cancelled) {
    std::lock_guard lock(impl_->mutex);
    if (cancelled == impl_->cancelled) {
        return;
    }
    impl_->cancelled = cancelled;
    unsigned char byte = 0;
    const ssize_t n =
        cancelled ? ::write(impl_->fds[1], &byte, 1) : ::read(impl_->fds[0], &byte, 1);
    (void)n;
}

bool send_cancel::cancelled() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->cancelled;
}

std::optional<std::int64_t> try_send_message(const std::string& desktop_folder,
                                             window_handle window, std::uint32_t message,
                                             std::int64_t wparam, std::int64_t lparam,
                                             std::chrono::milliseconds timeout,
                                             const send_cancel* cancel) {
    const deadline until = after(timeout);
    const int cancel_fd = cancel != nullptr ? cancel->native().wait_fd() : -1;
    if (cancel != nullptr && cancel->cancelled()) {
        return std::nullopt;
    }
    unique_fd fd(connect_window(desktop_folder, window, until, cancel_fd));
    if (fd.get() < 0) {
        return std::nullopt;
    }
    const auto frame = encode_frame({true, message, wparam, lparam});
    unsigned char answer[answer_size];
    // The answer is never there the moment the frame leaves: wait first
    // rather than pay for a read that finds nothing.
    if (!write_all(fd.get(), frame.data(), frame.size(), until, cancel_fd) ||
        !wait_readable(fd.get(), until, cancel_fd) ||
        !read_all(fd.get(), answer, sizeof answer, until, cancel_fd)) {
        return std::nullopt;
    }
    return decode_answer(answer);
}

std::int64_t send_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                          std::int64_t lparam) {
    return send_message(window, message, wparam, lparam, send_timeout());
}

std::int64_t send_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                          std::int64_t lparam, std::chrono::milliseconds timeout) {
    return try_send_message(desktop_dir(), window, message, wparam, lparam, timeout).value_or(0);
}

std::int64_t send_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                          std::int64_t lparam, const send_cancel& cancel) {
    return try_send_message(desktop_dir(), window, message, wparam, lparam, send_timeout(), &cancel)
        .value_or(0);
}

bool post_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                  std::int64_t lparam) {
    return post_message(desktop_dir(), window, message, wparam, lparam);
}

bool post_message(window_handle window, std::uint32_t message, std::int64_t wparam,
                  std::int64_t lparam, const send_cancel& cancel) {
    return post_message(desktop_dir(), window, message, wparam, lparam, &cancel);
}

bool post_message(const std::string& desktop_folder, window_handle window, std::uint32_t message,
                  std::int64_t wparam, std::int64_t lparam, const send_cancel* cancel) {
    const deadline until = after(send_timeout());
    const int cancel_fd = cancel != nullptr ? cancel->native().wait_fd() : -1;
    if (cancel != nullptr && cancel->cancelled()) {
        return false;
    }
    unique_fd fd(connect_window(desktop_folder, window, until, cancel_fd));
    if (fd.get() < 0) {
        return false;
    }
    const auto frame = encode_frame({false, message, wparam, lparam});
    return write_all(fd.get(), frame.data(), frame.size(), until, cancel_fd);
}

registered_window register_window(const std::string& desktop_folder, const std::string& class_name,
                                  const std::string& title) {
    registered_window r;
    const auto failed = [&r](int error) {
        r.error = std::error_code(error != 0 ? error : EIO, std::system_category());
        return std::move(r);
    };
    if (!ensure_desktop_folder(desktop_folder)) {
        return failed(errno);
    }
    window_handle h = 0;
    const int reserved = reserve_handle(desktop_folder, h);
    if (reserved < 0) {
        return failed(errno);
    }
    // The pid goes in at once, so a crash before publication leaves a stale entry.
    const std::string pid_line = "pid=" + std::to_string(::getpid()) + "\n";
    const bool ok = write_fd(reserved, pid_line);
    ::close(reserved);
    unique_fd fd(ok ? listen_on(window_socket(desktop_folder, h)) : -1);
    if (fd.get() < 0) {
        const int error = errno;
        remove_entry(desktop_folder, h);
        return failed(error);
    }
    long long z = 0;
    for (const auto& e : scan(desktop_folder)) {
        z = std::max(z, e.z);
    }
    const std::string text = pid_line + "class=" + clean_line(class_name) + "\n" +
                             "title=" + clean_line(title) + "\n" + "z=" + std::to_string(z + 1) +
                             "\n";
    const std::string temp = window_file(desktop_folder, h) + ".tmp";
    const int t = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool written = t >= 0 && write_fd(t, text);
    if (t >= 0) {
        ::close(t);
    }
    if (!written || ::rename(temp.c_str(), window_file(desktop_folder, h).c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        remove_entry(desktop_folder, h);
        return failed(error);
    }
    r.handle = h;
    r.listen_fd = std::move(fd);
    return r;
}

void unregister_window(const std::string& desktop_folder, window_handle window) {
    if (window > 0) {
        remove_entry(desktop_folder, window);
    }
}

} // namespace zs::platform
