#include "platform/output_file.hpp"

#include "platform/env.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zs::platform {

namespace {

bool write_all(int fd, const std::string& data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Writes and closes fd; false with the reason of the first failure.
bool finish(int fd, const std::string& data, std::string& reason) {
    const bool written = write_all(fd, data);
    const int write_error = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        reason = error_text(written ? errno : write_error);
        return false;
    }
    return true;
}

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string error_text(int code) {
    return std::strerror(code);
}

bool check_writable(const std::string& path, overwrite mode, std::string& reason) {
    if (path == "-") {
        return true;
    }
    if (path.empty() || path.back() == '/') {
        reason = error_text(EISDIR);
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            reason = error_text(EISDIR);
            return false;
        }
        if (mode == overwrite::refused) {
            reason = error_text(EEXIST);
            return false;
        }
        if (::access(path.c_str(), W_OK) != 0) {
            reason = error_text(errno);
            return false;
        }
        return true;
    }
    if (errno != ENOENT) {
        reason = error_text(errno);
        return false;
    }
    const std::string folder = folder_of(path);
    if (::stat(folder.c_str(), &st) != 0) {
        reason = error_text(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        reason = error_text(ENOTDIR);
        return false;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        reason = error_text(errno);
        return false;
    }
    return true;
}

bool write_output(const std::string& path, const std::string& data, overwrite mode,
                  std::string& reason) {
    if (path == "-") {
        std::fflush(stdout);
        if (!write_all(STDOUT_FILENO, data)) {
            reason = error_text(errno);
            return false;
        }
        return true;
    }
    const int flags =
        O_WRONLY | O_CREAT | O_CLOEXEC | (mode == overwrite::refused ? O_EXCL : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        reason = error_text(errno);
        return false;
    }
    return finish(fd, data, reason);
}

bool read_input(const std::string& path, std::string& data, std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = error_text(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        reason = error_text(EISDIR);
        return false;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            reason = error_text(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    data = std::move(text);
    return true;
}

std::optional<std::string> write_rescue_file(const std::string& name_hint, const std::string& data,
                                             std::string& reason) {
    std::string folder = env_or("TMPDIR", "/tmp");
    if (folder.back() != '/') {
        folder += '/';
    }
    std::string pattern = folder + name_hint + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        reason = error_text(errno);
        return std::nullopt;
    }
    if (!finish(fd, data, reason)) {
        ::unlink(name.data());
        return std::nullopt;
    }
    return std::string(name.data());
}

} // namespace zs::platform
