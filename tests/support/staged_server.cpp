#include "tests/support/staged_server.hpp"

#include "client/discovery_client.hpp"
#include "platform/desktop.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zs::test {

namespace {

// Whether nothing holds the port for this socket type on any address.
bool port_is_free(int type, std::uint16_t port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return free;
}

// A port for one test process. The kernel hands out a port it just gave
// someone else after a handful of binds, and any client connection may take
// an ephemeral port before the server binds it; two servers on one port make
// a test talk to the wrong server. So ports come from below the ephemeral
// range, and a lock file held until the process ends keeps every other test
// process (of any worktree) off the same port.
std::uint16_t reserve_port(int type) {
    static std::mutex mutex;
    static std::vector<int> held; // lock descriptors, released at exit
    const std::string folder = "/tmp/zs-test-ports/";
    if (::mkdir(folder.c_str(), 0777) == 0) {
        ::chmod(folder.c_str(), 01777); // shared by every user's tests
    }
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pick(20000, 31999);
    std::lock_guard lock(mutex);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const auto port = static_cast<std::uint16_t>(pick(random));
        const std::string path = folder + std::to_string(port);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && port_is_free(type, port)) {
            held.push_back(fd);
            return port;
        }
        ::close(fd);
    }
    throw std::runtime_error("no free port to reserve");
}

void copy_tree(const std::string& from, const std::string& to) {
    std::string out;
    std::string err;
    if (run_program({"/bin/cp", "-a", from + ".", to}, {}, out, err) != 0) {
        throw std::runtime_error("cannot copy the stage: " + err);
    }
}

// Waits for a child at most limit; true when it ended (status set).
bool wait_child(pid_t pid, std::chrono::milliseconds limit, int& status) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            return true;
        }
        if (r < 0 && errno != EINTR) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env_add,
            const std::string& out_path, const std::string& err_path,
            const std::string& folder = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    for (const auto& add : env_add) {
        const std::string key = add.substr(0, add.find('=') + 1);
        std::erase_if(env, [&](const std::string& s) { return s.rfind(key, 0) == 0; });
        env.push_back(add);
    }
    std::vector<char*> cargv;
    for (const auto& a : argv) {
        cargv.push_back(const_cast<char*>(a.c_str()));
    }
    cargv.push_back(nullptr);
    std::vector<char*> cenv;
    for (const auto& e : env) {
        cenv.push_back(const_cast<char*>(e.c_str()));
    }
    cenv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        int o = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(o, 1);
        ::dup2(e, 2);
        if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
            ::_exit(127);
        }
        ::execve(cargv[0], cargv.data(), cenv.data());
        ::_exit(127);
    }
    return pid;
}

std::string slurp(const std::string& path) {
    std::string text;
    platform::read_file(path, text);
    return text;
}

} // namespace

std::vector<pid_t> desktop_processes(const std::string& desktop) {
    std::vector<pid_t> found;
    const std::string wanted = "ZEBRIX_DESKTOP=" + desktop;
    std::vector<platform::folder_entry> entries;
    platform::list_folder("/proc/", entries);
    for (const auto& e : entries) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e.name.c_str()));
        if (pid <= 0 || pid == ::getpid()) {
            continue;
        }
        std::string environment;
        if (!platform::read_file("/proc/" + e.name + "/environ", environment)) {
            continue;
        }
        std::size_t at = 0;
        while (at < environment.size()) {
            const std::size_t end = std::min(environment.find('\0', at), environment.size());
            if (environment.compare(at, end - at, wanted) == 0) {
                found.push_back(pid);
                break;
            }
            at = end + 1;
        }
    }
    return found;
}

bool end_desktop_processes(const std::string& desktop) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const std::vector<pid_t> left = desktop_processes(desktop);
        // A zombie has no environment left to read, so it is not listed.
        if (left.empty()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        for (const pid_t pid : left) {
            ::kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::uint16_t free_tcp_port() {
    return reserve_port(SOCK_STREAM);
}
std::uint16_t free_udp_port() {
    return reserve_port(SOCK_DGRAM);
}

bool windows_stage() {
    const char* stage = std::getenv("ZS_WINDOWS_STAGE");
    return stage != nullptr && *stage != '\0';
}

bool wait_for_instance_lock(const std::string& desktop, std::chrono::milliseconds limit) {
    const std::string path = desktop + "ZebServerInstance.lock";
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int fd = ::open(path.c_str(), O_RDONLY);
        if (fd >= 0) {
            const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            ::close(fd);
            if (held) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool wait_for_tcp(std::uint16_t port, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (ok) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool wait_for_discovery(std::uint16_t port, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (!client::discover("127.0.0.1", port, std::chrono::milliseconds(250)).empty()) {
            return true;
        }
    }
    return false;
}

int run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                std::string& out, std::string& err, std::chrono::milliseconds limit) {
    temp_folder io("zs-run");
    pid_t pid = spawn(argv, env, io / "out", io / "err");
    int status = 0;
    int code = -1;
    if (!wait_child(pid, limit, status)) {
        ::kill(pid, SIGKILL);
        wait_child(pid, std::chrono::seconds(5), status);
    } else if (WIFEXITED(status)) {
        code = WEXITSTATUS(status);
    }
    out = slurp(io / "out");
    err = slurp(io / "err");
    return code;
}

staged_server::staged_server() : folder_("zs-stage") {
    // Benchmarks run against the stage of their own (release) build.
    const char* bench_stage = std::getenv("ZS_BENCH_STAGE");
    const char* windows = std::getenv("ZS_WINDOWS_STAGE");
    copy_tree(windows_stage()                                  ? std::string(windows) + "/"
              : bench_stage != nullptr && *bench_stage != '\0' ? std::string(bench_stage) + "/"
                                                               : std::string(ZS_STAGE_DIR "/"),
              folder_.path());
    if (::rename((folder_.path() + "Zebrix").c_str(), zebrix_dir().c_str()) != 0) {
        throw std::runtime_error("cannot rename the stage's Zebrix folder");
    }
    desktop_ = folder_.path() + "desktop/";
    platform::make_folders(desktop_);
    tcp_port_ = free_tcp_port();
    udp_port_ = free_udp_port();
    std::string orvanta = orvanta_dir() + "orvanta.exe";
    if (windows_stage()) {
        std::replace(orvanta.begin(), orvanta.end(), '/', '\\');
        orvanta = "Z:" + orvanta;
    }
    platform::write_file(helper_dir() + "OrvantaPath.txt", "OrvantaPath=" + orvanta + "\r\n");
}

std::string staged_server::zebrix_folder_name() {
    // "Zébrix Studio"; under Wine "Zébrix Ω Studio", which the server must hand
    // to the programs by its short name.
    return windows_stage() ? "Z\xC3\xA9"
                             "brix \xCE\xA9 Studio"
                           : "Z\xC3\xA9"
                             "brix Studio";
}

bool staged_server::wait_for_main_window(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    auto find = command(bin_dir() + "zebrix-desktop.exe");
    find.insert(find.end(), {"find", "--class", "maindlg"});
    while (std::chrono::steady_clock::now() < end && running()) {
        std::string out;
        std::string err;
        if (run_program(find, environment(), out, err) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::vector<std::string> staged_server::command(const std::string& program,
                                                std::vector<std::string> args) const {
    std::vector<std::string> argv;
    if (windows_stage()) {
        argv.push_back(bin_dir() + "wine-run");
    }
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::string staged_server::served_orvanta_dir() const {
    if (!windows_stage()) {
        return orvanta_dir();
    }
    std::string served = "z:" + orvanta_dir();
    for (char& c : served) {
        c = c == '/' ? '\\' : c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return served;
}

std::string staged_server::client_path() const {
    return windows_stage() ? std::string(ZS_STAGE_DIR "/bin/zebrix-client")
                           : bin_dir() + "zebrix-client";
}

std::vector<std::string> staged_server::desktop_tool(std::vector<std::string> args) const {
    return command(bin_dir() + (windows_stage() ? "zebrix-desktop.exe" : "zebrix-desktop"),
                   std::move(args));
}

staged_server::~staged_server() {
    if (pid_ > 0) {
        stop(std::chrono::seconds(5));
    } else if (!windows_stage()) {
        end_desktop_processes(desktop_);
    }
    for (const pid_t program : programs_) {
        ::kill(program, SIGKILL);
        int status = 0;
        wait_child(program, std::chrono::seconds(5), status);
    }
    if (windows_stage()) {
        // The prefix is the machine: nothing of this test may meet the next one.
        std::string out;
        std::string err;
        run_program(
            {"/bin/sh", "-c",
             "WINEPREFIX=\"${ZEBRIX_WINEPREFIX:-$HOME/.cache/zebrix/wineprefix}\" wineserver -k"},
            {}, out, err, std::chrono::seconds(30));
    }
}

std::vector<platform::window_info> staged_server::windows() const {
    if (!windows_stage()) {
        return platform::enumerate_windows(desktop_);
    }
    std::vector<platform::window_info> out;
    std::string text;
    std::string err;
    auto list = command(bin_dir() + "zebrix-desktop.exe");
    list.push_back("list");
    run_program(list, environment(), text, err);
    std::erase(text, '\r'); // the Windows C runtime writes its text mode
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        platform::window_info w;
        if (!(fields >> w.handle >> w.pid >> w.class_name)) {
            continue;
        }
        std::getline(fields >> std::ws, w.title);
        if (w.class_name != "IME") {
            out.push_back(std::move(w));
        }
    }
    return out;
}

void end_programs(const staged_server& server) {
    for (const auto& w : server.windows()) {
        server.end_program(w.pid);
    }
}

int staged_server::start_program(const std::string& folder, const std::string& exe,
                                 std::vector<std::string> args) {
    const auto before = windows();
    const pid_t child = spawn(command(folder + exe, std::move(args)), environment(), "/dev/null",
                              "/dev/null", folder);
    if (child <= 0) {
        return 0;
    }
    programs_.push_back(child);
    // Under Wine the listed id is the Windows one: the program is the window
    // that was not there before.
    const auto is_new = [&](const platform::window_info& w) {
        if (!windows_stage()) {
            return w.pid == child;
        }
        return std::none_of(before.begin(), before.end(),
                            [&w](const platform::window_info& b) { return b.handle == w.handle; });
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
        for (const auto& w : windows()) {
            if (is_new(w)) {
                return w.pid;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

bool staged_server::end_program(int pid) const {
    if (!windows_stage()) {
        return platform::terminate_process(static_cast<platform::process_id>(pid),
                                           std::chrono::seconds(5));
    }
    std::string out;
    std::string err;
    auto kill = command("taskkill");
    kill.insert(kill.end(), {"/F", "/PID", std::to_string(pid)});
    return run_program(kill, environment(), out, err) == 0;
}

std::vector<std::string> staged_server::environment() const {
    std::vector<std::string> env = {
        "ZEBRIX_DESKTOP=" + desktop_,
        "ZEBRIX_TCP_PORT=" + std::to_string(tcp_port_),
        "ZEBRIX_UDP_PORT=" + std::to_string(udp_port_),
    };
    for (const auto& [k, v] : extra_env_) {
        env.push_back(k + "=" + v);
    }
    return env;
}

bool staged_server::start(const server_options& options) {
    extra_env_ = options.env;
    std::vector<std::string> argv = options.prefix;
    const auto server = command(server_path());
    argv.insert(argv.end(), server.begin(), server.end());
    argv.insert(argv.end(), options.args.begin(), options.args.end());
    pid_ = spawn(argv, environment(), root() + "server.out", root() + "server.err");
    if (pid_ <= 0) {
        return false;
    }
    // One bound for the whole start: a slow lock leaves less for the ports.
    const auto end = std::chrono::steady_clock::now() + options.start_limit;
    const auto left = [end] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
    };
    // The Windows server's guard is a named mutex: its window, made once the
    // guard is held, tells it is up.
    const bool up =
        windows_stage() ? wait_for_main_window(left()) : wait_for_instance_lock(desktop_, left());
    if (!up) {
        return false;
    }
    if (!options.wait_for_port) {
        return true;
    }
    return wait_for_tcp(tcp_port_, left()) &&
           (!options.wait_for_discovery || wait_for_discovery(udp_port_, left()));
}

bool staged_server::signal(int number) {
    return pid_ > 0 && ::kill(pid_, number) == 0;
}

bool staged_server::running() {
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int staged_server::stop(std::chrono::milliseconds limit) {
    if (pid_ <= 0) {
        if (!windows_stage()) {
            end_desktop_processes(desktop_);
        }
        return -1;
    }
    if (windows_stage()) {
        // taskkill without /F: WM_CLOSE to the server's window, the normal shutdown.
        std::string out;
        std::string err;
        run_program({bin_dir() + "wine-run", "taskkill", "/IM", "ZebrixServer.exe"}, environment(),
                    out, err, limit);
    } else {
        ::kill(pid_, SIGTERM);
    }
    int status = 0;
    int code = -1;
    if (!wait_child(pid_, limit, status)) {
        ::kill(pid_, SIGKILL);
        wait_child(pid_, std::chrono::seconds(5), status);
    } else if (WIFEXITED(status)) {
        code = WEXITSTATUS(status);
    }
    pid_ = -1;
    // Under Wine the prefix is the desktop; its wineserver ends its programs.
    if (!windows_stage()) {
        end_desktop_processes(desktop_);
    }
    return code;
}

int staged_server::run_again(std::string& err, std::chrono::milliseconds limit) {
    std::string out;
    auto argv = command(server_path());
    argv.push_back("--headless");
    return run_program(argv, environment(), out, err, limit);
}

std::string staged_server::stderr_text() const {
    return slurp(root() + "server.err");
}

} // namespace zs::test
