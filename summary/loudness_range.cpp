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
    // Sorted index round(p * (n - 1)), halves rounded up, as the recommendation's reference code
    // and libebur128 pick them; in integers, so that no rounding of 0.95 moves a rank.
    const std::size_t last = gated.size() - 1;
    const std::size_t low = (last * 10 + 50) / 100;
    const std::size_t high = (last * 95 + 50) / 100;
    std::nth_element(gated.begin(), gated.begin() + std::ptrdiff_t(high), gated.end());
    const double highLufs = gated[high];
    std::nth_element(gated.begin(), gated.begin() + std::ptrdiff_t(low), gated.begin() + std::ptrdiff_t(high));
    return highLufs - double(gated[low]);
}

}  // namespace zqx::summary
