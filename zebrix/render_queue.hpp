#pragma once
// The render jobs in order of arrival, each with its own numbered folder, and
// the thread that drops finished jobs nobody asked about for a while.
#include "core/lifecycle.hpp"
#include "platform/clock.hpp"
#include "protocol/job_queue.hpp"
#include "zebrix/render_settings.hpp"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zs::zebrix {

using protocol::add_failed;
using protocol::add_queue_full;
using protocol::add_share_full;
using protocol::job_outcome;
using protocol::job_status;

class render_queue final : public core::service_piece, public protocol::job_queue {
public:
    render_queue(std::string outputs_dir, std::function<bool()> debug_mode,
                 platform::clock_source& clock, render_queue_settings settings = {});
    ~render_queue() override;
    render_queue(const render_queue&) = delete;
    render_queue& operator=(const render_queue&) = delete;

    // start_queue: empties the outputs folder and starts the maintenance thread.
    bool start() override;
    // stop_queue: ends the thread, empties the outputs folder unless in debug
    // mode, drops every job.
    void stop() override;

    // add_queue_full when the waiting jobs would pass the settings' count or
    // text size, add_share_full when the client's would pass its share. The
    // text is kept once.
    std::int32_t add_job(std::string text, const std::string& client = {}) override;
    job_status job_state(std::int32_t id) override;
    int queue_position(std::int32_t id) override;
    job_outcome job_result(std::int32_t id, std::string& message, int& number) override;
    bool find_job_result(std::int32_t id, std::string& path) override;
    // The archive is "<folder>.zip".
    bool zip_job_folder(std::int32_t id, std::string& path, std::string* reason = nullptr) override;
    void remove_job(std::int32_t id) override;

    std::string job_folder(std::int32_t id) const; // "<outputs>/007/"
    bool debug_mode() const { return debug_mode_(); }

    // For the worker: the first waiting job (id -1 when none); its text is
    // handed over, the worker being its one reader.
    std::int32_t first_waiting(std::string& text);
    void mark_running(std::int32_t id);
    void mark_done(std::int32_t id);

    // One maintenance step: drops done jobs not asked about for the lifetime.
    void drop_expired();

private:
    struct job {
        std::int32_t id = 0;
        std::string text;
        job_status status = job_status::waiting;
        std::uint32_t time = 0;
        std::string client;      // the address that submitted it
        std::uint64_t order = 0; // of finishing, for done jobs
        std::uint64_t bytes = 0; // its folder on disk, once done
    };
    void bound_done_jobs(std::int32_t newest); // under the lock
    job* find(std::int32_t id);
    void release_text(job& j);
    std::int32_t choose_id() const;
    void delete_job_folder(std::int32_t id);
    void run_maintenance();

    const std::string outputs_;
    std::function<bool()> debug_mode_;
    platform::clock_source& clock_;
    const render_queue_settings settings_;

    std::mutex mutex_; // the jobs, their statuses and folders
    std::list<job> jobs_;
    std::int32_t hint_ = 0;
    std::size_t waiting_bytes_ = 0; // the texts jobs still hold
    std::uint64_t finished_ = 0;    // done jobs so far, numbering them

    std::mutex stop_mutex_;
    std::condition_variable stop_signal_;
    bool stop_requested_ = false;
    std::thread maintenance_;
};

// Id choice from the ids in list order and the hint (-1 = none).
std::int32_t choose_job_id(const std::vector<std::int32_t>& ids, std::int32_t hint);

} // namespace zs::zebrix
