// When a close pause ends: on a slot boundary and never early; a pause of
// zero (tests and fuzzing) ends at once rather than at the next slot.
#include "net/close_pause.hpp"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;

TEST(ClosePause, EndsOnASlotNeverEarlyAndAtOnceWhenZero) {
    const auto before = clock_type::now();
    const auto end = zs::net::pause_end(25ms);
    EXPECT_GE(end, before + 25ms);
    EXPECT_EQ(end.time_since_epoch() % zs::net::close_slot, clock_type::duration::zero());
    EXPECT_LT(end, clock_type::now() + 25ms + zs::net::close_slot);

    const auto at_once = zs::net::pause_end(0ms);
    EXPECT_LE(at_once, clock_type::now());
}

} // namespace
