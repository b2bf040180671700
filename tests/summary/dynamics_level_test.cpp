// The dynamics level: a power law of band energy, so the dynamic range that zqx_swellgrid
// computes from it does not change with gain, where the logarithmic band levels did.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "modules/swellgrid/dynamic_range.h"
#include "summary/dynamics_level.h"

namespace {

constexpr int kBands = 24;

// 20 s of band energies, 10 ms apart: a swell from -40 to 0 dB and back, with random detail.
std::vector<float> swellEnergies(double gain) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> detail(0.5, 1.5);
    std::vector<float> energies;
    for (int f = 0; f < 2000; ++f) {
        const double envelope = std::pow(10.0, -4.0 * std::fabs(f - 1000) / 1000.0);
        for (int b = 0; b < kBands; ++b)
            energies.push_back(float(gain * gain * envelope * detail(rng) * 1e-2 / (1 + b)));
    }
    return energies;
}

// The mean level of each frame, as zqx_swellgrid takes it, then the module's dynamic range.
template <typename Level>
float dynamicRange(const std::vector<float>& energies, Level level) {
    std::vector<float> history;
    std::vector<float> row(kBands);
    for (std::size_t at = 0; at < energies.size(); at += kBands) {
        level(energies.data() + at, row.data());
        double sum = 0.0;
        for (float v : row) sum += v;
        history.push_back(float(sum / kBands));
    }
    Vector<float> work;
    return zqx::swellgrid::computeDynamicRange(history, zqx::swellgrid::makeSmoothingWindow(50), 10.0, work);
}

TEST(DynamicsLevel, DynamicRangeDoesNotChangeWithGain) {
    auto powerLaw = [](const float* e, float* out) { zqx::summary::powerLawLevels(e, kBands, out); };
    auto logScale = [](const float* e, float* out) {
        for (int b = 0; b < kBands; ++b) out[b] = float(std::log1p(1e6 * double(e[b])));
    };
    const float reference = dynamicRange(swellEnergies(1.0), powerLaw);
    EXPECT_GT(reference, 1.0f);
    for (double decibels : {-20.0, -40.0, 12.0}) {
        const double gain = std::pow(10.0, decibels / 20.0);
        EXPECT_NEAR(dynamicRange(swellEnergies(gain), powerLaw), reference, 0.01 * reference) << decibels << " dB";
        // The logarithmic levels the chain fed before move by far more than 1 %: the test can fail.
        const float before = dynamicRange(swellEnergies(1.0), logScale);
        EXPECT_GT(std::fabs(dynamicRange(swellEnergies(gain), logScale) - before), 0.05f * before) << decibels << " dB";
    }
}

TEST(DynamicsLevel, PowerLawOfEachBand) {
    const float energies[5] = {1.0f, 1e-6f, 0.0f, -1.0f, NAN};
    float out[5];
    zqx::summary::powerLawLevels(energies, 5, out);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_NEAR(out[1], std::pow(1e-6, 0.3), 1e-7);
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_EQ(out[3], 0.0f);
    EXPECT_EQ(out[4], 0.0f);
}

}  // namespace
