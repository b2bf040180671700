// RhythmFeatureExtractor and its statistics, checked against hand-worked values and against a
// plain double-precision model of the whole computation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "modules/pulsegrid/rhythm_feature_extractor.h"

namespace {

using namespace zqx::pulsegrid;

constexpr float kFramePeriod = 0.01f;

using Series = std::vector<double>;

// Row-major frames x bands, as the host delivers them.
struct BandMatrix {
    std::uint32_t rows, cols;
    std::vector<float> cells;
    BaseMatrix<float> view() { return BaseMatrix<float>(cells.data(), rows, cols); }
};

// Levels from `low` to 1; a negative low leaves stretches that rectify to 0.
BandMatrix randomMatrix(std::uint32_t rows, std::uint32_t cols, unsigned seed, float low = -0.2f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> level(low, 1.0f);
    BandMatrix m{rows, cols, std::vector<float>(static_cast<std::size_t>(rows) * cols)};
    for (float& v : m.cells) v = level(rng);
    return m;
}

// The model, in double: each function restates one step from its definition.
double model_mean(const Series& x) {
    double s = 0;
    for (double v : x) s += v;
    return s / x.size();
}

double model_pearson(const Series& a, const Series& b) {
    if (a.empty()) return 0;
    const double ma = model_mean(a), mb = model_mean(b);
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

double model_peakCorrelation(const Series& x) {
    const std::size_t n = x.size();
    auto at = [&](std::ptrdiff_t i) { return i < 0 || i >= std::ptrdiff_t(n) ? 0.0 : x[i]; };
    Series a, b;
    for (std::size_t i = 1; i < n; ++i) {
        a.push_back(x[i]);
        b.push_back(std::max(0.0, 2 * x[i] - at(i - 1) - at(i + 1)));
    }
    return std::max(0.0, model_pearson(a, b));
}

std::vector<double> model_statistics(const Series& x) {
    const double n = x.size();
    double sum = 0, squares = 0, roots = 0, peak = x[0], moment = 0, zeros = 0;
    for (double v : x) sum += v, squares += v * v, roots += std::sqrt(v), peak = std::max(peak, v);
    for (std::size_t i = 0; i < x.size(); ++i) moment += (i + 1) * (sum > 0 ? x[i] / sum : x[i]);
    for (double v : x) zeros += v == 0;
    const double mean = sum / n, power = squares / n;
    const double variance = n > 1 ? std::max(0.0, (squares - sum * sum / n) / (n - 1)) : 0;
    return {mean,
            std::sqrt(variance),
            moment / n,
            power > 0 ? 1 - (roots / n) * (roots / n) / std::sqrt(power) : 0,
            peak > 0 ? std::sqrt(power) / peak : 0,
            zeros / n};
}

std::vector<double> modelFeatures(const BandMatrix& in, int hanningLen, double thresh, int minLag,
                                  int lagCount) {
    const int n = in.rows, bands = in.cols, h = hanningLen / 2;
    std::vector<double> w(hanningLen, 1.0);
    if (hanningLen >= 3)
        for (int i = 0; i < hanningLen; ++i) w[i] = 0.5 * (1 - std::cos(2 * M_PI * i / (hanningLen - 1)));

    Series envelope(n, 0.0), scores;
    for (int b = 0; b < bands; ++b) {
        Series y(n, 0.0);
        for (int t = 0; t < n; ++t)
            for (int j = 0; j < hanningLen; ++j)  // smoothed[t] = sum_m x[m] w[t + h - m]
                if (t + h - j >= 0 && t + h - j < n) y[t] += in.cells[(t + h - j) * bands + b] * w[j];
        for (double& v : y) v = std::max(0.0, v);
        const double score = model_peakCorrelation(y);
        const double peak = *std::max_element(y.begin(), y.end());
        if (peak > 0)
            for (int t = 0; t < n; ++t) envelope[t] += y[t] * score / peak;
        scores.push_back(score);
    }

    Series difference(n), lags(n, 0.0), profile(lagCount, 0.0);
    for (int t = 0; t < n; ++t) difference[t] = envelope[t] - (t > 0 ? envelope[t - 1] : 0.0);
    difference.push_back(-envelope[n - 1]);
    difference.erase(difference.begin());  // the envelope's first value is no change
    for (int k = 0; k < n; ++k)
        for (int j = 0; j + k < n; ++j) lags[k] += difference[j] * difference[j + k];
    for (int k = 0; k < lagCount; ++k)
        if (minLag + k < n && lags[0] > 0) profile[k] = std::max(0.0, lags[minLag + k] / lags[0]);

    std::vector<double> result(scores.begin(), scores.end());
    const auto bandStats = model_statistics(scores);
    result.insert(result.end(), bandStats.begin(), bandStats.begin() + 5);
    const auto p = model_statistics(profile);
    for (double v : {p[2], p[3], p[4], p[5], p[0], p[1]}) result.push_back(v);

    Series slope(n + 1);
    for (int t = 0; t <= n; ++t)
        slope[t] = (t < n ? std::log(envelope[t] + 1e-5) : 0.0) - (t > 0 ? std::log(envelope[t - 1] + 1e-5) : 0.0);
    double counts[4] = {0, 0, 0, 0};
    for (int t = 2; t <= n - 2; ++t)
        if (slope[t - 1] < slope[t] && slope[t + 1] < slope[t])
            for (int k = 1; k <= 4; ++k) counts[k - 1] += k * thresh < slope[t];
    for (double c : counts) result.push_back(c / n);
    result.insert(result.end(), profile.begin(), profile.end());
    return result;
}

std::vector<float> features(RhythmFeatureExtractor& extractor, BandMatrix& m) {
    const Vector<float> v = extractor.computeFeatures(m.view());
    return std::vector<float>(v.data, v.data + v.size);
}

TEST(RhythmLags, WholeTempiGiveIntegerQuotientsCappedAtGroupFrames) {
    struct Case { int groupFrames; float lo, hi; int minLag, maxLag, lagCount; };
    const Case cases[] = {
        {400, 60, 200, 30, 100, 70},
        {128, 40, 200, 30, 128, 98},  // 150 lowered to groupFrames
        {1000, 70, 180, 33, 85, 52},  // quotients 6000/180 = 33.3 and 6000/70 = 85.7 truncate
        {3000, 7, 300, 20, 857, 837},
        {1, 60, 7000, 0, 1, 1},
    };
    for (const Case& c : cases) {
        const RhythmLags lags = rhythmLags(c.groupFrames, kFramePeriod, c.lo, c.hi);
        EXPECT_EQ(lags.minLag, c.minLag) << c.hi;
        EXPECT_EQ(lags.maxLag, c.maxLag) << c.lo;
        EXPECT_EQ(lags.lagCount, c.lagCount);
    }
    // Every whole tempo lands on its integer quotient, never one below.
    for (int bpm = 1; bpm <= 6000; ++bpm)
        ASSERT_EQ(rhythmLags(1 << 30, kFramePeriod, float(bpm), float(bpm)).minLag, 6000 / bpm) << bpm;
}

TEST(RhythmStatistics, WorkedValues) {
    struct Case { std::vector<float> x; float centroid, contrast, rmsPeak, zeros; };
    const Case cases[] = {
        {{4, 0, 0, 0}, 0.25f, 0.875f, 0.5f, 0.75f},
        {{0, 0, 1, 0}, 0.75f, 0.875f, 0.5f, 0.75f},
        {{0, -0.0f, 0}, 0, 0, 0, 1},  // nothing positive: every quotient falls back to 0
        {{2, 2}, 0.75f, 0, 1, 0},
    };
    for (const Case& c : cases) {
        const auto n = std::int32_t(c.x.size());
        EXPECT_FLOAT_EQ(normalizedCentroid(c.x.data(), n), c.centroid);
        EXPECT_NEAR(powerMeanContrast(c.x.data(), n), c.contrast, 1e-7f);
        EXPECT_FLOAT_EQ(rmsToPeak(c.x.data(), n), c.rmsPeak);
        EXPECT_FLOAT_EQ(zeroFraction(c.x.data(), n), c.zeros);
    }
    const float one = 1;
    for (auto f : {normalizedCentroid, powerMeanContrast, rmsToPeak, zeroFraction})
        EXPECT_EQ(f(&one, 0), 0.0f);
}

TEST(RhythmStatistics, PeakCorrelation) {
    struct Case { std::vector<float> x; float expected; };
    const Case cases[] = {
        {{0, 1, 0, 1, 0}, 1.0f},                         // [1,0,1,0] against [2,0,2,0]
        {{1, 2, 3, 4, 5}, float(9 / std::sqrt(135.0))},  // [2,3,4,5] against [0,0,0,6]
        {{3, 3, 3, 3, 2}, 0},                            // [3,3,3,2] against [0,0,1,1]: r < 0
        {{5, 4, 3, 2, 1}, 0},                            // curvature only at element 0, left out
        {{3}, 0},                                        // nothing left to correlate
        {{3, 1}, 0},
        {{0, 0, 0, 0}, 0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(peakCorrelation(c.x.data(), std::int32_t(c.x.size())), c.expected, 1e-6f) << c.x.size();
    EXPECT_EQ(pearsonCorrelation(nullptr, nullptr, 0), 0.0f);
}

TEST(RhythmStatistics, CountsStrictInteriorPeaksAboveExactMultiples) {
    struct Case { std::vector<float> g; float thresh; std::vector<float> counts; };
    const Case cases[] = {
        // Peaks at t = 1 (9) and t = 5 = n - 1 (0.25) lie outside 2 .. n - 2. 3 x 0.1f in double
        // is below 0.3f, though the float product rounds up to 0.3f.
        {{0, 9, 0, 0.3f, 0, 0.25f, 0}, 0.1f, {1, 1, 1, 0}},
        {{0, 0, 0.5f, 0, 0.6f, 0, 0}, 0.25f, {2, 1, 0, 0}},  // 0.5 equals 2T: not above
        {{0, 0, 1, 1, 0, 0}, 0.0f, {0, 0, 0, 0}},             // a plateau is no strict maximum
        {{0, -3, -0.5f, -3, -2.5f, -3, -3, 0}, -1.0f, {1, 1, 2, 2}},
        {{0, 0, 5, 0}, 0.0f, {0, 0, 0, 0}},                   // n = 3: no interior frame
    };
    for (const Case& c : cases) {
        std::vector<float> counts(4, -1.0f);
        countOnsetPeaks(c.g.data(), std::int32_t(c.g.size()) - 1, c.thresh, counts.data());
        EXPECT_EQ(counts, c.counts) << c.g.size();
    }
}

TEST(RhythmStatistics, NormalizeToLagZero) {
    std::vector<float> lags{4, 2, -1, 0};
    normalizeToLagZero(lags.data(), 4);
    EXPECT_EQ(lags, (std::vector<float>{1, 0.5f, -0.25f, 0}));
    // A subnormal lag 0 has no finite float reciprocal; the lags are divided instead.
    const float tiny = std::numeric_limits<float>::denorm_min() * 64;
    std::vector<float> faint{tiny, tiny / 2, -tiny / 4};
    normalizeToLagZero(faint.data(), 3);
    EXPECT_EQ(faint, (std::vector<float>{1, 0.5f, -0.25f}));
    // Lag 0 that is not positive leaves everything as it is.
    std::vector<float> silent{0, 0.5f}, negative{-1, 2};
    normalizeToLagZero(silent.data(), 2);
    normalizeToLagZero(negative.data(), 2);
    EXPECT_EQ(silent, (std::vector<float>{0, 0.5f}));
    EXPECT_EQ(negative, (std::vector<float>{-1, 2}));
}

// Relative agreement with the double model; each step rounds to float a few times, and the profile is
// a quotient of sums over up to N products.
void expectMatchesModel(const std::vector<float>& got, const std::vector<double>& want, int bands,
                        int rows) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (i >= std::size_t(bands) + 11 && i < std::size_t(bands) + 15) {
            // Onset rates count strict comparisons; a near tie may fall either way.
            EXPECT_NEAR(got[i], want[i], 1.01 / rows) << "onset rate " << i - bands - 11;
            continue;
        }
        EXPECT_NEAR(got[i], want[i], 2e-4 * std::max(1.0, std::fabs(want[i]))) << "index " << i;
    }
}

TEST(RhythmFeatureExtractor, MatchesTheModel) {
    struct Case {
        std::uint32_t rows, bands;
        int hanningLen;
        float thresh, lo, hi;
        int groupFrames;
        float low = -0.2f;
    };
    const Case cases[] = {
        {400, 20, 15, 0.05f, 60, 200, 400},
        {256, 7, 8, 0.02f, 40, 180, 256},  // even window: the offset h matters
        {1200, 3, 31, -1.0f, 50, 150, 1200},
        {500, 1, 1, 0.5f, 60, 200, 500, -2.0f},  // a silent envelope between bursts: log floor
        {60, 5, 6, 0.01f, 60, 200, 400},   // minLag <= N < maxLag: lags from N on are 0
        {20, 4, 5, 0.01f, 60, 200, 400},   // N < minLag: the whole profile is 0
        {3, 2, 3, 0.0f, 60, 200, 400},
        {1, 2, 4, 0.0f, 60, 200, 400},
    };
    unsigned seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << " x " << c.bands << ", hanningLen " << c.hanningLen);
        RhythmFeatureExtractor extractor(c.groupFrames, c.hanningLen, c.thresh, kFramePeriod, c.lo, c.hi);
        BandMatrix m = randomMatrix(c.rows, c.bands, seed++, c.low);
        const std::vector<float> before = m.cells;
        const std::vector<float> got = features(extractor, m);
        EXPECT_EQ(m.cells, before) << "the input is only read";
        EXPECT_EQ(extractor.frameCount(), std::int32_t(c.rows));
        const int minLag = extractor.minLag(), lagCount = extractor.lagCount();
        expectMatchesModel(got, modelFeatures(m, c.hanningLen, c.thresh, minLag, lagCount), c.bands, c.rows);

        const std::size_t profile = c.bands + 15;
        for (int k = std::max(0, int(c.rows) - minLag); k < lagCount; ++k)
            ASSERT_EQ(got[profile + k], 0.0f) << "lag " << minLag + k << " does not exist";
        if (c.rows <= 3) {
            for (int k = 0; k < 4; ++k) EXPECT_EQ(got[c.bands + 11 + k], 0.0f) << "no interior frame";
        }
        for (float v : got) ASSERT_TRUE(std::isfinite(v));
    }
}

TEST(RhythmFeatureExtractor, CallsAreIndependentWhileBuffersAreReused) {
    RhythmFeatureExtractor extractor(400, 9, 0.05f, kFramePeriod, 60, 200);
    BandMatrix large = randomMatrix(400, 20, 7), small = randomMatrix(90, 3, 8);
    const std::vector<float> first = features(extractor, large);
    const std::vector<float> between = features(extractor, small);
    EXPECT_EQ(between.size(), 3u + 15 + 70);
    EXPECT_EQ(features(extractor, large), first);
    RhythmFeatureExtractor fresh(400, 9, 0.05f, kFramePeriod, 60, 200);
    EXPECT_EQ(features(fresh, small), between);
}

TEST(RhythmFeatureExtractor, ShortWindowsSmoothAsTheirTapsSay) {
    // Window 1 is [1], window 2 stays [1, 1] (too short for the Hann kernel), window 3 is [0, 1, 0].
    BandMatrix m = randomMatrix(50, 1, 3);
    std::vector<float> rectified(m.cells), pairs(50);
    for (float& v : rectified) v = std::max(v, 0.0f);
    for (int t = 0; t < 50; ++t) pairs[t] = std::max(m.cells[t] + (t + 1 < 50 ? m.cells[t + 1] : 0.0f), 0.0f);
    struct Case { int hanningLen; std::vector<float> window; const std::vector<float>* smoothed; };
    const Case cases[] = {{1, {1}, &rectified}, {2, {1, 1}, &pairs}, {3, {0, 1, 0}, &rectified}};
    for (const Case& c : cases) {
        RhythmFeatureExtractor extractor(50, c.hanningLen, 0.1f, kFramePeriod, 150, 200);
        EXPECT_EQ(std::vector<float>(extractor.hannWindow(), extractor.hannWindow() + c.hanningLen), c.window);
        EXPECT_FLOAT_EQ(features(extractor, m)[0], peakCorrelation(c.smoothed->data(), 50)) << c.hanningLen;
    }
}

TEST(RhythmFeatureExtractor, OneBandStatisticsAreTheScoreItself) {
    RhythmFeatureExtractor extractor(200, 5, 0.05f, kFramePeriod, 60, 200);
    BandMatrix m = randomMatrix(200, 1, 11);
    const std::vector<float> got = features(extractor, m);
    ASSERT_GT(got[0], 0.0f);
    EXPECT_FLOAT_EQ(got[1], got[0]);  // mean
    EXPECT_EQ(got[2], 0.0f);          // standard deviation of one value
    EXPECT_FLOAT_EQ(got[3], 1.0f);    // centroid
    EXPECT_NEAR(got[4], 0.0f, 1e-6f); // power-mean contrast
    EXPECT_FLOAT_EQ(got[5], 1.0f);    // rms to peak

    RhythmFeatureExtractor unsmoothed(200, 1, 0.05f, kFramePeriod, 60, 200);
    BandMatrix flat{200, 1, std::vector<float>(200, 0.5f)};  // a plateau has no peaks: score 0
    const std::vector<float> none = features(unsmoothed, flat);
    ASSERT_EQ(none[0], 0.0f);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(none[i], 0.0f) << i;
}

TEST(RhythmFeatureExtractor, SilenceGivesZerosButTheZeroFraction) {
    RhythmFeatureExtractor extractor(400, 7, 0.05f, kFramePeriod, 60, 200);
    BandMatrix silence{400, 3, std::vector<float>(1200, 0.0f)};
    const std::vector<float> got = features(extractor, silence);
    ASSERT_EQ(got.size(), 3u + 15 + 70);
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], i == 3 + 8 ? 1.0f : 0.0f) << i;
}

}  // namespace
