#pragma once
// One render-job request on a connection of its own (protocol 0), as the
// render subcommand sends it, and the words of its answer.
#include "client/commands.hpp"
#include "protocol/proto0_records.hpp"

#include <chrono>
#include <cstdint>
#include <string>

namespace zs::client {

inline constexpr std::int32_t job_submit = protocol::JOB_SUBMIT;
inline constexpr std::int32_t job_fetch_result = protocol::JOB_FETCH_RESULT;
inline constexpr std::int32_t job_status = protocol::JOB_STATUS;
inline constexpr std::int32_t job_fetch_archive = protocol::JOB_FETCH_ARCHIVE;

// Answer statuses.
inline constexpr std::int32_t job_error = -1;
inline constexpr std::int32_t job_done = 0;
inline constexpr std::int32_t job_rendering = 1; // or first in line
inline constexpr std::int32_t job_waiting = 2;

inline constexpr auto poll_interval = std::chrono::milliseconds(500);

struct job_reply {
    std::int32_t status = -2; // -2: no answer came
    std::int32_t id = -1;
    std::int32_t extra = 0;
    std::string body;
};

// Sends one request and reads its answer. False with `error` when the
// server could not be reached or refused the password (both naming its
// address), or answered with an error (status job_error, error = its text).
bool exchange(const common_options& o, std::int32_t type, std::int32_t id, const std::string& body,
              job_reply& reply, std::string& error);

// "waiting, position P", "rendering" or "done".
std::string state_text(const job_reply& r);

// A job id: a whole number from 0 to 2147483647.
bool parse_job_id(const std::string& text, std::int32_t& id);

// -o or --output, the render option that takes a value (where the result goes).
bool render_output_option(const std::string& arg);

} // namespace zs::client
