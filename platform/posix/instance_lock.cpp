#include "platform/instance_lock.hpp"

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

instance_lock::~instance_lock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool instance_lock::acquire(const std::string& desktop_folder) {
    if (fd_ >= 0) {
        return true;
    }
    if (!ensure_desktop_folder(desktop_folder)) {
        return false;
    }
    std::string path = desktop_folder;
    if (path.back() != '/') {
        path += '/';
    }
    path += "ZebServerInstance.lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

} // namespace zs::platform
