// The streamed autocorrelation against the whole-envelope computation written out plainly: the
// ring buffers must give the same bits at every length, window and lag count, also when asked
// part-way and fed on afterwards.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "summary/onset_autocorrelation.h"

namespace {

using zqx::summary::OnsetAutocorrelation;

// Detrend by the clipped window mean (running sums), then the unbiased autocorrelation scaled to 1
// at lag 0, over the whole envelope at once.
std::vector<double> wholeEnvelope(const std::vector<float>& x, std::size_t half, std::size_t maxLag) {
    const std::size_t n = x.size();
    if (n == 0) return {};
    std::vector<double> prefix{0.0}, y;
    for (std::size_t t = 0; t < n; ++t) prefix.push_back(prefix.back() + (std::isfinite(x[t]) ? double(x[t]) : 0.0));
    for (std::size_t t = 0; t < n; ++t) {
        const std::size_t lo = t > half ? t - half : 0, hi = std::min(n, t + half + 1);
        y.push_back((std::isfinite(x[t]) ? double(x[t]) : 0.0) - (prefix[hi] - prefix[lo]) / double(hi - lo));
    }
    const std::size_t lags = std::min(maxLag + 1, n);
    std::vector<double> a(lags, 0.0);
    for (std::size_t lag = 0; lag < lags; ++lag) {
        double sum = 0.0;
        for (std::size_t t = 0; t + lag < n; ++t) sum += y[t] * y[t + lag];
        a[lag] = sum / double(n - lag);
    }
    if (!(a[0] > 0.0)) return {};
    const double scale = 1.0 / a[0];
    for (double& v : a) v *= scale;
    return a;
}

TEST(OnsetAutocorrelation, StreamedEqualsWholeEnvelopeBitForBit) {
    const struct {
        std::size_t frames, half, maxLag;
    } cases[] = {{0, 150, 605},  {1, 150, 605},  {150, 150, 605}, {151, 150, 605}, {303, 150, 605},
                 {2000, 150, 605}, {5000, 150, 40}, {700, 0, 10},   {64, 3, 200},    {9, 20, 3}};
    std::mt19937 random(7);
    std::exponential_distribution<float> onset(2.0f);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames, half " << c.half << ", lags " << c.maxLag);
        std::vector<float> x(c.frames);
        for (float& v : x) v = onset(random);
        if (c.frames > 40) x[37] = std::numeric_limits<float>::quiet_NaN();  // counts 0 in both
        OnsetAutocorrelation streamed(c.half, c.maxLag);
        for (std::size_t t = 0; t < x.size(); ++t) {
            streamed.add(x[t]);
            // Asking part-way must not disturb what follows.
            if (t + 1 == x.size() / 2) {
                const std::vector<float> head(x.begin(), x.begin() + long(t + 1));
                EXPECT_EQ(streamed.normalised(c.maxLag), wholeEnvelope(head, c.half, c.maxLag));
            }
        }
        EXPECT_EQ(streamed.frames(), c.frames);
        EXPECT_EQ(streamed.normalised(c.maxLag), wholeEnvelope(x, c.half, c.maxLag));
        EXPECT_EQ(streamed.normalised(5), wholeEnvelope(x, c.half, std::min<std::size_t>(5, c.maxLag)));
    }
}

TEST(OnsetAutocorrelation, FlatEnvelopeHasNone) {
    OnsetAutocorrelation flat(150, 605);
    for (int t = 0; t < 1000; ++t) flat.add(0.25f);  // nothing left after removing the mean
    EXPECT_TRUE(flat.normalised(605).empty());
}

}  // namespace
