#pragma once
// Digest and random bytes from the system's cryptographic provider.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zs::platform {

std::array<std::uint8_t, 16> md5(std::span<const std::uint8_t> data);

// Bytes from a cryptographic source; false when the source fails.
bool random_bytes(std::span<std::uint8_t> out);

// Compares in time that does not depend on where the inputs differ.
bool equal_in_constant_time(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

} // namespace zs::platform
