#pragma once
// When a pause before a close ends. The end is rounded up to a slot, so the
// closes a busy I/O thread has due within one slot share one timer expiry and
// wake it once, not once per connection. The pause never gets shorter; a
// pause of zero (as tests and fuzzing set it) closes at once instead of at
// the next slot.
#include <chrono>

namespace zs::net {

inline constexpr std::chrono::milliseconds close_slot{10};

inline std::chrono::steady_clock::time_point pause_end(std::chrono::milliseconds pause) {
    using clock = std::chrono::steady_clock;
    if (pause <= std::chrono::milliseconds(0)) {
        return clock::now();
    }
    constexpr auto slot = std::chrono::duration_cast<clock::duration>(close_slot);
    const auto end = (clock::now() + pause).time_since_epoch();
    return clock::time_point(((end + slot - clock::duration(1)) / slot) * slot);
}

} // namespace zs::net
