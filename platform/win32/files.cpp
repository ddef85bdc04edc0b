#include "platform/files.hpp"

#include "platform/error_out.hpp"
#include "platform/win32/wide.hpp"

#include <algorithm>
#include <string_view>

namespace zs::platform {

namespace {

using win32::narrow;
using win32::unique_handle;
using win32::widen;

using detail::fail;
using detail::succeed;

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

std::string with_separator(std::string folder) {
    if (!folder.empty() && !is_separator(folder.back())) {
        folder += '\\';
    }
    return folder;
}

std::string without_separator(std::string folder) {
    while (folder.size() > 1 && is_separator(folder.back()) && folder[folder.size() - 2] != ':') {
        folder.pop_back();
    }
    return folder;
}

DWORD attributes(const std::string& path) {
    return ::GetFileAttributesW(widen(without_separator(path)).c_str());
}

std::time_t to_time_t(const FILETIME& ft) {
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    // 100 ns steps since 1601-01-01 to seconds since 1970-01-01.
    return static_cast<std::time_t>(v.QuadPart / 10000000ULL - 11644473600ULL);
}

bool write_handle(HANDLE h, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1 << 20));
        DWORD n = 0;
        if (!::WriteFile(h, data.data() + done, chunk, &n, nullptr) || n == 0) {
            return false;
        }
        done += n;
    }
    return true;
}

// Visits every entry; the error of the listing when it fails.
template <typename Visit> std::error_code for_each_entry(const std::string& folder, Visit visit) {
    WIN32_FIND_DATAW found;
    const HANDLE h = ::FindFirstFileW(widen(with_separator(folder) + "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        return win32::last_error();
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            visit(narrow(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        }
    } while (::FindNextFileW(h, &found));
    const DWORD last = ::GetLastError();
    ::FindClose(h);
    return last == ERROR_NO_MORE_FILES
               ? std::error_code()
               : std::error_code(static_cast<int>(last), std::system_category());
}

// Reads the whole file; the error of the step that failed.
std::error_code read_whole(const std::string& path, std::string& out) {
    const std::wstring wide = widen(path);
    // A folder opens only with backup semantics, so CreateFileW reports it as
    // access denied; it is named as what it is.
    if (const DWORD a = ::GetFileAttributesW(wide.c_str());
        a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::make_error_code(std::errc::is_a_directory);
    }
    unique_handle h(::CreateFileW(wide.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        return win32::last_error();
    }
    std::string data;
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h.get(), buffer, sizeof buffer, &n, nullptr)) {
            return win32::last_error();
        }
        if (n == 0) {
            break;
        }
        data.append(buffer, n);
    }
    out = std::move(data);
    return {};
}

// Writes data to a file opened with the given access and disposition.
bool write_with(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                const std::string& data, std::error_code* error) {
    unique_handle h(::CreateFileW(widen(path).c_str(), access, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h || !write_handle(h.get(), data)) {
        // A write that stops short without an error leaves no system code.
        const std::error_code code = win32::last_error();
        return fail(error, code ? code : std::make_error_code(std::errc::io_error));
    }
    return succeed(error);
}

} // namespace

// Windows file names ignore case already; the exact path is the answer.
std::string resolve_for_read(const std::string& path) {
    return path;
}

bool can_open_for_read(const std::string& path) {
    unique_handle h(::CreateFileW(widen(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(h);
}

bool read_file(const std::string& path, std::string& out, std::error_code* error) {
    const std::error_code code = read_whole(path, out);
    return code ? fail(error, code) : succeed(error);
}

read_outcome read_existing_file(const std::string& path, std::string& out, std::string& error) {
    const std::error_code code = read_whole(path, out);
    if (!code) {
        return read_outcome::read;
    }
    error = code.message();
    const int value = code.category() == std::system_category() ? code.value() : 0;
    return value == ERROR_FILE_NOT_FOUND || value == ERROR_PATH_NOT_FOUND ? read_outcome::missing
                                                                          : read_outcome::failed;
}

bool write_file(const std::string& path, const std::string& data, bool text_mode,
                std::error_code* error) {
    return write_with(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS,
                      text_mode ? to_text_mode(data) : data, error);
}

bool replace_file(const std::string& path, const std::string& data, std::error_code* error) {
    const std::string temp = path + ".tmp";
    // The cause is taken before the clean-up calls overwrite it.
    const auto give_up = [&temp, error](std::error_code code) {
        ::DeleteFileW(widen(temp).c_str());
        return fail(error, code);
    };
    {
        unique_handle h(::CreateFileW(widen(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h || !write_handle(h.get(), data) || !::FlushFileBuffers(h.get())) {
            const std::error_code code = win32::last_error();
            h.reset();
            return give_up(code);
        }
    }
    if (!::MoveFileExW(widen(temp).c_str(), widen(path).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return give_up(win32::last_error());
    }
    return succeed(error);
}

bool remove_file(const std::string& path, std::error_code* error) {
    return ::DeleteFileW(widen(path).c_str()) ? succeed(error) : fail(error, win32::last_error());
}

bool rename_file(const std::string& from, const std::string& to, std::error_code* error) {
    return ::MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING)
               ? succeed(error)
               : fail(error, win32::last_error());
}

bool append_file(const std::string& path, const std::string& data, std::error_code* error) {
    return write_with(path, FILE_APPEND_DATA,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS, data,
                      error);
}

bool is_regular_file(const std::string& path) {
    const DWORD a = ::GetFileAttributesW(widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES &&
           (a &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool file_exists(const std::string& path) {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool folder_exists(const std::string& path) {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool make_folders(const std::string& path, std::error_code* error) {
    const std::string folder = without_separator(path);
    if (folder.empty()) {
        return fail(error, std::make_error_code(std::errc::invalid_argument));
    }
    if (folder_exists(folder)) {
        return succeed(error);
    }
    const auto cut = folder.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0 && folder[cut - 1] != ':' &&
        !make_folders(folder.substr(0, cut), error)) {
        return false;
    }
    if (::CreateDirectoryW(widen(folder).c_str(), nullptr) || folder_exists(folder)) {
        return succeed(error);
    }
    return fail(error, win32::last_error());
}

bool copy_file(const std::string& from, const std::string& to, std::error_code* error) {
    return ::CopyFileW(widen(from).c_str(), widen(to).c_str(), FALSE)
               ? succeed(error)
               : fail(error, win32::last_error());
}

bool delete_folder_content(const std::string& folder, bool remove_folder, std::error_code* error) {
    const std::string base = with_separator(folder);
    std::vector<std::pair<std::string, bool>> entries;
    if (const std::error_code listed =
            for_each_entry(base, [&](const std::string& name, bool is_folder) {
                entries.emplace_back(name, is_folder);
            })) {
        return listed == std::errc::no_such_file_or_directory ? succeed(error)
                                                              : fail(error, listed);
    }
    std::error_code first;
    for (const auto& [name, is_folder] : entries) {
        const std::string child = base + name;
        std::error_code why;
        if (is_folder) {
            delete_folder_content(child, true, &why);
        } else {
            // A read-only file cannot be deleted until it is writable.
            ::SetFileAttributesW(widen(child).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!::DeleteFileW(widen(child).c_str())) {
                why = win32::last_error();
            }
        }
        if (!first) {
            first = why;
        }
    }
    if (remove_folder && !::RemoveDirectoryW(widen(without_separator(base)).c_str()) && !first) {
        first = win32::last_error();
    }
    return first ? fail(error, first) : succeed(error);
}

bool list_folder(const std::string& folder, std::vector<folder_entry>& out,
                 std::error_code* error) {
    out.clear();
    const std::error_code listed =
        for_each_entry(folder, [&out](const std::string& name, bool is_folder) {
            out.push_back({name, is_folder});
        });
    return listed ? fail(error, listed) : succeed(error);
}

file_info stat_path(const std::string& path) {
    file_info info;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(widen(without_separator(path)).c_str(), GetFileExInfoStandard,
                                &data)) {
        return info;
    }
    info.exists = true;
    info.is_folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.read_only = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    info.dos_attributes = static_cast<std::uint8_t>(
        data.dwFileAttributes &
        (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
         FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE));
    info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.modified = to_time_t(data.ftLastWriteTime);
    info.accessed = to_time_t(data.ftLastAccessTime);
    info.created = to_time_t(data.ftCreationTime);
    return info;
}

std::string current_folder() {
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring buffer(n, L'\0');
    const DWORD got = ::GetCurrentDirectoryW(n, buffer.data());
    buffer.resize(got);
    return with_separator(narrow(buffer));
}

} // namespace zs::platform
