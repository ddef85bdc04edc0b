#include "zebrix/render_worker.hpp"

#include "core/config_store.hpp"
#include "core/path_layout.hpp"
#include "core/server_log.hpp"
#include "core/text.hpp"
#include "platform/codepage.hpp"
#include "platform/files.hpp"
#include "zebrix/render_files.hpp"

#include <cstdio>
#include <optional>
#include <system_error>

namespace zs::zebrix {

namespace {
constexpr const char* copy_failed = "Unable to download audio file";
constexpr const char* render_failed = "Error occurred";
constexpr const char* renderer_lost = "Error occurred on server";
constexpr const char* folder_unnamed =
    "Error occurred on server: the job folder's path cannot be written in the machine's code "
    "page";
constexpr int render_failed_code = -100;
constexpr int max_stale_renderers = 16; // each ended one by one
} // namespace

render_worker::render_worker(render_queue& queue, const core::path_layout& layout,
                             const core::config_store& config, zebw3_control& control,
                             platform::clock_source& clock,
                             std::function<std::int32_t()> main_window,
                             render_worker_settings settings)
    : queue_(queue), layout_(layout), config_(config), control_(control), clock_(clock),
      main_window_(std::move(main_window)), settings_(settings) {}

render_worker::~render_worker() {
    if (thread_.joinable()) {
        stop();
    }
}

bool render_worker::start() {
    if (thread_.joinable()) {
        return true;
    }
    {
        std::lock_guard lock(mutex_);
        stop_requested_ = false;
        current_ = -1;
    }
    control_.cancel_sends(false);
    thread_ = std::thread([this] { run(); });
    return true;
}

void render_worker::stop() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stop_requested_ = true;
        }
        control_.cancel_sends(true); // a render message to a hung renderer ends now
        wake_.notify_all();
        thread_.join();
    }
    {
        std::lock_guard lock(mutex_);
        if (current_ != -1) {
            queue_.remove_job(current_);
            current_ = -1;
        }
    }
    control_.terminate(settings_.terminate_wait);
}

void render_worker::run() {
    std::unique_lock lock(mutex_);
    while (!stop_requested_) {
        cycle(lock);
        wake_.wait_for(lock, settings_.cycle, [this] { return stop_requested_; });
    }
}

void render_worker::run_cycle() {
    std::unique_lock lock(mutex_);
    cycle(lock);
}

std::int32_t render_worker::current_job() {
    std::lock_guard lock(mutex_);
    return current_;
}

void render_worker::finish_current_job() {
    std::lock_guard lock(mutex_);
    if (current_ != -1) {
        std::string message;
        int number = 0;
        if (read_job_status(queue_.job_folder(current_), message, number) == job_outcome::failed) {
            log_failure(current_, platform::ansi_to_utf8(message));
        }
        queue_.mark_done(current_);
        current_ = -1;
    }
    last_activity_ = clock_.now_ms();
}

void render_worker::end_stale_renderer() {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < max_stale_renderers; ++i) {
        const platform::process_id pid = control_.find_running();
        if (pid == 0) {
            return;
        }
        core::server_log::line("Ending zebw3.exe (process " + std::to_string(pid) +
                               ") left running by an earlier server");
        control_.terminate(settings_.terminate_wait);
    }
}

void render_worker::log_failure(std::int32_t id, const std::string& message) {
    core::server_log::line("Render job " + std::to_string(id) + " failed: " + message);
}

void render_worker::cycle(std::unique_lock<std::mutex>& lock) {
    if (current_ == -1) {
        std::string text;
        const std::int32_t id = queue_.first_waiting(text);
        if (id != -1) {
            start_job(id, text, lock);
        }
    }
    if (current_ != -1) {
        const std::uint32_t elapsed_s = (clock_.now_ms() - job_start_ms_) / 1000;
        if (start_failed_) {
            fail_current_job();
        } else if (elapsed_s > settings_.job_limit_s) {
            control_.terminate(settings_.terminate_wait);
            fail_current_job();
        } else if (!control_.still_runs(renderer_)) {
            renderer_gone();
        }
    }
    const auto idle_limit =
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(config_.idle_minutes())) *
        settings_.ms_per_idle_minute;
    // Only an idle renderer: a job in progress is ended by its time limit alone.
    if (current_ == -1 && last_activity_ != 0 &&
        static_cast<std::uint32_t>(clock_.now_ms() - last_activity_) > idle_limit) {
        control_.terminate(settings_.terminate_wait);
    }
}

void render_worker::start_job(std::int32_t id, const std::string& text,
                              std::unique_lock<std::mutex>& lock) {
    const std::size_t key_size = std::char_traits<char>::length(audio_job_key);
    if (text.size() >= key_size + 2 && text.compare(0, key_size, audio_job_key) == 0) {
        std::string name = text.substr(key_size);
        name = name.substr(0, name.find('\0'));
        copy_audio(id, name);
        return;
    }
    render(id, text, lock);
}

void render_worker::copy_audio(std::int32_t id, const std::string& name) {
    const std::string folder = queue_.job_folder(id);
    queue_.mark_running(id);
    std::error_code ec;
    // The job text, the name in it too, is in the machine's code page.
    const std::string file = platform::ansi_to_utf8(name);
    if (!core::is_plain_name(file, core::name_controls::all_refused)) {
        ec = std::make_error_code(std::errc::invalid_argument);
    } else {
        platform::copy_file(layout_.in_zebmini(file), folder + "audio.mp4", &ec);
    }
    if (ec) {
        write_job_status(folder, copy_failed, ec.value());
        log_failure(id, std::string(copy_failed) + " (" + ec.message() + ")");
    } else {
        write_job_status(folder, "", 0);
    }
    queue_.mark_done(id);
    current_ = -1;
}

void render_worker::render(std::int32_t id, const std::string& text,
                           std::unique_lock<std::mutex>& lock) {
    current_ = id;
    const std::string folder = queue_.job_folder(id);
    // The renderer reads its input in the machine's code page: a folder that
    // cannot be named there would send its results nowhere.
    const std::optional<std::string> handed = platform::path_for_program(folder);
    if (!handed) {
        write_job_status(folder, folder_unnamed, render_failed_code);
        log_failure(id, "its folder " + folder +
                            " has no name in the machine's code page (no short name either)");
        queue_.mark_done(id);
        current_ = -1;
        return;
    }
    bool written = false;
    for (int attempt = 0; attempt < settings_.write_attempts && !written; ++attempt) {
        written =
            write_render_input(layout_, config_, main_window_(), *handed, text, &write_error_);
        if (!written) {
            control_.terminate(settings_.terminate_wait);
        }
    }
    if (!written) {
        start_failed_ = true;
        return;
    }
    start_failed_ = false;
    if (queue_.debug_mode() && !platform::file_exists(folder + "zebInput.txt")) {
        platform::copy_file(layout_.zebrix_input_path(), folder + "zebInput.txt");
    }
    queue_.mark_running(id);
    renderer_ = 0;
    last_activity_ = clock_.now_ms();
    job_start_ms_ = last_activity_;
    // Starting the renderer waits for it (up to the start wait) and for its
    // answer: the lock stays free meanwhile, so the done message and Stop,
    // which the GUI thread handles, never wait for it.
    lock.unlock();
    const platform::process_id pid = launch_and_notify();
    lock.lock();
    if (current_ == id) {
        renderer_ = pid;
    }
}

platform::process_id render_worker::launch_and_notify() {
    platform::process_id pid = control_.find_running();
    if (pid == 0) {
        const platform::start_result started =
            control_.start(layout_.zebw3_path(), layout_.zebrix_dir(), settings_.start_wait);
        if (started.pid == 0) {
            std::printf("CreateProcess failed (%d).\n", started.error);
            std::fflush(stdout);
            return 0;
        }
        pid = started.pid;
    }
    if (const platform::window_handle window = control_.find_window(pid); window != 0) {
        control_.send_render(window);
    }
    return pid;
}

void render_worker::fail_current_job() {
    write_job_status(queue_.job_folder(current_), render_failed, render_failed_code);
    log_failure(current_, start_failed_ ? "the renderer's input could not be written (" +
                                              write_error_.message() + ")"
                                        : "no report within the time limit");
    queue_.mark_done(current_);
    current_ = -1;
    start_failed_ = false;
    last_activity_ = clock_.now_ms();
}

// The renderer has gone while its job renders. It may have finished and gone
// before its report arrived: a status file it wrote stands.
void render_worker::renderer_gone() {
    const std::string folder = queue_.job_folder(current_);
    std::string message;
    int number = 0;
    if (!platform::can_open_for_read(folder + ZEBW3_STATUS_FILE)) {
        write_job_status(folder, renderer_lost, render_failed_code);
        log_failure(current_, "zebw3.exe ended while rendering it");
    } else if (read_job_status(folder, message, number) == job_outcome::failed) {
        log_failure(current_, platform::ansi_to_utf8(message));
    }
    queue_.mark_done(current_);
    current_ = -1;
    renderer_ = 0;
    last_activity_ = clock_.now_ms();
}

} // namespace zs::zebrix
