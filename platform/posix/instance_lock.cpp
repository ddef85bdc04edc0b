#include "platform/instance_lock.hpp"

#include "platform/posix/desktop_socket.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zs::platform {

bool ensure_desktop_folder(const std::string& desktop_folder) {
    std::string path = desktop_folder;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class instance_lock::impl {
public:
    desktop_io::unique_fd fd;
};

instance_lock::instance_lock() : impl_(std::make_unique<impl>()) {}

instance_lock::~instance_lock() = default;

bool instance_lock::held() const {
    return impl_->fd.get() >= 0;
}

bool instance_lock::acquire(const std::string& desktop_folder) {
    if (held()) {
        return true;
    }
    error_.clear();
    if (!ensure_desktop_folder(desktop_folder)) {
        error_ = std::error_code(errno, std::system_category());
        return false;
    }
    std::string path = desktop_folder;
    if (path.back() != '/') {
        path += '/';
    }
    path += "ZebServerInstance.lock";
    desktop_io::unique_fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        error_ = std::error_code(errno, std::system_category());
        return false;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            error_ = std::error_code(errno, std::system_category());
        }
        return false;
    }
    impl_->fd = std::move(fd);
    return true;
}

} // namespace zs::platform
