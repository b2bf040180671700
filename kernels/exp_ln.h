// Natural logarithm and exponential of float runs, in place.
#pragma once

#include <cstdint>

#include "kernels/kernel_status.h"

// Element rules of vecLn: sign bit set -> 0xFFC00000 (warning 8), +0 -> -inf (warning 7),
// positive NaN -> 0x7FC00000; the status names the first anomaly in index order.
// Null -8 (checked first); n < 1 -6.
KernelStatus vecLnInPlace(float* data, std::int32_t n) noexcept;
// e^x: zero or subnormal -> exactly 1; x >= 88.72284 -> +inf; x <= -87.33654 -> 0;
// NaN keeps its sign as 0x7FC00000 / 0xFFC00000. Always ok for valid arguments.
KernelStatus vecExpInPlace(float* data, std::int32_t n) noexcept;
