#pragma once
// Little-endian field access inside point records and headers.

#include <cstdint>
#include <cstring>

namespace laz {

template <typename T>
inline T load(const std::uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);  // the module assumes a little-endian host, as LAS does
    return v;
}

template <typename T>
inline void store(std::uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// Value of an 8-bit field after adding a correction, folded back into 0..255.
inline std::uint8_t fold8(std::int32_t v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

inline std::int32_t clamp8(std::int32_t v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

}  // namespace laz
