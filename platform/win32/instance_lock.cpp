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

} // namespace zs::platform
