#pragma once
// Processes of this desktop: find by executable name, start, check, end.
#include <chrono>
#include <string>
#include <vector>

namespace zs::platform {

using process_id = unsigned;  // 0 is "none"

enum class name_match { exact, ignore_case };

// The first running process of this desktop whose executable's base name
// matches; zombies never count. 0 when none.
process_id find_process(const std::string& exe_name, name_match match);

struct start_result {
    process_id pid = 0;  // 0 when the start failed
    int error = 0;       // the system's error code then
};
// Starts a program in its own session, in folder cwd, with the server's
// environment; waits until it registers its first window, at most wait.
// The program outlives the server; no zombie is left behind.
start_result start_process(const std::string& path, const std::vector<std::string>& args,
                           const std::string& cwd, std::chrono::milliseconds wait);

bool process_runs(process_id pid);  // exists and is not a zombie

// SIGKILL, then waits until it is gone, at most wait.
bool terminate_process(process_id pid, std::chrono::milliseconds wait);

} // namespace zs::platform
