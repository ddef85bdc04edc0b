#include "platform/file_stream.hpp"

#include "platform/error_out.hpp"
#include "platform/win32/wide.hpp"

#include <algorithm>

namespace zs::platform {

namespace {

using detail::fail;
using detail::succeed;

HANDLE as_handle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

} // namespace

input_stream::~input_stream() {
    close();
}

bool input_stream::open(const std::string& path, std::error_code* error) {
    close();
    const std::wstring wide = win32::widen(path);
    if (const DWORD a = ::GetFileAttributesW(wide.c_str());
        a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
        return fail(error, std::make_error_code(std::errc::is_a_directory));
    }
    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return fail(error, win32::last_error());
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return succeed(error);
}

bool input_stream::read(char* data, std::size_t size, std::size_t& got, std::error_code* error) {
    got = 0;
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 30));
    if (!::ReadFile(as_handle(handle_), data, want, &n, nullptr)) {
        return fail(error, win32::last_error());
    }
    got = n;
    return succeed(error);
}

bool input_stream::seek(std::uint64_t offset, std::error_code* error) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(as_handle(handle_), to, nullptr, FILE_BEGIN)) {
        return fail(error, win32::last_error());
    }
    return succeed(error);
}

void input_stream::close() {
    if (handle_ != -1) {
        ::CloseHandle(as_handle(handle_));
        handle_ = -1;
    }
}

output_stream::~output_stream() {
    close();
}

bool output_stream::create(const std::string& path, std::error_code* error) {
    close();
    const HANDLE h = ::CreateFileW(win32::widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return fail(error, win32::last_error());
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return succeed(error);
}

bool output_stream::write(const char* data, std::size_t size, std::error_code* error) {
    while (size > 0) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20));
        if (!::WriteFile(as_handle(handle_), data, chunk, &n, nullptr) || n == 0) {
            const std::error_code why = win32::last_error();
            return fail(error, why ? why : std::make_error_code(std::errc::io_error));
        }
        data += n;
        size -= n;
    }
    return succeed(error);
}

bool output_stream::seek(std::uint64_t offset, std::error_code* error) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(as_handle(handle_), to, nullptr, FILE_BEGIN)) {
        return fail(error, win32::last_error());
    }
    return succeed(error);
}

bool output_stream::close(std::error_code* error) {
    if (handle_ == -1) {
        return succeed(error);
    }
    const HANDLE h = as_handle(handle_);
    handle_ = -1;
    if (!::CloseHandle(h)) {
        return fail(error, win32::last_error());
    }
    return succeed(error);
}

} // namespace zs::platform
