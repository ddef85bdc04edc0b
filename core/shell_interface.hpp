#pragma once
// What the start-up order asks of the desktop shell (the Qt window with its
// tray icon, or the headless loop).
#include <functional>
#include <string>

namespace zs::core {

enum class message_icon { warning, error, information };

class shell_interface {
public:
    virtual ~shell_interface() = default;
    // Creates the window hidden; hook is the server command hook.
    virtual void create(std::function<int(int)> hook) = 0;
    virtual void set_ip_text(const std::string& text) = 0;
    virtual void refresh_running_state() = 0;
    virtual void show_message(const std::u16string& text, message_icon icon) = 0;
    virtual void close() = 0;  // ends run() with exit code 0
    virtual int run() = 0;     // the message loop, until close
    // Queues work to run on the shell's own (main) thread.
    virtual void post(std::function<void()> work) = 0;
};

} // namespace zs::core
