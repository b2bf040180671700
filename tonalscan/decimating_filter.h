// Low-pass decimation by two for tonalscan's longer windows: a level whose band lies far below
// the sampling rate is analysed from a copy at a half, a quarter or an eighth of the rate, so its
// FFT is that much shorter for the same bin width.
#pragma once

#include <cstdint>

namespace tonalscan {

// The half-rate filter: a 19-tap linear-phase half-band FIR (taps summing to 1), flat within
// 2e-7 up to kHalfRatePassband of its input rate and at least 136 dB down from
// 0.5 - kHalfRatePassband, all that folds onto that passband when every second output is kept:
// a full-scale tone folds to below the -120 dB floor of the reported peaks.
inline constexpr double kHalfRatePassband = 0.07;
inline constexpr std::uint32_t kHalfRateTapCount = 19;

// Writes count / 2 outputs to out from the newest `count` samples ending at sourceEnd (count
// even); the filter also reads the kHalfRateTapCount - 1 samples before them. Output i belongs
// to input sample sourceEnd - count + 2i + 1, delayed by (kHalfRateTapCount - 1) / 2 samples.
// scratch holds halfRateScratchLength(count) floats and overlaps neither out nor the source.
void decimateByTwo(const float* sourceEnd, std::uint32_t count, float* out, float* scratch) noexcept;
inline std::uint32_t halfRateScratchLength(std::uint32_t count) noexcept { return count + 13; }

}  // namespace tonalscan
