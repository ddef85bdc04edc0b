#pragma once
// The thread that feeds render jobs one at a time to the background renderer,
// ends jobs that never report, and shuts the renderer down when idle.
#include "core/lifecycle.hpp"
#include "platform/clock.hpp"
#include "zebrix/render_control.hpp"
#include "zebrix/render_queue.hpp"
#include "zebrix/render_settings.hpp"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace zs::core {
class config_store;
class path_layout;
} // namespace zs::core

namespace zs::zebrix {

inline constexpr const char* audio_job_key = "ZebMiniAudioFile=";

class render_worker final : public core::service_piece {
public:
    render_worker(render_queue& queue, const core::path_layout& layout,
                  const core::config_store& config, zebw3_control& control,
                  platform::clock_source& clock, std::function<std::int32_t()> main_window,
                  render_worker_settings settings = {});
    ~render_worker() override;
    render_worker(const render_worker&) = delete;
    render_worker& operator=(const render_worker&) = delete;

    // start_worker: no current job, the cycle thread runs.
    bool start() override;
    // stop_worker: ends the thread between cycles, removes the current job,
    // terminates zebw3.exe.
    void stop() override;

    // The renderer reported the end of its job.
    void finish_current_job();

    // Ends every renderer running on this desktop: one left by a server that
    // crashed would keep writing into the job folders of this one. Before
    // start, once the single instance is ours.
    void end_stale_renderer();

    // One cycle, as the thread runs it every cycle interval.
    void run_cycle();
    std::int32_t current_job();

private:
    void run();
    // Run with the worker mutex held; they let go of it while the renderer starts.
    void cycle(std::unique_lock<std::mutex>& lock);
    void start_job(std::int32_t id, const std::string& text, std::unique_lock<std::mutex>& lock);
    void copy_audio(std::int32_t id, const std::string& name);
    void render(std::int32_t id, const std::string& text, std::unique_lock<std::mutex>& lock);
    // Finds or starts the renderer and hands it the job; its process or 0.
    platform::process_id launch_and_notify();
    void fail_current_job();
    void renderer_gone();
    void log_failure(std::int32_t id, const std::string& message);

    render_queue& queue_;
    const core::path_layout& layout_;
    const core::config_store& config_;
    zebw3_control& control_;
    platform::clock_source& clock_;
    std::function<std::int32_t()> main_window_;
    const render_worker_settings settings_;

    std::mutex mutex_; // the worker mutex: taken before the queue's lock
    std::condition_variable wake_;
    bool stop_requested_ = false;
    std::thread thread_;
    std::int32_t current_ = -1;
    bool start_failed_ = false;   // every input write attempt failed
    std::error_code write_error_; // why the last one failed
    std::uint32_t job_start_ms_ = 0;
    std::uint32_t last_activity_ = 0;   // 0: nothing has happened yet
    platform::process_id renderer_ = 0; // the renderer of the current job
};

} // namespace zs::zebrix
