#include "platform/instance_lock.hpp"

#include "platform/win32/wide.hpp"

namespace zs::platform {

bool ensure_desktop_folder(const std::string&) {
    return true;
}

class instance_lock::impl {
public:
    win32::unique_handle mutex;
};

instance_lock::instance_lock() : impl_(std::make_unique<impl>()) {}

instance_lock::~instance_lock() = default;

bool instance_lock::held() const {
    return static_cast<bool>(impl_->mutex);
}

// The named mutex exists while its first owner runs; a second process opens
// the same one and learns so from ERROR_ALREADY_EXISTS.
bool instance_lock::acquire(const std::string&) {
    if (held()) {
        return true;
    }
    error_.clear();
    win32::unique_handle m(::CreateMutexW(nullptr, FALSE, L"ZebServerInstance"));
    if (!m) {
        error_ = win32::last_error();
        return false;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        return false;
    }
    impl_->mutex = std::move(m);
    return true;
}

class file_lock::impl {
public:
    win32::unique_handle file;
};

file_lock::file_lock() : impl_(std::make_unique<impl>()) {}

file_lock::~file_lock() = default;

bool file_lock::held() const {
    return static_cast<bool>(impl_->file);
}

// Opened without sharing: a second opener gets ERROR_SHARING_VIOLATION until
// this handle closes, as the process ends.
file_lock::result file_lock::acquire(const std::string& path) {
    if (held()) {
        return result::acquired;
    }
    win32::unique_handle f(::CreateFileW(win32::widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                         0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) {
        return ::GetLastError() == ERROR_SHARING_VIOLATION ? result::held_elsewhere
                                                           : result::cannot_create;
    }
    impl_->file = std::move(f);
    return result::acquired;
}

} // namespace zs::platform
