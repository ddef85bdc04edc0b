#pragma once
// Files handed to a client: one file is known by its identity, not by the
// name it was asked for (Windows gives one file many names: any case, a
// trailing dot or space, its short 8.3 name), and only a regular file on
// disk is read, never a device, pipe, folder or link.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zs::platform {

// The volume and file number (st_dev/st_ino; the volume serial number and
// file index on Windows): equal for every name of one file.
struct file_identity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const file_identity&) const = default;
};

// The identity of the file `path` names (following a link, with the case
// fallback of resolve_for_read), or nothing when there is none.
std::optional<file_identity> identify_file(const std::string& path);

// Whether `file` is one of the files `protected_paths` name.
inline bool is_protected(const file_identity& file,
                         const std::vector<std::string>& protected_paths) {
    return std::any_of(protected_paths.begin(), protected_paths.end(),
                       [&file](const std::string& path) { return identify_file(path) == file; });
}

enum class disk_read { read, missing, refused, too_large, failed };

// Opens `path` without following a link and without waiting on a device or
// pipe, and reads it into `out` only when it is a regular disk file, not one
// of the files `protected_paths` name (compared by identity) and at most
// `max_bytes` long. `out` is left alone unless the file was read.
disk_read read_disk_file(const std::string& path, const std::vector<std::string>& protected_paths,
                         std::uint64_t max_bytes, std::string& out);

} // namespace zs::platform
