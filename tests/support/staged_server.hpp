#pragma once
// Runs a private copy of the stage of `make build`: its own folder, desktop
// and ports, so tests never meet each other or a server a user runs.
// With ZS_WINDOWS_STAGE naming the stage of `make build-win`, the same tests
// run the Windows server and programs under Wine instead (bin/wine-run, in
// the prefix ZEBRIX_WINEPREFIX names; one server at a time per prefix).
#include "platform/desktop.hpp"
#include "tests/support/temp_folder.hpp"

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zs::test {

// True when the tests run against the Windows stage under Wine.
bool windows_stage();

// A free port, below the ephemeral range and reserved for this test process
// (and away from every other one) until it ends.
std::uint16_t free_tcp_port();
std::uint16_t free_udp_port();

struct server_options {
    std::map<std::string, std::string> env; // extra environment for the server
    std::vector<std::string> args = {"--headless"};
    std::vector<std::string> prefix; // a program the server runs under (e.g. prlimit)
    // With wait_for_port, start() returns once the TCP port accepts and the
    // discovery port has answered a real request: the responder starts after
    // the TCP service, so an accepting port alone does not mean it listens.
    bool wait_for_port = true;
    bool wait_for_discovery = true;
    // How long a start may take on a loaded machine.
    std::chrono::milliseconds start_limit = std::chrono::seconds(60);
};

class staged_server {
public:
    staged_server();  // copies the stage; start() runs it
    ~staged_server(); // stops the server and ends the programs of its desktop
    staged_server(const staged_server&) = delete;
    staged_server& operator=(const staged_server&) = delete;

    // Starts ZebrixServer and waits for the services server_options names.
    bool start(const server_options& options = {});
    // SIGTERM (Windows: taskkill, that is WM_CLOSE), then waits (bounded);
    // the exit code, or -1 when it had to be killed. Then, on Linux, ends
    // every program still running on its desktop (the stand-ins outlive the
    // server by design).
    int stop(std::chrono::milliseconds limit = std::chrono::seconds(15));
    bool signal(int number);
    bool running();
    // Runs a second server from the same stage with the same desktop and
    // returns its exit code and standard error (bounded wait).
    int run_again(std::string& err, std::chrono::milliseconds limit = std::chrono::seconds(15));

    std::uint16_t tcp_port() const { return tcp_port_; }
    std::uint16_t udp_port() const { return udp_port_; }
    const std::string& root() const { return folder_.path(); } // the copied stage
    // The Zebrix folder is named as an install folder may be: a space and a
    // letter of the ANSI code page in it, and under Wine also one outside it.
    std::string zebrix_dir() const { return root() + zebrix_folder_name() + "/"; }
    std::string helper_dir() const { return zebrix_dir() + "ZebHelper/"; }
    static std::string zebrix_folder_name();
    std::string orvanta_dir() const { return root() + "Orvanta/"; }
    std::string bin_dir() const { return root() + "bin/"; }
    // The Orvanta folder as the server hands it out: under Wine its Z: path,
    // in lower case as the programs know it there.
    std::string served_orvanta_dir() const;
    const std::string& desktop() const { return desktop_; }
    std::string server_path() const {
        return helper_dir() + (windows_stage() ? "ZebrixServer.exe" : "ZebrixServer");
    }
    // A program of the stage as the tests run it (itself, or through
    // wine-run), with arguments.
    std::vector<std::string> command(const std::string& program,
                                     std::vector<std::string> args = {}) const;
    // The Linux client (of the Linux stage when the server is the Windows one).
    std::string client_path() const;
    // zebrix-desktop of the stage, with arguments.
    std::vector<std::string> desktop_tool(std::vector<std::string> args) const;
    std::string stderr_text() const;
    // The top-level windows the server's programs see (on Windows without the
    // system's own "IME" windows), and the end of one of those programs.
    std::vector<platform::window_info> windows() const;
    // Starts a program of the stage in `folder` with the server's environment
    // and waits (bounded) until its window is listed; the process id the
    // desktop lists for it, or 0. It ends with the stage at the latest.
    int start_program(const std::string& folder, const std::string& exe,
                      std::vector<std::string> args = {});
    bool end_program(int pid) const; // true once it has ended
    // The environment the server runs with (desktop, ports); for tools.
    std::vector<std::string> environment() const;
    pid_t pid() const { return pid_; }

private:
    bool wait_for_main_window(std::chrono::milliseconds limit);

    temp_folder folder_;
    std::string desktop_;
    std::uint16_t tcp_port_ = 0;
    std::uint16_t udp_port_ = 0;
    std::map<std::string, std::string> extra_env_;
    pid_t pid_ = -1;
    std::vector<pid_t> programs_; // started by start_program
};

// The processes whose environment names `desktop` as ZEBRIX_DESKTOP.
std::vector<pid_t> desktop_processes(const std::string& desktop);
// Kills them and waits until they are gone (bounded); true when none is left.
bool end_desktop_processes(const std::string& desktop);

// Ends every program with a window on the server's desktop: the stand-ins
// outlive the server by design.
void end_programs(const staged_server& server);

// Waits until a server holds the desktop's single-instance lock.
bool wait_for_instance_lock(const std::string& desktop, std::chrono::milliseconds limit);

// Waits until a TCP connect to 127.0.0.1:port succeeds, at most limit.
bool wait_for_tcp(std::uint16_t port, std::chrono::milliseconds limit);

// Waits until the discovery responder on 127.0.0.1:port answers a request,
// sending it again every 250 ms (a datagram sent before the responder
// listens is lost), at most limit.
bool wait_for_discovery(std::uint16_t port, std::chrono::milliseconds limit);

// Runs a program with arguments and environment additions; captures
// standard output and error; bounded wait. Returns the exit code (-1 killed).
int run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                std::string& out, std::string& err,
                std::chrono::milliseconds limit = std::chrono::seconds(60));

} // namespace zs::test
