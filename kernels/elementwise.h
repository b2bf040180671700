// Element-wise primitives on float arrays: fill and copy, arithmetic with a constant, two-array
// arithmetic and element functions.
//
// Argument order: a constant comes first in the in-place forms (vecSet, vecAddConstInPlace,
// vecScaleInPlace, vecDivConstInPlace), between source and destination in the copying forms
// (vecSubConst, vecDivConst); sources precede destinations; the count comes last, except in
// vecRamp and vecThreshold, which take their values after the count. Every primitive needs
// n >= 1 (else kStatusBadLength, nothing written) and non-null pointers (else kStatusNullPointer,
// checked first). Source and destination may be the same array. None allocates.
// NaN written by a primitive is the quiet NaN with the sign bit set (0xFFC00000) unless noted.
#pragma once

#include <cstdint>

#include "kernels/kernel_status.h"

KernelStatus vecZero(float* x, std::int32_t n) noexcept;
KernelStatus vecSet(float value, float* x, std::int32_t n) noexcept;
// x[i] = offset + i * slope, computed in double and rounded once.
KernelStatus vecRamp(float* x, std::int32_t n, float offset, float slope) noexcept;
KernelStatus vecCopy(const float* src, float* dst, std::int32_t n) noexcept;

// x[i] += c; c = 0 or NaN leaves x untouched.
KernelStatus vecAddConstInPlace(float c, float* x, std::int32_t n) noexcept;
// dst[i] = src[i] - c; c = 0 or NaN is a plain copy.
KernelStatus vecSubConst(const float* src, float c, float* dst, std::int32_t n) noexcept;
// x[i] *= c; c = 1 or NaN leaves x untouched; c = 0 zeroes every element, infinities and NaN too.
KernelStatus vecScaleInPlace(float c, float* x, std::int32_t n) noexcept;
// dst[i] = src[i] * r with r = 1/c rounded to float. c = 0 or NaN: kStatusDivideByZero, dst
// untouched; r = 1: plain copy; r = 0 (c infinite): dst zeroed.
KernelStatus vecDivConst(const float* src, float c, float* dst, std::int32_t n) noexcept;
KernelStatus vecDivConstInPlace(float c, float* x, std::int32_t n) noexcept;

KernelStatus vecMul(const float* a, const float* b, float* dst, std::int32_t n) noexcept;
// x[i] *= src[i]
KernelStatus vecMulInPlace(const float* src, float* x, std::int32_t n) noexcept;
// x[i] += src[i]
KernelStatus vecAddInPlace(const float* src, float* x, std::int32_t n) noexcept;

KernelStatus vecSqr(const float* src, float* dst, std::int32_t n) noexcept;
KernelStatus vecSqrInPlace(float* x, std::int32_t n) noexcept;
// Negative or NaN inputs give NaN and the warning kStatusSqrtOfNegative; -0 gives -0.
KernelStatus vecSqrt(const float* src, float* dst, std::int32_t n) noexcept;
// Natural logarithm in double, rounded once. Sign bit set (negatives, -0, negative NaN): NaN and
// a negative anomaly; positive NaN: 0x7FC00000, no anomaly; +0: -infinity and a zero anomaly.
// Returns kStatusLnOfZero or kStatusLnOfNegative after the first anomaly in index order, else ok.
KernelStatus vecLn(const float* src, float* dst, std::int32_t n) noexcept;

// Mode for vecThreshold that clips from above; any other mode clips from below.
constexpr int kThresholdGreaterThan = 4;
constexpr int kThresholdLessThan = 0;
// In place. Mode 4: values above level, and NaN, become level. Other modes: values below level
// become level and NaN stays. Equal values stay.
KernelStatus vecThreshold(float* x, std::int32_t n, float level, int mode) noexcept;
