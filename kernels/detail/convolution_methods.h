// The methods behind convolve and autoCorrelate, callable one by one for tests and benchmarks.
// Arguments are already checked: pointers valid, lengths >= 1, longerLen >= shorterLen, dst holding
// longerLen + shorterLen - 1 values (convolution) or m values (autocorrelation, m <= srcLen).
#pragma once

#include <cstdint>

#include "kernels/kernel_status.h"

namespace zqx::detail {

// Thresholds that choose the method; they matter for speed only.
constexpr std::int64_t kConvolveDirectBelowLength = 150;
constexpr std::int32_t kConvolveDirectBelowShorter = 32;
constexpr std::int32_t kConvolveDirectPiece = 4096;
constexpr std::int32_t kOverlapSaveRatio = 3;
constexpr std::int32_t kAutoCorrelateDirectBelow = 600;

KernelStatus convolveDirect(const float* longer, std::int32_t longerLen, const float* shorter,
                            std::int32_t shorterLen, float* dst) noexcept;
KernelStatus convolveSingleFft(const float* longer, std::int32_t longerLen, const float* shorter,
                               std::int32_t shorterLen, float* dst) noexcept;
KernelStatus convolveOverlapSave(const float* longer, std::int32_t longerLen, const float* shorter,
                                 std::int32_t shorterLen, float* dst) noexcept;

// dst[k] for k < m only; the caller zeroes the rest.
KernelStatus autoCorrelateDirect(const float* src, std::int32_t srcLen, float* dst, std::int32_t m) noexcept;
KernelStatus autoCorrelateFft(const float* src, std::int32_t srcLen, float* dst, std::int32_t m) noexcept;

}  // namespace zqx::detail
