#pragma once
// Packing of square-cell indices into one 64-bit hash key, shared by the cell sets of the roof
// builders.

#include <algorithm>
#include <cmath>
#include <cstdint>

// floor(offset / cell) as a 64-bit index. Offsets beyond the 32-bit range share the outermost
// index instead of overflowing; a NaN lands on index 0.
inline std::int64_t cellIndex(double offset, double cell) {
    const double c = std::floor(offset / cell);
    if (std::isnan(c)) {
        return 0;
    }
    return static_cast<std::int64_t>(std::clamp(c, -2147483648.0, 2147483647.0));
}

// Column in the high half, the low 32 bits of the row in the low half, in unsigned arithmetic so
// that negative indices pack without overflow.
inline std::uint64_t packCellKey(std::int64_t ix, std::int64_t iy) {
    return (static_cast<std::uint64_t>(ix) << 32) |
           (static_cast<std::uint64_t>(iy) & 0xffffffffULL);
}
