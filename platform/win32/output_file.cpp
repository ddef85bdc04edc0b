#include "platform/output_file.hpp"

#include "platform/win32/wide.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>

namespace zs::platform {

namespace {

using win32::unique_handle;
using win32::widen;

std::string system_text(DWORD code) {
    return std::system_category().message(static_cast<int>(code));
}

bool write_all(HANDLE h, const std::string& data, std::string& reason) {
    std::size_t done = 0;
    while (done < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(h, data.data() + done, chunk, &written, nullptr)) {
            reason = system_text(::GetLastError());
            return false;
        }
        done += written;
    }
    return true;
}

std::string folder_of(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? "." : path.substr(0, cut + 1);
}

} // namespace

std::string error_text(int code) {
    return std::strerror(code);
}

bool check_writable(const std::string& path, overwrite mode, std::string& reason) {
    if (path == "-") {
        return true;
    }
    if (path.empty() || path.back() == '\\' || path.back() == '/') {
        reason = error_text(EISDIR);
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            reason = error_text(EISDIR);
            return false;
        }
        if (mode == overwrite::refused) {
            reason = error_text(EEXIST);
            return false;
        }
        // Opening for writing without changing anything tells what a write would meet.
        unique_handle h(::CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h) {
            reason = system_text(::GetLastError());
            return false;
        }
        return true;
    }
    const DWORD missing = ::GetLastError();
    if (missing != ERROR_FILE_NOT_FOUND) {
        reason = system_text(missing);
        return false;
    }
    const DWORD folder = ::GetFileAttributesW(widen(folder_of(path)).c_str());
    if (folder == INVALID_FILE_ATTRIBUTES) {
        reason = system_text(::GetLastError());
        return false;
    }
    if ((folder & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        reason = error_text(ENOTDIR);
        return false;
    }
    return true;
}

bool write_output(const std::string& path, const std::string& data, overwrite mode,
                  std::string& reason) {
    if (path == "-") {
        std::fflush(stdout);
        // Binary: a result is bytes, not text with line ends to convert.
        const int fd = _fileno(stdout);
        const int old_mode = _setmode(fd, _O_BINARY);
        const bool ok = std::fwrite(data.data(), 1, data.size(), stdout) == data.size() &&
                        std::fflush(stdout) == 0;
        _setmode(fd, old_mode);
        if (!ok) {
            reason = error_text(errno);
        }
        return ok;
    }
    unique_handle h(::CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                  mode == overwrite::refused ? CREATE_NEW : CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        const DWORD code = ::GetLastError();
        reason = code == ERROR_FILE_EXISTS ? error_text(EEXIST) : system_text(code);
        return false;
    }
    return write_all(h.get(), data, reason);
}

bool read_input(const std::string& path, std::string& data, std::string& reason) {
    unique_handle h(::CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        const DWORD code = ::GetLastError();
        reason = code == ERROR_ACCESS_DENIED &&
                         (::GetFileAttributesW(widen(path).c_str()) & FILE_ATTRIBUTE_DIRECTORY)
                     ? error_text(EISDIR)
                     : system_text(code);
        return false;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h.get(), buffer, sizeof buffer, &n, nullptr)) {
            reason = system_text(::GetLastError());
            return false;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, n);
    }
    data = std::move(text);
    return true;
}

std::optional<std::string> write_rescue_file(const std::string& name_hint, const std::string& data,
                                             std::string& reason) {
    wchar_t folder[MAX_PATH + 1] = {};
    if (::GetTempPathW(MAX_PATH + 1, folder) == 0) {
        reason = system_text(::GetLastError());
        return std::nullopt;
    }
    const std::string base = win32::narrow(folder) + name_hint + "-";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string path =
            base + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(attempt);
        std::string why;
        if (write_output(path, data, overwrite::refused, why)) {
            return path;
        }
        if (why != error_text(EEXIST)) {
            reason = why;
            return std::nullopt;
        }
    }
    reason = error_text(EEXIST);
    return std::nullopt;
}

} // namespace zs::platform
