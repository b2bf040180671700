// CChromaModule against a plain double-precision reference of the whole FFT-mode chain (Hann
// window, DFT, ear weights, harmonics, peaks, folding), so that every step is wired in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/support/fake_parameter_set.h"
#include "modules/tonewheel/chroma_module.h"
#include "modules/tonewheel/fft_chroma.h"

namespace {

using namespace zqx::tonewheel;
// The module classes read their parameters from a fake set; no host library is needed.
using ParameterMap = zqx::test::FakeParameterSet;

// The 24 values for `x` (rate 44100) computed directly from their definition, with the module's
// own tables, which fft_chroma_test checks on their own.
std::vector<double> referenceChroma(const std::vector<float>& x, bool earTransfer, std::uint32_t loedge,
                                    std::uint32_t hiedge) {
    const FrameSize size = analysedFrameSize(static_cast<std::uint32_t>(x.size()));
    const std::uint32_t n = size.frameLength, bins = n / 2;
    const float binWidth = binWidthFor(44100, n);
    std::vector<float> pitches(kNumPitches);
    fillPitchFrequencies(pitches.data());
    Vector<float> weights;
    Vector<std::uint32_t> classOf;
    computeEarWeights(earTransfer, 44100, n, weights);
    computeBinToPitchClass(pitches.data(), binWidth, n, classOf);

    std::vector<float> magnitude(bins);
    for (std::uint32_t k = 0; k < bins; ++k) {
        double re = 0, im = 0;
        for (std::uint32_t t = 0; t < n; ++t) {
            const double w = 0.5 * (1.0 - std::cos(2.0 * M_PI * t / (n - 1)));
            const double angle = -2.0 * M_PI * static_cast<double>((static_cast<std::uint64_t>(k) * t) % n) / n;
            re += w * x[t] * std::cos(angle);
            im += w * x[t] * std::sin(angle);
        }
        magnitude[k] = static_cast<float>(std::hypot(re, im) * weights.data[k]);
    }
    addHarmonics(magnitude.data(), bins);

    std::vector<double> chroma(24, 0.0);
    const PeakSearchRange range = peakSearchRange(binWidth, loedge, hiedge, bins);
    bool anyPeak = false;
    for (std::uint32_t k = range.lo; k < range.hi; ++k) {
        if (magnitude[k - 1] < magnitude[k] && magnitude[k + 1] < magnitude[k] && magnitude[k] > 0) {
            chroma[classOf.data[k]] += magnitude[k];
            anyPeak = true;
        }
    }
    if (!anyPeak) return chroma;
    std::vector<int> count(12, 0);
    for (std::uint32_t k = 0; k < bins; ++k) {
        chroma[12 + classOf.data[k]] += static_cast<double>(weights.data[k]) * magnitude[k];
        ++count[classOf.data[k]];
    }
    for (int c = 0; c < 12; ++c)
        if (count[c] > 0) chroma[12 + c] /= count[c];
    return chroma;
}

TEST(ChromaModule, MatchesReferenceChain) {
    const struct {
        bool earTransfer;
        int loedge, hiedge;
        std::uint32_t samples;
        std::vector<double> frequencies;
    } cases[] = {
        {true, 100, 5000, 4096, {440.0, 1318.5}},
        {false, 100, 5000, 4096, {261.63, 329.63, 392.0, 1567.98}},
        {true, 50, 20000, 1500, {110.0, 3520.0}},
    };
    for (const auto& c : cases) {
        std::vector<float> x(c.samples);
        for (std::uint32_t i = 0; i < c.samples; ++i) {
            double s = 0.01 * std::sin(0.37 * i * i);  // a little broadband content
            for (double f : c.frequencies) s += std::sin(2.0 * M_PI * f * i / 44100.0 + f);
            x[i] = static_cast<float>(s);
        }
        ParameterMap params{{"loedge", c.loedge}, {"hiedge", c.hiedge}, {"earTransfer", c.earTransfer},
                            {"numMaxima", -1}, {"useMRFFT", false}};
        ParameterMap global{{"samplingRate", 44100}, {"windowSize", 4096}, {"overlapSize", 0}};
        CChromaModule module(&params, &global);
        BaseMatrix<float> block(x.data(), 1, c.samples);
        DataBlock* out = nullptr;
        module.process(out, &block);
        const auto& chroma = *static_cast<const BaseVector<float>*>(out);
        ASSERT_EQ(chroma.size, 24u);

        const std::vector<double> expected = referenceChroma(x, c.earTransfer, c.loedge, c.hiedge);
        // Single-precision FFT against a double DFT: relative to each half's largest value.
        for (int half = 0; half < 2; ++half) {
            const double scale = *std::max_element(expected.begin() + 12 * half, expected.begin() + 12 * half + 12);
            ASSERT_GT(scale, 0.0);
            for (int i = 12 * half; i < 12 * half + 12; ++i)
                EXPECT_NEAR(chroma.data[i], expected[i], 1e-4 * scale) << "value " << i << ", " << c.samples << " samples";
        }
    }
}

}  // namespace
