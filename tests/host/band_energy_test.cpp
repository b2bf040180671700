// The band-energy front-end: framing, band layout, scale and independence from chunking.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/support/signals.h"
#include "host/band_energy.h"
#include "kernels/hann_window.h"
#include "kernels/real_fft.h"

namespace {

using zqx::host::BandEnergyFrontEnd;


std::vector<float> analyse(int rate, const std::vector<float>& x) {
    BandEnergyFrontEnd frontEnd(rate);
    std::vector<float> rows;
    frontEnd.push(x.data(), x.size(), rows);
    frontEnd.finish(rows);
    return rows;
}

TEST(BandEnergy, LayoutFollowsTheRate) {
    const struct {
        int rate, bands, frameLength;
        double topEdge;
    } cases[] = {{44100, 24, 1024, 15500}, {48000, 24, 1024, 15500}, {22050, 23, 512, 11025},
                 {16000, 22, 512, 8000},   {8000, 18, 256, 4000}};
    for (const auto& c : cases) {
        BandEnergyFrontEnd frontEnd(c.rate);
        EXPECT_EQ(frontEnd.bandCount(), c.bands) << c.rate;
        EXPECT_EQ(frontEnd.frameLength(), c.frameLength) << c.rate;
        EXPECT_EQ(frontEnd.bandEdges().back(), c.topEdge) << c.rate;
        EXPECT_EQ(frontEnd.bandEdges().size(), std::size_t(c.bands + 1));
    }
    EXPECT_THROW(BandEnergyFrontEnd(500), std::invalid_argument);
}

TEST(BandEnergy, OneRowPerTenMillisecondsWhateverTheChunks) {
    const int rate = 22050;
    std::vector<float> x(rate + 37);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (float& v : x) v = noise(random);
    const std::vector<float> whole = analyse(rate, x);
    // Frames start at floor(i * rate / 100) < n: 101 starts for 1.0017 s.
    EXPECT_EQ(whole.size(), std::size_t(101 * 23));

    BandEnergyFrontEnd frontEnd(rate);
    std::vector<float> pieces;
    std::size_t at = 0;
    for (std::size_t step : {1u, 700u, 3u, 4096u, 220u, 9999u}) {
        const std::size_t n = std::min(step, x.size() - at);
        frontEnd.push(x.data() + at, n, pieces);
        at += n;
    }
    frontEnd.push(x.data() + at, x.size() - at, pieces);
    frontEnd.finish(pieces);
    EXPECT_EQ(pieces, whole);
}

TEST(BandEnergy, ToneLandsInItsBandOnACompressedNonNegativeScale) {
    const int rate = 44100;
    const std::vector<float> loud = analyse(rate, zqx::test::sineTone(1000.0, 1.0, rate, 22050));
    const std::vector<float> quiet = analyse(rate, zqx::test::sineTone(1000.0, 0.1, rate, 22050));
    const std::vector<float> silent = analyse(rate, std::vector<float>(22050, 0.0f));
    const int bands = 24;
    const std::size_t row = 20 * bands;  // a frame well inside the signal
    const auto peak = std::max_element(loud.begin() + row, loud.begin() + row + bands) - (loud.begin() + row);
    EXPECT_EQ(peak, 8);  // 920 .. 1080 Hz
    EXPECT_GT(loud[row + 8], 10.0f);
    EXPECT_LT(loud[row + 8], 12.5f);
    // 20 dB down is ln(100) = 4.6 lower while far above the floor.
    EXPECT_NEAR(loud[row + 8] - quiet[row + 8], std::log(100.0), 0.05);
    for (float v : loud) ASSERT_GE(v, 0.0f);
    for (float v : silent) ASSERT_EQ(v, 0.0f);
}

// The front-end sums several bands side by side; each value must still be the float of its
// definition: ln(1 + 1e6 * E), E summed bin by bin in ascending order in double.
TEST(BandEnergy, ValuesAreTheirDefinitionBitForBit) {
    for (int rate : {8000, 22050, 44100, 48000, 96000}) {
        BandEnergyFrontEnd frontEnd(rate);
        const int n = frontEnd.frameLength();
        const auto x = zqx::test::uniformNoise(static_cast<std::size_t>(n), static_cast<unsigned>(rate));
        std::vector<float> rows;
        frontEnd.push(x.data(), x.size(), rows);
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(frontEnd.bandCount()));

        std::vector<float> w(static_cast<std::size_t>(n), 1.0f), spectrum(static_cast<std::size_t>(n));
        windowHannInPlace(w.data(), n);
        for (int i = 0; i < n; ++i) spectrum[std::size_t(i)] = x[std::size_t(i)] * w[std::size_t(i)];
        RealFftPlan* plan = nullptr;
        ASSERT_EQ(realFftCreate(&plan, static_cast<int>(std::log2(n)), NormalizeForward, 0), kStatusOk);
        realFftForward(spectrum.data(), spectrum.data(), plan, nullptr);
        realFftDestroy(plan);
        const double binWidth = double(rate) / n;
        const std::vector<double>& edges = frontEnd.bandEdges();
        for (int b = 0; b < frontEnd.bandCount(); ++b) {
            double energy = 0.0;
            for (int k = std::max(1, int(std::ceil(edges[std::size_t(b)] / binWidth)));
                 k < std::min(n / 2, int(std::ceil(edges[std::size_t(b) + 1] / binWidth))); ++k) {
                const double re = spectrum[std::size_t(2 * k)], im = spectrum[std::size_t(2 * k + 1)];
                energy += re * re + im * im;
            }
            EXPECT_EQ(rows[std::size_t(b)], static_cast<float>(std::log1p(1e6 * energy))) << rate << " Hz, band " << b;
        }
    }
}

}  // namespace
