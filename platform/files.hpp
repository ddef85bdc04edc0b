#pragma once
// Files and folders. Paths are byte strings (UTF-8 on Windows, where they
// become wide-character paths); a folder path ends in the separator.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace zs::platform {

#ifdef _WIN32
inline constexpr char path_separator = '\\';
#else
inline constexpr char path_separator = '/';
#endif

// The exact path when it exists, else the one entry of the same folder whose
// name matches without regard to ASCII case, else the path unchanged.
std::string resolve_for_read(const std::string& path);

bool can_open_for_read(const std::string& path); // with the case fallback

// The functions that change or read files report a failure by returning
// false; when `error` is given it then holds the system's reason (it is
// cleared on success), so the failure can be logged with its cause.

// The whole file, as bytes; `out` is left alone on failure.
bool read_file(const std::string& path, std::string& out, std::error_code* error = nullptr);

// read_file that tells a missing file from one that exists but cannot be read
// (no permission, a folder, an I/O error); `error` then holds the system's reason.
enum class read_outcome { read, missing, failed };
read_outcome read_existing_file(const std::string& path, std::string& out, std::string& error);

// Truncates and writes. Text mode stores every LF as CR LF, as a Windows
// text-mode write does.
bool write_file(const std::string& path, const std::string& data, bool text_mode = false,
                std::error_code* error = nullptr);
std::string to_text_mode(const std::string& data);

// Writes to a temporary name in the same folder and renames it over the
// target, so a crash never leaves a truncated file.
bool replace_file(const std::string& path, const std::string& data,
                  std::error_code* error = nullptr);

bool remove_file(const std::string& path, std::error_code* error = nullptr);
// Replaces `to`.
bool rename_file(const std::string& from, const std::string& to, std::error_code* error = nullptr);
// Appends, creating the file when missing.
bool append_file(const std::string& path, const std::string& data,
                 std::error_code* error = nullptr);
// A regular file itself: false for folders, links, devices and missing paths.
bool is_regular_file(const std::string& path);
bool file_exists(const std::string& path);
bool folder_exists(const std::string& path);
// Like mkdir -p; a file in the way gives file_exists.
bool make_folders(const std::string& path, std::error_code* error = nullptr);
// Overwrites `to`.
bool copy_file(const std::string& from, const std::string& to, std::error_code* error = nullptr);

// Deletes every entry of a folder, subfolders with their whole content; with
// remove_folder the folder itself goes too. A missing folder is left alone
// (and is no failure). It carries on past an entry it cannot delete; the
// result and `error` tell about the first one.
bool delete_folder_content(const std::string& folder, bool remove_folder,
                           std::error_code* error = nullptr);

struct folder_entry {
    std::string name;
    bool is_folder = false;
};
// Entries in the order the file system gives them, without "." and "..".
bool list_folder(const std::string& folder, std::vector<folder_entry>& out,
                 std::error_code* error = nullptr);

struct file_info {
    bool exists = false;
    bool is_folder = false;
    bool read_only = false; // owner has no write permission
    bool hidden = false;    // name begins with "."
    // The MS-DOS attribute bits (read-only, hidden, system, directory,
    // archive) where the system keeps them: Windows only.
    std::optional<std::uint8_t> dos_attributes;
    std::uint64_t size = 0;
    std::time_t modified = 0;
    std::time_t accessed = 0;
    std::time_t created = 0; // status change time where no birth time is kept
};
file_info stat_path(const std::string& path);

std::string current_folder(); // ends in "/"

} // namespace zs::platform
