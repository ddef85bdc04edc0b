#pragma once
// Tick counts in milliseconds, as 32-bit values that wrap like the system's.
#include <chrono>
#include <cstdint>

namespace zs::platform {

inline std::uint32_t tick_count() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Clock seen by the timed parts of the server; tests inject their own.
class clock_source {
public:
    virtual ~clock_source() = default;
    virtual std::uint32_t now_ms() = 0;
};

class system_clock_source final : public clock_source {
public:
    std::uint32_t now_ms() override { return tick_count(); }
};

} // namespace zs::platform
