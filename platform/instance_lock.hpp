#pragma once
// The single-instance guard "ZebServerInstance": an exclusive lock on a file
// in the desktop folder, held for the life of the process; and the same kind
// of lock in the installation's helper folder, since two servers of one
// installation on two desktops would empty each other's job folders.
#include <string>

namespace zs::platform {

// An exclusive lock on one file, held until destruction.
class file_lock {
public:
    enum class result { acquired, held_elsewhere, cannot_create };

    file_lock() = default;
    ~file_lock();
    file_lock(const file_lock&) = delete;
    file_lock& operator=(const file_lock&) = delete;

    result acquire(const std::string& path);
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

class instance_lock {
public:
    // False when another process holds it or the lock file cannot be made.
    bool acquire(const std::string& desktop_folder);
    bool held() const { return lock_.held(); }

private:
    file_lock lock_;
};

// Creates the desktop folder with mode 0700 when missing.
bool ensure_desktop_folder(const std::string& desktop_folder);

} // namespace zs::platform
