// Full linear convolution and raw autocorrelation, direct for small sizes and FFT-based for large.
#pragma once

#include <cstdint>

#include "kernels/kernel_status.h"

// dst[m] = sum_i a[i] b[m - i], m = 0 .. aLen + bLen - 2. dst must not overlap a or b.
// Null pointer -8; aLen or bLen < 1 -6; scratch memory -9; FFT errors passed on.
KernelStatus convolve(const float* a, std::int32_t aLen, const float* b, std::int32_t bLen,
                      float* dst) noexcept;
// With m = min(srcLen, dstLen): dst[k] = sum_j src[j] src[j + k] for k < m, dst[k] = 0 for the
// rest. No normalisation. Same statuses as convolve.
KernelStatus autoCorrelate(const float* src, std::int32_t srcLen, float* dst,
                           std::int32_t dstLen) noexcept;
