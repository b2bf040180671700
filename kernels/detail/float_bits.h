// Bit-level helpers for the kernels' NaN and sign rules.
#pragma once

#include <cstdint>
#include <cstring>

namespace zqx::detail {

inline std::uint32_t floatBits(float x) noexcept {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

inline float floatFromBits(std::uint32_t bits) noexcept {
    float x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

inline bool signBitSet(float x) noexcept { return (floatBits(x) & 0x80000000u) != 0; }

// The NaN the kernels write: quiet, sign bit set.
inline float negativeQuietNan() noexcept { return floatFromBits(0xFFC00000u); }
// The NaN written for a NaN input with the sign bit clear.
inline float positiveQuietNan() noexcept { return floatFromBits(0x7FC00000u); }

}  // namespace zqx::detail
