#pragma once
// What the render-job session needs of the queue of render jobs; the
// renderer's queue implements it.
#include <cstdint>
#include <string>

namespace zs::protocol {

enum class job_status : int { unknown = -1, waiting = 0, running = 1, done = 2 };

// What a done job's status file reports.
enum class job_outcome : int { succeeded = 0, failed = 1, succeeded_with_number = 2 };

// add_job's answers other than an id.
inline constexpr std::int32_t add_failed = -1;     // the job's folder cannot be made
inline constexpr std::int32_t add_queue_full = -2; // the waiting jobs reach a bound
inline constexpr std::int32_t add_share_full = -3; // the client's waiting jobs reach its share

class job_queue {
public:
    virtual ~job_queue() = default;
    // The new job's id, add_failed, add_queue_full or add_share_full;
    // `client` is the address its share is counted by.
    virtual std::int32_t add_job(std::string text, const std::string& client) = 0;
    // The status, or unknown; reading done renews the job's time.
    virtual job_status job_state(std::int32_t id) = 0;
    // Waiting jobs ahead plus one for a waiting job; 0 for running or done; -1 unknown.
    virtual int queue_position(std::int32_t id) = 0;
    // The job's outcome: failed with `message`, or succeeded (with the
    // style's time-signature `number`).
    virtual job_outcome job_result(std::int32_t id, std::string& message, int& number) = 0;
    // The first result file of the job that can be read.
    virtual bool find_job_result(std::int32_t id, std::string& path) = 0;
    // Packs the job folder into an archive beside it; on a failure `path`
    // names what is left of the archive and `reason` (when given) says why.
    virtual bool zip_job_folder(std::int32_t id, std::string& path,
                                std::string* reason = nullptr) = 0;
    virtual void remove_job(std::int32_t id) = 0;
};

} // namespace zs::protocol
