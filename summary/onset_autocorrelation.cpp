// Streaming detrend and autocorrelation. The running sum, the window means and the products are
// formed in the same order as over the whole envelope, so the results are bitwise the same.
#include "summary/onset_autocorrelation.h"

#include <algorithm>
#include <cmath>

namespace zqx::summary {

OnsetAutocorrelation::OnsetAutocorrelation(std::size_t half, std::size_t maxLag)
    : m_half(half),
      m_maxLag(maxLag),
      m_values(half + 1, 0.0),
      m_prefix(2 * half + 2, 0.0),
      m_recent(2 * (maxLag + 1), 0.0),
      m_sums(maxLag + 1, 0.0) {}

void OnsetAutocorrelation::add(float value) {
    const double x = std::isfinite(value) ? double(value) : 0.0;
    const std::size_t n = m_count;
    m_values[n % m_values.size()] = x;
    m_prefix[(n + 1) % m_prefix.size()] = m_prefix[n % m_prefix.size()] + x;
    ++m_count;
    // Value t's window ends at t + half: it is complete now for t = count - half - 1.
    if (m_count > m_half) {
        const std::size_t t = m_count - m_half - 1;
        accumulate(detrend(t, m_count), t, m_recent, m_sums);
        m_detrended = t + 1;
    }
}

double OnsetAutocorrelation::detrend(std::size_t t, std::size_t end) const {
    const std::size_t lo = t > m_half ? t - m_half : 0, hi = std::min(end, t + m_half + 1);
    const double sum = m_prefix[hi % m_prefix.size()] - m_prefix[lo % m_prefix.size()];
    return m_values[t % m_values.size()] - sum / double(hi - lo);
}

void OnsetAutocorrelation::accumulate(double y, std::size_t t, std::vector<double>& recent, std::vector<double>& sums) {
    // Each value is kept twice, size apart, so the newest `size` values always lie side by side
    // (ending at at + size) and the products below need no index wrapping.
    const std::size_t size = sums.size(), at = t % size;
    recent[at] = y;
    recent[at + size] = y;
    const double* newest = recent.data() + at + size;
    const std::size_t lags = std::min(t, size - 1);
    double* sum = sums.data();
    for (std::size_t lag = 0; lag <= lags; ++lag) sum[lag] += *(newest - lag) * y;
}

std::vector<double> OnsetAutocorrelation::normalised(std::size_t lagLimit) const {
    if (m_count == 0) return {};
    std::vector<double> recent = m_recent, sums = m_sums;
    for (std::size_t t = m_detrended; t < m_count; ++t) accumulate(detrend(t, m_count), t, recent, sums);
    const std::size_t maxLag = std::min({lagLimit, m_maxLag, m_count - 1});
    std::vector<double> a(maxLag + 1);
    for (std::size_t lag = 0; lag <= maxLag; ++lag) a[lag] = sums[lag] / double(m_count - lag);
    if (!(a[0] > 0.0)) return {};
    const double scale = 1.0 / a[0];
    for (double& v : a) v *= scale;
    return a;
}

}  // namespace zqx::summary
