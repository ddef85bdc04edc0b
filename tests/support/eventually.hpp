#pragma once
// Polling for a condition the server reaches on its own time.
#include <chrono>
#include <functional>
#include <thread>

namespace zs::test {

// Polls until `done` holds, at most `limit`.
inline bool eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace zs::test
