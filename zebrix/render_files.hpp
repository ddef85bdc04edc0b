#pragma once
// The files of a render job: the input handed to the background renderer and
// the status file in the job's folder.
#include "protocol/job_queue.hpp"

#include <cstdint>
#include <string>
#include <system_error>

namespace zs::core {
class config_store;
class path_layout;
} // namespace zs::core

namespace zs::zebrix {

using protocol::job_outcome;

struct render_input {
    std::string job_text;           // exactly as the client sent it
    std::int32_t window_handle = 0; // where the renderer reports the end
    std::string job_folder;         // ends in the separator
    std::string stemora_folder;     // each line left out when empty
    std::string drums_folder;
};

// The job text without its lines that set a key the server adds, followed by
// the server's own lines (each CR LF): the renderer sees one of each key,
// the server's, so a job can never redirect its output or the renderer's
// report.
std::string render_input_text(const render_input& input);

// Whether `key` (spaces and tabs around it ignored, ASCII case ignored) is
// one of the keys the server adds to a render input.
bool is_server_key(const std::string& key);
// The text without the lines ("key=value", ending in CR, LF, CR LF or at the
// end of the text) whose key is a server key; every other byte stays as it was.
std::string strip_server_keys(const std::string& job_text);

// Writes the input file (binary, truncating); false when it cannot be opened.
bool write_render_input(const std::string& input_path, const render_input& input,
                        std::error_code* error = nullptr);
// The same with the Zebrix folder's input file and the configured folders.
bool write_render_input(const core::path_layout& layout, const core::config_store& config,
                        std::int32_t window_handle, const std::string& job_folder,
                        const std::string& job_text, std::error_code* error = nullptr);

// The job folder's "ZebOutput.txt" in text mode: "Error=0\n" for code 0,
// else "Error=<code>\n;Error #<code>, <message>". Nothing when it cannot be
// written.
void write_job_status(const std::string& job_folder, const std::string& message, int code);

// Reads the job's status file: failed with `message`; succeeded, or
// succeeded_with_number with the "StyleNameTimeSig=" value in `number`.
protocol::job_outcome read_job_status(const std::string& job_folder, std::string& message,
                                      int& number);

} // namespace zs::zebrix
