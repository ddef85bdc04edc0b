#include "platform/process.hpp"

#include "platform/desktop.hpp"
#include "platform/env.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zs::platform {

namespace {

constexpr auto poll_step = std::chrono::milliseconds(10);
constexpr auto reap_step = std::chrono::milliseconds(100);

// Reaps the programs this process started, so none is left a zombie while
// the server runs; other children of the process are never touched.
class child_reaper {
public:
    static child_reaper& instance() {
        static child_reaper* r = new child_reaper; // never destroyed: its thread runs to exit
        return *r;
    }
    void add(pid_t pid) {
        {
            std::lock_guard lock(mutex_);
            pids_.push_back(pid);
            if (!started_) {
                started_ = true;
                std::thread([this] { loop(); }).detach();
            }
        }
        wake_.notify_one();
    }
    void reap_now() {
        std::lock_guard lock(mutex_);
        reap_locked();
    }

private:
    void reap_locked() {
        std::erase_if(pids_, [](pid_t pid) {
            int status = 0;
            const pid_t r = ::waitpid(pid, &status, WNOHANG);
            return r == pid || (r < 0 && errno == ECHILD);
        });
    }
    void loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait_for(lock, reap_step * (pids_.empty() ? 10 : 1));
            reap_locked();
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<pid_t> pids_;
    bool started_ = false;
};

std::string read_proc(const std::string& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < (1u << 20)) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

std::string exe_base_name(process_id pid) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/";
    char buffer[4096];
    const ssize_t n = ::readlink((dir + "exe").c_str(), buffer, sizeof buffer - 1);
    std::string name;
    if (n > 0) {
        name.assign(buffer, static_cast<std::size_t>(n));
        const std::string deleted = " (deleted)";
        if (name.size() > deleted.size() &&
            name.compare(name.size() - deleted.size(), deleted.size(), deleted) == 0) {
            name.resize(name.size() - deleted.size());
        }
        return name.substr(name.rfind('/') + 1);
    }
    name = read_proc(dir + "comm");
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) {
        name.pop_back();
    }
    return name;
}

bool same_name(const std::string& a, const std::string& b, name_match match) {
    if (match == name_match::exact) {
        return a == b;
    }
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// A process belongs to the desktop its ZEBRIX_DESKTOP names, or to the
// default desktop when that is unset.
bool on_this_desktop(process_id pid) {
    const std::string env = read_proc("/proc/" + std::to_string(pid) + "/environ");
    if (env.empty()) {
        return false; // another user's process, or gone
    }
    const std::string key = "ZEBRIX_DESKTOP=";
    std::string value;
    for (std::size_t pos = 0; pos < env.size();) {
        std::size_t end = env.find('\0', pos);
        if (end == std::string::npos) {
            end = env.size();
        }
        if (env.compare(pos, key.size(), key) == 0) {
            value = env.substr(pos + key.size(), end - pos - key.size());
        }
        pos = end + 1;
    }
    const char* own = std::getenv("ZEBRIX_DESKTOP");
    const bool own_default = own == nullptr || *own == '\0';
    if (value.empty()) {
        return own_default;
    }
    if (value.back() != '/') {
        value += '/';
    }
    return value == desktop_dir();
}

std::vector<process_id> all_pids() {
    std::vector<process_id> pids;
    DIR* dir = ::opendir("/proc");
    if (dir == nullptr) {
        return pids;
    }
    while (dirent* d = ::readdir(dir)) {
        unsigned v = 0;
        const char* end = d->d_name + std::char_traits<char>::length(d->d_name);
        auto [p, ec] = std::from_chars(d->d_name, end, v);
        if (ec == std::errc() && p == end && v > 0) {
            pids.push_back(v);
        }
    }
    ::closedir(dir);
    std::sort(pids.begin(), pids.end());
    return pids;
}

bool has_window(process_id pid) {
    for (const auto& w : enumerate_windows()) {
        if (static_cast<process_id>(w.pid) == pid) {
            return true;
        }
    }
    return false;
}

} // namespace

process_id find_process(const std::string& exe_name, name_match match) {
    for (process_id pid : all_pids()) {
        if (same_name(exe_base_name(pid), exe_name, match) && process_runs(pid) &&
            on_this_desktop(pid)) {
            return pid;
        }
    }
    return 0;
}

start_result start_process(const std::string& path, const std::vector<std::string>& args,
                           const std::string& cwd, std::chrono::milliseconds wait) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3); // no handle inheritance
    if (!cwd.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    }
    pid_t child = 0;
    const int error = ::posix_spawn(&child, path.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (error != 0) {
        return {0, error};
    }
    child_reaper::instance().add(child);
    const auto pid = static_cast<process_id>(child);
    // "Idle for input": its first window is on the desktop.
    const auto end = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < end && process_runs(pid) && !has_window(pid)) {
        std::this_thread::sleep_for(poll_step);
    }
    return {pid, 0};
}

bool process_runs(process_id pid) {
    if (pid == 0) {
        return false;
    }
    const std::string stat = read_proc("/proc/" + std::to_string(pid) + "/stat");
    const auto paren = stat.rfind(')');
    if (paren == std::string::npos || paren + 2 >= stat.size()) {
        return false;
    }
    const char state = stat[paren + 2];
    return state != 'Z' && state != 'X' && state != 'x';
}

bool terminate_process(process_id pid, std::chrono::milliseconds wait) {
    if (pid == 0 || static_cast<pid_t>(pid) <= 0) {
        return false;
    }
    if (::kill(static_cast<pid_t>(pid), SIGKILL) != 0 && errno != ESRCH) {
        return false;
    }
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        child_reaper::instance().reap_now();
        if (!process_runs(pid)) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(poll_step);
    }
}

} // namespace zs::platform
