#pragma once
// Little-endian words as they travel on every connection.
#include <cstdint>

namespace zs::net {

inline void write_word(std::uint8_t* at, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(u >> (8 * i));
    }
}

inline std::int32_t read_word(const std::uint8_t* at) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) {
        u |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    }
    return static_cast<std::int32_t>(u);
}

} // namespace zs::net
