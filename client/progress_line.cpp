#include "client/progress_line.hpp"

#include "platform/terminal.hpp"

#include <cstdio>

namespace zs::client {

progress_line::progress_line(std::int32_t id)
    : id_(id), terminal_(platform::is_terminal(platform::standard_stream::error)),
      start_(std::chrono::steady_clock::now()) {}

void progress_line::show(const std::string& state) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char line[160];
    std::snprintf(line, sizeof line, "job %d: %s (%.1f s)", id_, state.c_str(), seconds);
    if (terminal_) {
        std::fprintf(stderr, "\r%-50s", line);
        open_ = true;
    } else if (state != last_) {
        std::fprintf(stderr, "%s\n", line);
    }
    std::fflush(stderr);
    last_ = state;
}

void progress_line::end() {
    if (open_) {
        std::fputc('\n', stderr);
        open_ = false;
    }
}

} // namespace zs::client
