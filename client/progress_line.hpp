#pragma once
// The state line shown on standard error while a render job is waited for:
// redrawn in place on a terminal, else one line per change of state; both
// with the time since the start.
#include <chrono>
#include <cstdint>
#include <string>

namespace zs::client {

class progress_line {
public:
    explicit progress_line(std::int32_t id);
    ~progress_line() { end(); }
    progress_line(const progress_line&) = delete;
    progress_line& operator=(const progress_line&) = delete;

    void show(const std::string& state);
    // Ends a line left open on a terminal, before other output.
    void end();

private:
    std::int32_t id_;
    bool terminal_;
    std::chrono::steady_clock::time_point start_;
    std::string last_;
    bool open_ = false;
};

} // namespace zs::client
