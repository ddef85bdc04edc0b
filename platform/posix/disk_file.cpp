#include "platform/disk_file.hpp"

#include "platform/files.hpp"
#include "platform/posix/desktop_socket.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zs::platform {

namespace {

file_identity identity_of(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

} // namespace

std::optional<file_identity> identify_file(const std::string& path) {
    struct stat st {};
    if (::stat(resolve_for_read(path).c_str(), &st) != 0) {
        return std::nullopt;
    }
    return identity_of(st);
}

disk_read read_disk_file(const std::string& path, const std::vector<std::string>& protected_paths,
                         std::uint64_t max_bytes, std::string& out) {
    // O_NONBLOCK: opening a FIFO would wait for a writer; a link is refused.
    desktop_io::unique_fd fd(
        ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            return disk_read::missing;
        }
        return errno == ELOOP || errno == ENXIO ? disk_read::refused : disk_read::failed;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return disk_read::failed;
    }
    if (!S_ISREG(st.st_mode) || is_protected(identity_of(st), protected_paths)) {
        return disk_read::refused;
    }
    if (static_cast<std::uint64_t>(st.st_size) > max_bytes) {
        return disk_read::too_large;
    }
    // Never past the bound, even when the file grows while it is read.
    std::string data;
    char buffer[65536];
    while (data.size() <= max_bytes) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return disk_read::failed;
        }
        if (n == 0) {
            out = std::move(data);
            return disk_read::read;
        }
        data.append(buffer, static_cast<std::size_t>(n));
    }
    return disk_read::too_large;
}

} // namespace zs::platform
