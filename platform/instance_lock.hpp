#pragma once
// The single-instance guard "ZebServerInstance", held for the life of the
// process: an exclusive lock on a file in the desktop folder on Linux, the
// named mutex of that name on Windows.
#include <memory>
#include <string>
#include <system_error>

namespace zs::platform {

class instance_lock {
public:
    instance_lock();
    ~instance_lock();
    instance_lock(const instance_lock&) = delete;
    instance_lock& operator=(const instance_lock&) = delete;

    // False when another process holds it (error() is then empty) or the
    // guard cannot be made (error() says why).
    bool acquire(const std::string& desktop_folder);
    bool held() const;
    const std::error_code& error() const { return error_; }

private:
    class impl;
    std::unique_ptr<impl> impl_;
    std::error_code error_;
};

// Creates the desktop folder with mode 0700 when missing (nothing to do on Windows).
bool ensure_desktop_folder(const std::string& desktop_folder);

} // namespace zs::platform
