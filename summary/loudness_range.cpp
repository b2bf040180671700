// Gating and percentiles of the loudness range.
#include "summary/loudness_range.h"

#include <algorithm>
#include <cmath>

namespace zqx::summary {

void LoudnessRange::add(double shortTermLufs) {
    if (!(shortTermLufs >= kAbsoluteGateLufs)) return;  // also drops NaN
    m_values.push_back(float(shortTermLufs));
    m_powerSum += std::pow(10.0, double(m_values.back()) / 10.0);
}

double LoudnessRange::rangeLu() const {
    if (m_values.empty()) return 0.0;
    // The loudness offset of the K-weighting (-0.691) cancels: the power mean of the values is
    // the loudness of their mean energy.
    const double relativeGate = 10.0 * std::log10(m_powerSum / double(m_values.size())) + kRelativeGateLu;
    std::vector<float> gated;
    gated.reserve(m_values.size());
    for (float v : m_values)
        if (double(v) >= relativeGate) gated.push_back(v);
    if (gated.empty()) return 0.0;  // unreachable: the loudest value lies above the power mean
    // The value of rank round(p * n) (from 1, halves rounded up), as ffmpeg's ebur128 filter reads
    // its histogram; in integers, so that no rounding of 0.95 moves a rank. The recommendation's
    // reference code takes sorted index round(p * (n - 1)) instead, one rank higher at times: both
    // are the percentile by its definition, and on a steep lower tail of few values one rank is a
    // third of an LU (a quiet 24 s speech item of the evaluation set: 0.35 LU). Taken as ffmpeg
    // takes it, every item of that set agrees with ffmpeg within 0.01 LU.
    const std::size_t n = gated.size();
    const auto rankIndex = [n](std::size_t percent) {
        const std::size_t rank = (n * percent + 50) / 100;
        return std::min(n - 1, rank > 0 ? rank - 1 : 0);
    };
    const std::size_t low = rankIndex(10);
    const std::size_t high = rankIndex(95);
    std::nth_element(gated.begin(), gated.begin() + std::ptrdiff_t(high), gated.end());
    const double highLufs = gated[high];
    std::nth_element(gated.begin(), gated.begin() + std::ptrdiff_t(low), gated.begin() + std::ptrdiff_t(high));
    return highLufs - double(gated[low]);
}

}  // namespace zqx::summary
