// The FFT-mode analysis steps on their own: frame sizing, the per-bin tables at the usual
// settings (44100 Hz, 4096-sample blocks), harmonic summation, peak search and folding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "modules/tonewheel/fft_chroma.h"
#include "tests/support/signals.h"

namespace {

using namespace zqx::tonewheel;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kFrame = 2048;  // what a 4096-sample block analyses
constexpr std::uint32_t kBins = kFrame / 2;
constexpr float kBinWidth = 21.533203f;

TEST(FftChroma, PitchTableIsEqualTempered) {
    std::vector<float> f(kNumPitches);
    fillPitchFrequencies(f.data());
    EXPECT_EQ(f[0], 8.175799f);
    // Both float constants sit slightly high: about 1.7e-7 relative, three ulps at 440 Hz.
    EXPECT_NEAR(f[69], 440.0f, 1e-4f);
    EXPECT_NEAR(f[60], 261.6256f, 1e-3f);
    for (std::uint32_t i = 12; i < kNumPitches; ++i) ASSERT_NEAR(f[i] / f[i - 12], 2.0f, 2e-6f) << i;
}

TEST(FftChroma, FrameIsLargestPowerOfTwoBelowBlock) {
    const struct {
        std::uint32_t n, frameLength, order;
    } cases[] = {{1, 1, 0},     {2, 1, 0},      {3, 2, 1},       {4, 2, 1},     {5, 4, 2},
                 {513, 512, 9}, {1000, 512, 9}, {1024, 512, 9},  {1025, 1024, 10},
                 {4096, 2048, 11}, {0x80000001u, 0x80000000u, 31}};
    for (const auto& c : cases) {
        const FrameSize s = analysedFrameSize(c.n);
        EXPECT_EQ(s.frameLength, c.frameLength) << c.n;
        EXPECT_EQ(s.fftOrder, c.order) << c.n;
    }
    EXPECT_EQ(binWidthFor(kRate, kFrame), kBinWidth);
    EXPECT_EQ(binWidthFor(kRate, kFrame), 21.533203125f);
}

TEST(FftChroma, PeakSearchRange) {
    const struct {
        float binWidth;
        std::uint32_t loedge, hiedge, bins, lo, hi;
    } cases[] = {
        {kBinWidth, 100, 5000, kBins, 5, 231},           // candidates 5..230
        {kBinWidth, 0, 4294967295u, kBins, 1, kBins - 1}, // unset hiedge: up to bin M-2
        {kBinWidth, 100, 200000, kBins, 5, kBins - 1},   // above Nyquist
        {kBinWidth, 100, 120, kBins, 0, 0},              // narrower than a bin
        {44100.0f, 0, 30000, 0, 0, 0},                   // one-sample frame: no bins
        {22050.0f, 0, 30000, 1, 0, 0},
        {11025.0f, 0, 30000, 2, 0, 0},                   // two bins: no bin has two neighbours
        {5512.5f, 0, 30000, 4, 1, 3},
    };
    for (const auto& c : cases) {
        const PeakSearchRange r = peakSearchRange(c.binWidth, c.loedge, c.hiedge, c.bins);
        if (c.hi == 0) {
            EXPECT_LE(r.hi, r.lo) << c.loedge << ".." << c.hiedge << " over " << c.bins << " bins";
        } else {
            EXPECT_EQ(r.lo, c.lo) << c.loedge << ".." << c.hiedge;
            EXPECT_EQ(r.hi, c.hi) << c.loedge << ".." << c.hiedge;
        }
    }
}

TEST(FftChroma, BinsMapToNearestPitchClass) {
    std::vector<float> pitches(kNumPitches);
    fillPitchFrequencies(pitches.data());
    Vector<std::uint32_t> map;
    computeBinToPitchClass(pitches.data(), kBinWidth, kFrame, map);
    ASSERT_EQ(map.size, kBins);
    const std::pair<std::uint32_t, std::uint32_t> expected[] = {{0, 0}, {1, 5}, {12, 0}, {20, 9}, {21, 9}};
    for (const auto& [bin, pitchClass] : expected) EXPECT_EQ(map.data[bin], pitchClass) << "bin " << bin;
}

TEST(FftChroma, EquallyNearPitchesKeepTheLower) {
    // Pitch i at 100 + 200 i Hz and bins 200 Hz apart: bin k lies 100 Hz from pitches k-1 and k.
    std::vector<float> pitches(kNumPitches);
    for (std::uint32_t i = 0; i < kNumPitches; ++i) pitches[i] = 100.0f + 200.0f * i;
    Vector<std::uint32_t> map;
    computeBinToPitchClass(pitches.data(), 200.0f, 64, map);
    ASSERT_EQ(map.size, 32u);
    EXPECT_EQ(map.data[0], 0u);
    for (std::uint32_t k = 1; k < 32; ++k) EXPECT_EQ(map.data[k], (k - 1) % 12) << "bin " << k;
}

TEST(FftChroma, EarTransferWeights) {
    Vector<float> w;
    computeEarWeights(true, kRate, kFrame, w);
    ASSERT_EQ(w.size, kBins);
    EXPECT_EQ(w.data[0], 0.0f);
    // Five significant digits as tabled; bin 77 sits near the curve's maximum.
    const std::pair<std::uint32_t, float> expected[] = {
        {1, 0.0055992f}, {10, 0.44419f}, {77, 3.69873f}, {200, 0.26128f}};
    for (const auto& [bin, weight] : expected) EXPECT_NEAR(w.data[bin], weight, weight * 2e-5f) << "bin " << bin;
    EXPECT_EQ(w.data[1000], 0.0f);
    EXPECT_EQ(*std::max_element(w.data, w.data + w.size), w.data[77]);

    computeEarWeights(false, kRate, kFrame, w);
    ASSERT_EQ(w.size, kBins);
    EXPECT_TRUE(std::all_of(w.data, w.data + w.size, [](float x) { return x == 1.0f; }));
}

TEST(FftChroma, HarmonicsAreAddedFromUnchangedBins) {
    std::vector<float> m(kBins, 0.0f);
    m[100] = 1.0f;
    m[200] = 4.0f;
    m[500] = 1.0f;
    m[40] = 7.0f;  // below the fundamentals: kept, and never a harmonic of them
    addHarmonics(m.data(), kBins);
    const double g2 = 0.9822222, g4 = 0.9288889, g5 = 0.8888889, g10 = 1.0 - (10.0 / 15) * (10.0 / 15);
    const std::pair<std::uint32_t, double> expected[] = {
        {40, 7.0},                              // untouched
        {50, g2 * 1 + g4 * 4 + g10 * 1},        // reads bin 100 before it grows
        {100, 1 + g2 * 4 + g5 * 1},
        {125, g4 * 1},
        {200, 4.0},
        {250, g2 * 1},
        {500, 1.0},                             // above the fundamentals: untouched
    };
    for (const auto& [bin, value] : expected) EXPECT_NEAR(m[bin], value, 2e-6 * value) << "bin " << bin;
    double total = 0;
    for (float x : m) total += x;
    double expectedTotal = 0;
    for (const auto& e : expected) expectedTotal += e.second;
    EXPECT_NEAR(total, expectedTotal, 1e-5) << "no other bin changes";

    // A short spectrum only offers the harmonics it has.
    std::vector<float> shortSpectrum(120, 0.0f);
    shortSpectrum[100] = 1.0f;
    addHarmonics(shortSpectrum.data(), 100);
    EXPECT_EQ(shortSpectrum[50], 0.0f);
}

// A lone harmonic h of fundamental 60 leaves exactly g(h) on bin 60. For h = 10..14 the weights come
// from 0.0666667f, not 1/15: they differ from 1 - (h/15)^2 in the float (0.555555582 for h = 10).
TEST(FftChroma, HarmonicWeights) {
    const float expected[15] = {0, 0, 0.9822222f, 0.96f, 0.9288889f, 0.8888889f, 0.84f, 0.7822222f, 0.71555555f,
                                0.64f, 0.555555105f, 0.462221682f, 0.359999359f, 0.248888135f, 0.128888026f};
    for (std::uint32_t h = 2; h < 15; ++h) {
        std::vector<float> m(kBins, 0.0f);
        m[60 * h] = 1.0f;
        addHarmonics(m.data(), kBins);
        EXPECT_EQ(m[60], expected[h]) << "h = " << h;
    }
}

TEST(FftChroma, PeaksAreStrictLocalMaximaAboveZero) {
    //                            0  1  2  3  4  5  6  7  8  9  10 11
    const std::vector<float> m = {9, 1, 3, 1, 2, 2, 1, 0, 0, 5, 4, 6};
    float values[11];
    std::uint32_t bins[11];
    ASSERT_EQ(pickPeaks(m.data(), {1, 11}, values, bins), 2u);  // 0 and 11 lack a neighbour, 4-5 is a plateau
    EXPECT_EQ(bins[0], 2u);
    EXPECT_EQ(bins[1], 9u);
    EXPECT_EQ(values[1], 5.0f);
}

TEST(FftChroma, SortKeepsItsOrderOfEqualPeaks) {
    // Worked by hand through the quicksort; a stable sort would give bins 1, 3, 0, 2.
    std::vector<float> v = {1, 2, 1, 2};
    std::vector<std::uint32_t> b = {0, 1, 2, 3};
    BaseVector<float> values(v.data(), 4);
    BaseVector<std::uint32_t> bins(b.data(), 4);
    sortPeaksDescending(values, bins);
    EXPECT_EQ(v, (std::vector<float>{2, 2, 1, 1}));
    EXPECT_EQ(b, (std::vector<std::uint32_t>{3, 1, 0, 2}));

    // Many duplicates: sorted, and each bin still carries its value (bin i holds value f(i)).
    std::mt19937 rng(7);
    for (std::uint32_t n : {1u, 2u, 3u, 17u, 300u}) {
        std::vector<float> vv(n);
        std::vector<std::uint32_t> bb(n);
        for (std::uint32_t i = 0; i < n; ++i) bb[i] = static_cast<std::uint32_t>(rng() % 40);
        for (std::uint32_t i = 0; i < n; ++i) vv[i] = static_cast<float>(bb[i] % 13);
        BaseVector<float> vs(vv.data(), n);
        BaseVector<std::uint32_t> bs(bb.data(), n);
        sortPeaksDescending(vs, bs);
        EXPECT_TRUE(std::is_sorted(vv.begin(), vv.end(), std::greater<float>())) << n;
        for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ(vv[i], static_cast<float>(bb[i] % 13)) << n;
    }
}

// Folding only the strongest peaks gives the sums of the full quicksort and fold, bit for bit, with
// ties inside the kept ones, across the cut, and none; for every limit from none to all.
TEST(FftChroma, StrongestPeaksFoldAsTheFullSortDoes) {
    std::mt19937 rng(11);
    std::vector<std::uint32_t> classOf(4096);
    for (std::uint32_t k = 0; k < classOf.size(); ++k) classOf[k] = (k * 7 + k / 5) % 12;
    for (std::uint32_t n : {1u, 2u, 9u, 10u, 11u, 40u, 200u}) {
        for (int distinctValues : {3, 20, 1000000}) {
            std::vector<float> values(n);
            std::vector<std::uint32_t> bins(n);
            for (std::uint32_t i = 0; i < n; ++i) {
                values[i] = 0.37f * float(1 + rng() % std::uint32_t(distinctValues));
                bins[i] = std::uint32_t(rng() % 4096);
            }
            for (std::uint32_t limit : {0u, 1u, 3u, 10u, n - 1, n, n + 5, 4294967295u}) {
                auto v1 = values, v2 = values;
                auto b1 = bins, b2 = bins;
                float want[12] = {}, got[12] = {};
                BaseVector<float> vs(v1.data(), n);
                BaseVector<std::uint32_t> bs(b1.data(), n);
                sortPeaksDescending(vs, bs);
                foldPeaks(vs, bs, limit, classOf.data(), want);
                std::vector<std::uint32_t> order(n);
                foldStrongestPeaks(v2.data(), b2.data(), n, limit, classOf.data(), order.data(), got);
                ASSERT_EQ(0, std::memcmp(want, got, sizeof got)) << n << " peaks, " << distinctValues << " values, top " << limit;
            }
        }
    }
}

// The harmonic summation and the mean fold run their work in another order than their definition
// reads; each must still give the definition's floats bit for bit. The plain loops here are that
// definition: per fundamental, harmonics in ascending order; per bin, a scatter into its class.
void addHarmonicsByDefinition(float* m, std::uint32_t bins) {
    const double g[15] = {0, 0, 0.9822222f, 0.96f, 0.9288889f, 0.8888889f, 0.84f, 0.7822222f, 0.71555555f, 0.64f,
                          1 - (10 * double(0.0666667f)) * (10 * double(0.0666667f)),
                          1 - (11 * double(0.0666667f)) * (11 * double(0.0666667f)),
                          1 - (12 * double(0.0666667f)) * (12 * double(0.0666667f)),
                          1 - (13 * double(0.0666667f)) * (13 * double(0.0666667f)),
                          1 - (14 * double(0.0666667f)) * (14 * double(0.0666667f))};
    for (std::uint32_t b = 50; b < 400 && b < bins; ++b)
        for (std::uint32_t h = 2; h < 15 && h * b < bins; ++h) m[b] = static_cast<float>(m[b] + g[h] * m[h * b]);
}

void foldMeanByDefinition(const float* m, const float* w, const std::uint32_t* classOf, std::uint32_t bins,
                          float* mean) {
    float sums[12] = {};
    std::uint32_t counts[12] = {};
    for (std::uint32_t k = 0; k < bins; ++k) {
        sums[classOf[k]] += w[k] * m[k];
        ++counts[classOf[k]];
    }
    for (int c = 0; c < 12; ++c) mean[c] = counts[c] > 1 ? sums[c] * static_cast<float>(1.0 / counts[c]) : sums[c];
}

TEST(FftChroma, ReorderedStepsGiveTheDefinitionsBits) {
    std::vector<float> pitches(kNumPitches);
    fillPitchFrequencies(pitches.data());
    // Frame lengths around the fixed bins 50, 100 and 400, and the usual ones, at three rates.
    for (std::uint32_t frame : {2u, 64u, 128u, 200u, 256u, 798u, 800u, 802u, 1024u, 2048u, 8192u}) {
        for (std::uint32_t rate : {22050u, 44100u, 96000u}) {
            const std::uint32_t bins = frame / 2;
            auto m = zqx::test::uniformNoise(bins, frame + rate);
            for (float& v : m) v = std::fabs(v) * 1e3f;
            auto want = m;
            addHarmonics(m.data(), bins);
            addHarmonicsByDefinition(want.data(), bins);
            ASSERT_EQ(0, std::memcmp(m.data(), want.data(), bins * sizeof(float))) << frame << " " << rate;

            Vector<float> weights;
            Vector<std::uint32_t> classOf;
            computeEarWeights(true, rate, frame, weights);
            computeBinToPitchClass(pitches.data(), binWidthFor(rate, frame), frame, classOf);
            ClassBins groups;
            groupBinsByClass(classOf.data, bins, groups);
            float got[12], expected[12];
            std::vector<float> weighted(bins + 1);
            foldMeanSpectrum(m.data(), weights.data, groups, weighted.data(), got);
            foldMeanByDefinition(m.data(), weights.data, classOf.data, bins, expected);
            ASSERT_EQ(0, std::memcmp(got, expected, sizeof got)) << frame << " " << rate;
        }
    }
}

}  // namespace
