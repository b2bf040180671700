// Reductions over float arrays: sum, mean, maximum, sample standard deviation.
//
// Arguments: array, count, result pointer, then `hint` (accepted, no effect). Null pointers give
// kStatusNullPointer (checked first), a count below the minimum kStatusBadLength; on an error the
// result location is left untouched. Sums are accumulated in double and rounded once.
#pragma once

#include <cstdint>

#include "kernels/kernel_status.h"

KernelStatus vecSum(const float* x, std::int32_t n, float* result, int hint) noexcept;
KernelStatus vecMean(const float* x, std::int32_t n, float* result, int hint) noexcept;
// Running maximum replaced only by a strictly greater value: a NaN at x[0] stays the result,
// a later NaN is never taken.
KernelStatus vecMax(const float* x, std::int32_t n, float* result) noexcept;
// Divisor n - 1; n >= 2. D = n*S2 - S1^2; result sqrt(D / (n(n-1))) when D > 0, else 0.
KernelStatus vecStdDev(const float* x, std::int32_t n, float* result, int hint) noexcept;
