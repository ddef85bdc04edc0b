#pragma once
// The single-instance guard "ZebServerInstance": an exclusive lock on a file
// in the desktop folder, held for the life of the process.
#include <string>

namespace zs::platform {

class instance_lock {
public:
    instance_lock() = default;
    ~instance_lock();
    instance_lock(const instance_lock&) = delete;
    instance_lock& operator=(const instance_lock&) = delete;

    // False when another process holds it or the lock file cannot be made.
    bool acquire(const std::string& desktop_folder);
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Creates the desktop folder with mode 0700 when missing.
bool ensure_desktop_folder(const std::string& desktop_folder);

} // namespace zs::platform
