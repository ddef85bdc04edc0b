#pragma once
// Lookup in a constant table whose rows start with a command code.
#include <array>
#include <cstddef>
#include <cstdint>

namespace zs::core {

// The row of `code`, or nullptr.
template <class Row, std::size_t N>
constexpr const Row* find_code(const std::array<Row, N>& table, std::int32_t code) {
    for (const Row& row : table) {
        if (row.code == code) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace zs::core
