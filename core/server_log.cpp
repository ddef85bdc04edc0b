#include "core/server_log.hpp"

#include "platform/files.hpp"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace zs::core::server_log {

namespace {

struct log_state {
    std::mutex mutex;
    std::string path; // empty: standard error only
    std::string old_path;
    std::uint64_t size = 0;
    std::uint64_t rotate_at = rotate_bytes;
};

log_state& state() {
    static log_state s;
    return s;
}

std::string time_stamp() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    char text[32] = "";
    // Called under the log's lock, so the shared result of localtime is safe.
    if (const std::tm* local = std::localtime(&now)) {
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
    }
    return text;
}

std::string one_line(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = ' ';
        }
    }
    // Texts read from the programs' files often end in a CR.
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

} // namespace

void open(const std::string& folder, std::uint64_t rotate_at) {
    log_state& s = state();
    std::lock_guard lock(s.mutex);
    s.path = folder + file_name;
    s.old_path = folder + old_file_name;
    s.rotate_at = rotate_at;
    const platform::file_info info = platform::stat_path(s.path);
    s.size = info.exists ? info.size : 0;
}

void close() {
    log_state& s = state();
    std::lock_guard lock(s.mutex);
    s.path.clear();
}

void line(const std::string& text) {
    log_state& s = state();
    std::lock_guard lock(s.mutex);
    const std::string stamped = time_stamp() + " " + one_line(text);
    std::fprintf(stderr, "%s\n", stamped.c_str());
    std::fflush(stderr);
    if (s.path.empty()) {
        return;
    }
    const std::string record = stamped + "\r\n";
    if (s.size > 0 && s.size + record.size() > s.rotate_at) {
        platform::remove_file(s.old_path);
        platform::rename_file(s.path, s.old_path);
        s.size = 0;
    }
    if (platform::append_file(s.path, record)) {
        s.size += record.size();
    }
}

} // namespace zs::core::server_log
