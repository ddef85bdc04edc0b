#pragma once
// What the start-up order asks of the desktop shell (the Qt window with its
// tray icon, or the headless loop).
#include <functional>
#include <string>

namespace zs::core {

enum class message_icon { warning, error, information };

// The codes of the server command hook.
enum class hook_code : int {
    toggle = 0,          // start the service if it is stopped, else stop it
    job_done = 1,        // the background renderer reports a finished job
    query = 2,           // 1 while the service runs
    refresh_address = 3, // recompute the address line, before the window shows
};
using command_hook = std::function<int(hook_code)>;

class shell_interface {
public:
    virtual ~shell_interface() = default;
    // Creates the window hidden; hook is the server command hook.
    virtual void create(command_hook hook) = 0;
    virtual void set_ip_text(const std::string& text) = 0;
    virtual void refresh_running_state() = 0;
    virtual void show_message(const std::u16string& text, message_icon icon) = 0;
    // A start-up problem, kept in the status text; a shell without a window
    // has the log line only.
    virtual void set_problem_text(const std::string& /*text*/) {}
    // Shows the main window once, as after setup, instead of the tray alone.
    virtual void show_window() {}
    virtual void close() = 0; // ends run() with exit code 0
    virtual int run() = 0;    // the message loop, until close
    // Queues work to run on the shell's own (main) thread.
    virtual void post(std::function<void()> work) = 0;
};

} // namespace zs::core
