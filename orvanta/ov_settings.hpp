#pragma once
// Every wait of the Orvanta driver in one place, so tests can shrink them.
#include <chrono>

namespace zs::orvanta {

struct ov_timing {
    std::chrono::milliseconds round_wait{1000}; // between rounds of ensure_running
    int rounds = 60;
    std::chrono::milliseconds start_wait{10000}; // until a started program shows its window
    std::chrono::milliseconds poll_wait{500};    // between job-state polls of a posted job
    int polls = 120;
};

} // namespace zs::orvanta
