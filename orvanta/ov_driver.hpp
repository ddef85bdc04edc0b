#pragma once
// `OV`: the server's one link to the Orvanta program. It finds or starts
// orvanta.exe, identifies its main window, registers the server's window with
// it and carries commands to it as window messages.
#include "orvanta/ov_desktop.hpp"
#include "orvanta/ov_settings.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zs::orvanta {

class OV {
public:
    // folder gives the Orvanta folder anew at each use (it follows the setting);
    // main_window gives the server's window that receives notifications.
    OV(ov_desktop& desktop, std::function<std::string()> folder,
       std::function<platform::window_handle()> main_window, ov_timing timing = {});
    ~OV(); // ends every wait and joins the background threads
    OV(const OV&) = delete;
    OV& operator=(const OV&) = delete;

    void ensure_running();
    // -1 when the program is unreachable, else the program's reply.
    std::int32_t send_command(std::int32_t first, std::int32_t code, std::int32_t second);
    // -1 unreachable, 0 posting failed, 1 posted.
    std::int32_t post_command(std::int32_t first, std::int32_t code, std::int32_t second);
    // One ensure_running on a thread of its own, not waited for.
    void start_background();
    // Withdraws the server's window from the program and forgets the link;
    // the program keeps running.
    void unlink();

    // Waits, unless the driver is stopped; false then.
    bool pause(std::chrono::milliseconds time);
    // Ends every pending wait and send at once; later ones return at once
    // until resume().
    void stop();
    void resume();
    bool stopping(); // loops over a client's input end early

    std::string folder() const { return folder_(); }
    const ov_timing& timing() const { return timing_; }
    platform::process_id process() const;
    platform::window_handle window() const;

private:
    void ensure_running_locked();
    platform::process_id start_program();
    platform::window_handle find_window(platform::process_id pid);
    bool reachable_locked();

    ov_desktop& desktop_;
    std::function<std::string()> folder_;
    std::function<platform::window_handle()> main_window_;
    ov_timing timing_;

    mutable std::mutex mutex_; // the driver lock
    platform::process_id pid_ = 0;
    platform::window_handle window_ = 0;

    std::mutex stop_mutex_;
    std::condition_variable stop_cv_;
    bool stopping_ = false;

    struct background {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex background_mutex_;
    std::list<background> background_;
};

} // namespace zs::orvanta
