// BiquadDesigner: the worked design, unity gain at DC, the degenerate cutoff, tapCount refusal.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "modules/ratefold/biquad_designer.h"

namespace {

TEST(BiquadDesigner, DampingIsOneUlpBelowRootTwo) {
    BiquadDesigner d;
    EXPECT_EQ(d.damping, std::nextafter(std::sqrt(2.0), 0.0));
    EXPECT_EQ(d.warped, 1.0);
    EXPECT_EQ(d.warpedSquared, 1.0);
    EXPECT_EQ(d.norm, 1.0);
}

// The resampler's design for 44100 -> 22050 Hz (cutoff 22050 / 2 - 250).
TEST(BiquadDesigner, WorkedTaps) {
    BiquadDesigner d;
    double taps[6] = {};
    d.design(taps, 10775.0, 44100.0, 6, false);
    EXPECT_NEAR(d.warped, 0.642811, 1e-6);
    // arctan, not tan: the tangent warp would give K = 0.8929 here.
    EXPECT_NEAR(d.warped, std::sqrt(2.0) * std::atan(2.0 * 10775.0 / 44100.0), 1e-12);
    const double expected[6] = {0.177931, 0.355863, 0.177931, 1.0, -0.505360, 0.217086};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(taps[i], expected[i], 1e-6) << "tap " << i;
    EXPECT_NEAR((taps[0] + taps[1] + taps[2]) / (taps[3] + taps[4] + taps[5]), 1.0, 1e-14);
}

TEST(BiquadDesigner, DegenerateAndNegativeCutoff) {
    struct Case {
        double cutoff;
        bool highPass;
        std::vector<double> taps;
    };
    const std::vector<Case> cases = {
        {0.0, false, {0, 0, 0, 1, -2, 1}},
        {0.0, true, {1, -2, 1, 1, -2, 1}},
    };
    for (const auto& c : cases) {
        BiquadDesigner d;
        double taps[6] = {};
        d.design(taps, c.cutoff, 44100.0, 6, c.highPass);
        EXPECT_EQ(std::vector<double>(taps, taps + 6), c.taps) << "highPass " << c.highPass;
        EXPECT_EQ(d.norm, 1.0);
    }
    BiquadDesigner d;
    double taps[6] = {};
    d.design(taps, -200.0, 1000.0, 6, false);
    EXPECT_LT(d.warped, 0.0);
    EXPECT_NEAR(taps[0], d.warpedSquared / d.norm, 1e-15);
    EXPECT_NEAR(taps[5], (1.0 - d.damping * d.warped + d.warpedSquared) / d.norm, 1e-15);
}

TEST(BiquadDesigner, OtherTapCountsWriteNothing) {
    for (int count : {0, 5, 7}) {
        BiquadDesigner d;
        double taps[7] = {9, 9, 9, 9, 9, 9, 9};
        d.design(taps, 10775.0, 44100.0, count, false);
        for (double t : taps) EXPECT_EQ(t, 9.0) << "tapCount " << count;
        EXPECT_EQ(d.warped, 1.0);
    }
}

}  // namespace
