#include "platform/file_stream.hpp"

#include "platform/error_out.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zs::platform {

namespace {

using detail::fail;
using detail::succeed;

std::error_code last_errno() {
    return {errno, std::generic_category()};
}

} // namespace

input_stream::~input_stream() {
    close();
}

bool input_stream::open(const std::string& path, std::error_code* error) {
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail(error, last_errno());
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::error_code why = S_ISDIR(st.st_mode)
                                        ? std::make_error_code(std::errc::is_a_directory)
                                        : std::make_error_code(std::errc::invalid_argument);
        ::close(fd);
        return fail(error, why);
    }
    handle_ = fd;
    return succeed(error);
}

bool input_stream::read(char* data, std::size_t size, std::size_t& got, std::error_code* error) {
    got = 0;
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(handle_), data, size);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            return succeed(error);
        }
        if (errno != EINTR) {
            return fail(error, last_errno());
        }
    }
}

bool input_stream::seek(std::uint64_t offset, std::error_code* error) {
    if (::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) {
        return fail(error, last_errno());
    }
    return succeed(error);
}

void input_stream::close() {
    if (handle_ != -1) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
}

output_stream::~output_stream() {
    close();
}

bool output_stream::create(const std::string& path, std::error_code* error) {
    close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return fail(error, last_errno());
    }
    handle_ = fd;
    return succeed(error);
}

bool output_stream::write(const char* data, std::size_t size, std::error_code* error) {
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(handle_), data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(error, last_errno());
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return succeed(error);
}

bool output_stream::seek(std::uint64_t offset, std::error_code* error) {
    if (::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) {
        return fail(error, last_errno());
    }
    return succeed(error);
}

bool output_stream::close(std::error_code* error) {
    if (handle_ == -1) {
        return succeed(error);
    }
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (::close(fd) != 0) {
        return fail(error, last_errno());
    }
    return succeed(error);
}

} // namespace zs::platform
