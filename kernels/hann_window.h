// The symmetric Hann window, applied in place.
#pragma once

#include <cstdint>

#include "kernels/kernel_status.h"

// x[i] *= 0.5 (1 - cos(2 pi i / (n - 1))). Elements i and n-1-i get the same float factor; the
// middle element of an odd n is left unchanged. n < 3: kStatusBadLength, x untouched.
KernelStatus windowHannInPlace(float* x, std::int32_t n) noexcept;
