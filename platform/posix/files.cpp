#include "platform/files.hpp"

#include "platform/error_out.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace zs::platform {

namespace {

bool ascii_iequal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<unsigned char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<unsigned char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

using detail::fail;
using detail::succeed;

// Writes everything; errno tells why it stopped.
bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string resolve_for_read(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        return path;
    }
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return path;
    }
    std::string found = path;
    while (dirent* e = ::readdir(dir)) {
        if (ascii_iequal(e->d_name, name)) {
            found = (slash == std::string::npos ? std::string() : folder) + e->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool can_open_for_read(const std::string& path) {
    int fd = ::open(resolve_for_read(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

namespace {

// Reads the whole file; on failure, the errno of the step that failed.
int read_whole(const std::string& path, std::string& out) {
    int fd = ::open(resolve_for_read(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int code = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return code;
    }
    std::string data;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int code = errno;
            ::close(fd);
            return code;
        }
        if (n == 0) {
            break;
        }
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    out = std::move(data);
    return 0;
}

} // namespace

bool read_file(const std::string& path, std::string& out, std::error_code* error) {
    const int code = read_whole(path, out);
    return code == 0 ? succeed(error) : fail(error, code);
}

read_outcome read_existing_file(const std::string& path, std::string& out, std::string& error) {
    const int code = read_whole(path, out);
    if (code == 0) {
        return read_outcome::read;
    }
    error = std::strerror(code);
    return code == ENOENT || code == ENOTDIR ? read_outcome::missing : read_outcome::failed;
}

namespace {

// Writes data to a file opened with the given flags, then closes it.
bool write_with(const std::string& path, int flags, const std::string& data,
                std::error_code* error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
    if (fd < 0) {
        return fail(error, errno);
    }
    if (!write_all(fd, data.data(), data.size())) {
        const int code = errno;
        ::close(fd);
        return fail(error, code);
    }
    // A full disk or a network folder may only say so at close.
    return ::close(fd) == 0 ? succeed(error) : fail(error, errno);
}

} // namespace

bool write_file(const std::string& path, const std::string& data, bool text_mode,
                std::error_code* error) {
    return write_with(path, O_TRUNC, text_mode ? to_text_mode(data) : data, error);
}

bool replace_file(const std::string& path, const std::string& data, std::error_code* error) {
    const std::string temp = path + ".tmp-" + std::to_string(::getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return fail(error, errno);
    }
    bool ok = write_all(fd, data.data(), data.size()) && ::fsync(fd) == 0;
    int code = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fail(error, code);
    }
    return succeed(error);
}

bool remove_file(const std::string& path, std::error_code* error) {
    return ::unlink(path.c_str()) == 0 ? succeed(error) : fail(error, errno);
}

bool rename_file(const std::string& from, const std::string& to, std::error_code* error) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? succeed(error) : fail(error, errno);
}

bool append_file(const std::string& path, const std::string& data, std::error_code* error) {
    return write_with(path, O_APPEND, data, error);
}

bool is_regular_file(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool folder_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool make_folders(const std::string& path, std::error_code* error) {
    std::string partial;
    for (std::size_t i = 0; i < path.size(); ++i) {
        partial += path[i];
        if ((path[i] == '/' || i + 1 == path.size()) && partial != "/") {
            if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
                return fail(error, errno);
            }
        }
    }
    // EEXIST for a file of that name: mkdir -p's "File exists".
    return folder_exists(path) ? succeed(error) : fail(error, EEXIST);
}

bool copy_file(const std::string& from, const std::string& to, std::error_code* error) {
    std::string data;
    return read_file(from, data, error) && write_file(to, data, false, error);
}

bool delete_folder_content(const std::string& folder, bool remove_folder, std::error_code* error) {
    std::string base = folder;
    if (!base.empty() && base.back() != '/') {
        base += '/';
    }
    DIR* dir = ::opendir(base.c_str());
    if (dir == nullptr) {
        return errno == ENOENT ? succeed(error) : fail(error, errno);
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            names.emplace_back(e->d_name);
        }
    }
    ::closedir(dir);
    std::error_code first;
    for (const auto& name : names) {
        const std::string child = base + name;
        struct stat st {};
        std::error_code why;
        if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            delete_folder_content(child, true, &why);
        } else if (::unlink(child.c_str()) != 0 && errno != ENOENT) {
            why = std::error_code(errno, std::generic_category());
        }
        if (!first) {
            first = why;
        }
    }
    // The folder path may name a link to a folder: the link goes.
    if (remove_folder && ::rmdir(base.c_str()) != 0) {
        const int code = errno;
        if (::unlink(folder.c_str()) != 0 && !first) {
            first = std::error_code(code, std::generic_category());
        }
    }
    return first ? fail(error, first.value()) : succeed(error);
}

bool list_folder(const std::string& folder, std::vector<folder_entry>& out,
                 std::error_code* error) {
    out.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return fail(error, errno);
    }
    std::string base = folder;
    if (!base.empty() && base.back() != '/') {
        base += '/';
    }
    errno = 0;
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) {
            continue;
        }
        struct stat st {};
        const bool is_folder = ::stat((base + e->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        out.push_back({e->d_name, is_folder});
        errno = 0;
    }
    const int code = errno;
    ::closedir(dir);
    return code == 0 ? succeed(error) : fail(error, code);
}

file_info stat_path(const std::string& path) {
    file_info info;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return info;
    }
    info.exists = true;
    info.is_folder = S_ISDIR(st.st_mode);
    info.read_only = (st.st_mode & S_IWUSR) == 0;
    const auto slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    info.hidden = !name.empty() && name[0] == '.';
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.modified = st.st_mtime;
    info.accessed = st.st_atime;
    info.created = st.st_ctime;
    return info;
}

std::string current_folder() {
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) == nullptr) {
        return "./";
    }
    std::string cwd(buffer);
    if (cwd.empty() || cwd.back() != '/') {
        cwd += '/';
    }
    return cwd;
}

} // namespace zs::platform
