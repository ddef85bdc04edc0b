#pragma once
// The process's order of start-up and shutdown, the running flag and the
// server command hook through which the window starts and stops the service.
#include "core/shell_interface.hpp"

#include <functional>
#include <string>
#include <vector>

namespace zs::core {

// One piece the order starts and stops (render queue, render worker, TCP
// service, discovery responder).
class service_piece {
public:
    virtual ~service_piece() = default;
    virtual bool start() = 0;
    virtual void stop() = 0;
    // Why the last start failed, in words an operator can act on
    // ("TCP port 6789 is in use"); empty when it did not fail or cannot say.
    virtual std::string failure() const { return {}; }
};

struct lifecycle_pieces {
    service_piece* render_queue = nullptr;  // started once the instance is ours
    service_piece* render_worker = nullptr; // the service: worker, TCP, discovery
    service_piece* tcp = nullptr;
    service_piece* discovery = nullptr;
    // The program workers: started with the service; stopped first, so every
    // wait on a program ends before the connections close.
    std::vector<service_piece*> programs;
    std::function<void()> finish_current_job; // hook code 1
    // Ends a renderer left by an earlier server of this desktop; runs once the
    // instance is ours and before the render queue empties its folders.
    std::function<void()> end_stale_renderer;
    // For the operator log: "TCP port n, UDP port m", and what else a start
    // line tells (version, folders, whether anyone may connect).
    std::function<std::string()> ports_text = [] { return std::string("no ports"); };
    std::function<std::string()> start_details = [] { return std::string(); };
    std::function<std::string()> server_address = [] { return std::string("127.0.0.1"); };
    // What the start-up check found (one line each; empty: nothing) and its
    // short form for the status text; told once the instance is ours.
    std::vector<std::string> startup_report;
    std::string startup_status;
    // True on the first start after setup (and forgets it): the window shows once.
    std::function<bool()> first_start;
};

class server_lifecycle {
public:
    server_lifecycle(lifecycle_pieces pieces, shell_interface& shell);

    // Runs after the configuration is loaded: the instance check, the render
    // queue, the shell, the service, the message loop, then shutdown.
    // acquire_instance is the single-instance check.
    int run(const std::function<bool()>& acquire_instance);

    int server_command_hook(hook_code code);
    bool running() const { return running_; }
    const std::string& server_ip_text() const { return ip_text_; }

    bool start_service();
    void stop_service();

private:
    void report_failed_start();
    void report_startup_check();

    lifecycle_pieces pieces_;
    shell_interface& shell_;
    bool running_ = false;
    std::string ip_text_;
    std::string failure_; // of the last failed start
};

} // namespace zs::core
