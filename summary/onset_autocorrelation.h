// The autocorrelation of an onset envelope after removing its slow level changes, accumulated as
// the values arrive: memory stays fixed however long the stream, and the figures are exactly (to
// the bit) those of detrending and correlating the whole envelope held at once.
#pragma once

#include <cstddef>
#include <vector>

namespace zqx::summary {

// Value t is detrended by the mean of values t - half .. t + half (clipped to the stream), and
// lags 0..maxLag are kept. Lifecycle: construct, add() values in order, normalised() at any time.
// Not thread-safe; allocates at construction only.
class OnsetAutocorrelation {
public:
    OnsetAutocorrelation(std::size_t half, std::size_t maxLag);

    // One envelope value; a non-finite one counts 0.
    void add(float value);
    std::size_t frames() const { return m_count; }

    // The unbiased autocorrelation r[lag] = sum of y[t] y[t + lag] / (frames - lag) for lags
    // 0..min(lagLimit, maxLag, frames - 1), scaled so that r[0] is 1; empty when r[0] is 0 or no
    // value has arrived. The last `half` values, whose window the stream's end clips, are
    // detrended here on copies, so more values can still be added afterwards.
    std::vector<double> normalised(std::size_t lagLimit) const;

private:
    // y: a detrended value, the t-th; adds its products with the values before it.
    static void accumulate(double y, std::size_t t, std::vector<double>& recent, std::vector<double>& sums);
    double detrend(std::size_t t, std::size_t end) const;

    std::size_t m_half;
    std::size_t m_maxLag;
    std::size_t m_count = 0;      // values added
    std::size_t m_detrended = 0;  // values whose whole window has arrived and are in m_sums
    std::vector<double> m_values;  // the last half + 1 values (ring, by index mod size)
    std::vector<double> m_prefix;  // running sums of the values before index k, the last 2 half + 2
    std::vector<double> m_recent;  // the last maxLag + 1 detrended values (ring, each held twice)
    std::vector<double> m_sums;    // per lag, the products so far
};

}  // namespace zqx::summary
