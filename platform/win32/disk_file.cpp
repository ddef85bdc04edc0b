#include "platform/disk_file.hpp"

#include "platform/win32/wide.hpp"

#include <algorithm>

namespace zs::platform {

namespace {

using win32::unique_handle;
using win32::widen;

file_identity identity_of(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

} // namespace

std::optional<file_identity> identify_file(const std::string& path) {
    // No data access: a file another process holds without sharing still
    // tells its identity; backup semantics open a folder too.
    unique_handle h(::CreateFileW(widen(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h || !::GetFileInformationByHandle(h.get(), &info)) {
        return std::nullopt;
    }
    return identity_of(info);
}

disk_read read_disk_file(const std::string& path, const std::vector<std::string>& protected_paths,
                         std::uint64_t max_bytes, std::string& out) {
    // A reparse point (link, junction) is opened itself, not followed.
    unique_handle h(::CreateFileW(widen(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h) {
        const DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? disk_read::missing
                                                                            : disk_read::failed;
    }
    // A device (COM1, CON, NUL) or pipe never reaches ReadFile, which could wait for good.
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(h.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h.get(), &info) ||
        (info.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0 ||
        is_protected(identity_of(info), protected_paths)) {
        return disk_read::refused;
    }
    const std::uint64_t size =
        static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    if (size > max_bytes) {
        return disk_read::too_large;
    }
    // Never past the bound, even when the file grows while it is read.
    std::string data;
    char buffer[65536];
    while (data.size() <= max_bytes) {
        DWORD n = 0;
        if (!::ReadFile(h.get(), buffer, sizeof buffer, &n, nullptr)) {
            return disk_read::failed;
        }
        if (n == 0) {
            out = std::move(data);
            return disk_read::read;
        }
        data.append(buffer, n);
    }
    return disk_read::too_large;
}

} // namespace zs::platform
