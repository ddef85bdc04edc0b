#pragma once
// Every time constant of the render queue and worker, in one place, so that
// tests can shorten them.
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace zs::zebrix {

struct render_queue_settings {
    std::chrono::milliseconds maintenance_interval{500};
    std::uint32_t done_job_lifetime_ms = 60000; // since the last state query
    // Bounds on what waits: a further submission is refused.
    std::size_t max_waiting_jobs = 1000;
    std::size_t max_waiting_bytes = std::size_t{256} * 1024 * 1024; // of job texts
    // One client address's share of the waiting places, so that one client
    // cannot lock the others out.
    std::size_t max_waiting_per_client = 100;
    // Finished jobs kept for fetching, and their folders' size on disk;
    // beyond either the oldest finished job goes.
    std::size_t max_done_jobs = 200;
    std::uint64_t max_done_bytes = std::uint64_t{1024} * 1024 * 1024;
};

struct render_worker_settings {
    std::chrono::milliseconds cycle{500};
    std::uint32_t job_limit_s = 300;                // a render that never reports
    std::chrono::milliseconds start_wait{10000};    // until zebw3.exe shows its window
    std::chrono::milliseconds terminate_wait{5000}; // until zebw3.exe is gone
    std::uint32_t ms_per_idle_minute = 60000;
    int write_attempts = 3;
};

} // namespace zs::zebrix
