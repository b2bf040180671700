// The loudness range statistic over a stream's short-term loudness values: the spread between
// their 10th and 95th percentiles once an absolute and a relative gate have removed silence and
// quiet stretches. The values come from the loudness meter (libebur128's K-weighted energies).
#pragma once

#include <cstddef>
#include <vector>

namespace zqx::summary {

// Lifecycle: add() each short-term loudness value (3 s window) in any order, rangeLu() at any
// time. Keeps every value that passes the absolute gate, 4 bytes each: 144 kB per hour of audio
// at one value per 100 ms. Not thread-safe.
class LoudnessRange {
public:
    // Values below the absolute gate, -70 LUFS, (including minus infinity and NaN) are dropped.
    void add(double shortTermLufs);

    // LU between the 95th and the 10th percentile of the kept values that lie no more than
    // 20 LU below their power mean (the relative gate); 0 when none is kept. A percentile is the
    // value at sorted index round(p * (n - 1)), halves rounded up, of those n values. Allocates a
    // working copy.
    double rangeLu() const;

    // Values kept so far (those at or above the absolute gate).
    std::size_t size() const { return m_values.size(); }

    static constexpr double kAbsoluteGateLufs = -70.0;
    static constexpr double kRelativeGateLu = -20.0;

private:
    std::vector<float> m_values;  // LUFS; float keeps 1e-5 LU, far below the 0.01 LU reported
    double m_powerSum = 0.0;      // sum of 10^(L/10) over m_values, for the relative gate
};

}  // namespace zqx::summary
