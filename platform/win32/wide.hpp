#pragma once
// Helpers of the Windows implementation: UTF-8 paths and texts to the wide
// strings the system takes, the system's last error, and a handle owner.
#include <windows.h>

#include <string>
#include <string_view>
#include <system_error>

namespace zs::platform::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

// GetLastError() as an error code of the system category.
std::error_code last_error();

// Closes a kernel handle when it goes out of scope.
class unique_handle {
public:
    explicit unique_handle(HANDLE h = nullptr) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~unique_handle() { reset(); }
    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;
    unique_handle(unique_handle&& other) noexcept : h_(other.h_) { other.h_ = nullptr; }
    unique_handle& operator=(unique_handle&& other) noexcept {
        if (this != &other) {
            reset();
            h_ = other.h_;
            other.h_ = nullptr;
        }
        return *this;
    }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void reset() {
        if (h_ != nullptr) {
            ::CloseHandle(h_);
            h_ = nullptr;
        }
    }

private:
    HANDLE h_;
};

// Window handles are 32-bit values on 64-bit Windows too, so they travel as
// the desktop's window_handle without loss.
inline HWND to_hwnd(std::int32_t h) {
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(h));
}
inline std::int32_t from_hwnd(HWND h) {
    return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(h));
}

} // namespace zs::platform::win32
