#include "platform/files.hpp"

#include "platform/win32/wide.hpp"

#include <algorithm>
#include <string_view>

namespace zs::platform {

namespace {

using win32::narrow;
using win32::unique_handle;
using win32::widen;

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

template <typename Visit> bool for_each_entry(const std::string& folder, Visit visit) {
    WIN32_FIND_DATAW found;
    const HANDLE h = ::FindFirstFileW(widen(with_separator(folder) + "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            visit(narrow(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        }
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return true;
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

bool read_file(const std::string& path, std::string& out) {
    std::string error;
    return read_existing_file(path, out, error) == read_outcome::read;
}

read_outcome read_existing_file(const std::string& path, std::string& out, std::string& error) {
    const auto fail = [&error](DWORD code) {
        error = std::system_category().message(static_cast<int>(code));
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? read_outcome::missing
                                                                            : read_outcome::failed;
    };
    const std::wstring wide = widen(path);
    // A folder opens only with backup semantics, so CreateFileW reports it as
    // access denied; it is named as what it is.
    if (const DWORD a = ::GetFileAttributesW(wide.c_str());
        a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "Is a directory";
        return read_outcome::failed;
    }
    unique_handle h(::CreateFileW(wide.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        return fail(::GetLastError());
    }
    std::string data;
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h.get(), buffer, sizeof buffer, &n, nullptr)) {
            return fail(::GetLastError());
        }
        if (n == 0) {
            break;
        }
        data.append(buffer, n);
    }
    out = std::move(data);
    return read_outcome::read;
}

bool write_file(const std::string& path, const std::string& data, bool text_mode) {
    unique_handle h(::CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return h && write_handle(h.get(), text_mode ? to_text_mode(data) : data);
}

bool replace_file(const std::string& path, const std::string& data, std::error_code* error) {
    const std::string temp = path + ".tmp";
    // The cause is taken before the clean-up calls overwrite it.
    const auto fail = [&temp, error](std::error_code code) {
        ::DeleteFileW(widen(temp).c_str());
        if (error != nullptr) {
            *error = code;
        }
        return false;
    };
    {
        unique_handle h(::CreateFileW(widen(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h || !write_handle(h.get(), data) || !::FlushFileBuffers(h.get())) {
            const std::error_code code = win32::last_error();
            h.reset();
            return fail(code);
        }
    }
    if (!::MoveFileExW(widen(temp).c_str(), widen(path).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return fail(win32::last_error());
    }
    return true;
}

bool remove_file(const std::string& path) {
    return ::DeleteFileW(widen(path).c_str()) != 0;
}

bool rename_file(const std::string& from, const std::string& to) {
    return ::MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool append_file(const std::string& path, const std::string& data) {
    unique_handle h(::CreateFileW(widen(path).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(h.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
           written == data.size();
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

bool make_folders(const std::string& path) {
    const std::string folder = without_separator(path);
    if (folder.empty() || folder_exists(folder)) {
        return !folder.empty();
    }
    const auto cut = folder.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0 && folder[cut - 1] != ':') {
        make_folders(folder.substr(0, cut));
    }
    return ::CreateDirectoryW(widen(folder).c_str(), nullptr) != 0 || folder_exists(folder);
}

bool copy_file(const std::string& from, const std::string& to) {
    return ::CopyFileW(widen(from).c_str(), widen(to).c_str(), FALSE) != 0;
}

void delete_folder_content(const std::string& folder, bool remove_folder) {
    const std::string base = with_separator(folder);
    std::vector<std::pair<std::string, bool>> entries;
    if (!for_each_entry(base, [&](const std::string& name, bool is_folder) {
            entries.emplace_back(name, is_folder);
        })) {
        return;
    }
    for (const auto& [name, is_folder] : entries) {
        const std::string child = base + name;
        if (is_folder) {
            delete_folder_content(child, true);
        } else {
            ::SetFileAttributesW(widen(child).c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(widen(child).c_str());
        }
    }
    if (remove_folder) {
        ::RemoveDirectoryW(widen(without_separator(base)).c_str());
    }
}

bool list_folder(const std::string& folder, std::vector<folder_entry>& out) {
    out.clear();
    return for_each_entry(folder, [&out](const std::string& name, bool is_folder) {
        out.push_back({name, is_folder});
    });
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
