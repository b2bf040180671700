// The power and lobe shapes of the peak interpolation against the libm functions they stand in for,
// over every float exponent a magnitude can have and across each sixteenth of the mantissa.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tonalscan/peak_shape.h"

namespace {

using tonalscan::hannLobeHeight;
using tonalscan::kParabolaPower;
using tonalscan::parabolaPower;

TEST(PeakShape, PowerFollowsStdPowOverTheWholeFloatRange) {
    // Mantissas at the edges and the middle of the sixteenths, times powers of two from the
    // smallest normal float to the largest.
    const float mantissas[] = {1.0f, 1.03125f, 1.0624999f, 1.0625f, 1.5f, 1.53125f, 1.9999999f};
    for (int e = -126; e <= 127; ++e) {
        for (const float m : mantissas) {
            const float x = std::ldexp(m, e);
            const double expected = std::pow(static_cast<double>(x), kParabolaPower);
            EXPECT_NEAR(parabolaPower(x) / expected, 1.0, 1e-9) << "x = " << x;
        }
    }
}

TEST(PeakShape, PowerOfSpecialMagnitudes) {
    EXPECT_EQ(parabolaPower(0.0f), 0.0);
    const float subnormal = std::numeric_limits<float>::denorm_min() * 1000.0f;
    EXPECT_DOUBLE_EQ(parabolaPower(subnormal), std::pow(static_cast<double>(subnormal), kParabolaPower));
    EXPECT_TRUE(std::isinf(parabolaPower(std::numeric_limits<float>::infinity())));
    EXPECT_TRUE(std::isnan(parabolaPower(std::numeric_limits<float>::quiet_NaN())));
}

TEST(PeakShape, LobeHeightIsTheHannMainLobe) {
    EXPECT_EQ(hannLobeHeight(0.0), 1.0);
    for (int i = 1; i <= 500; ++i) {
        const double d = i / 1000.0;
        const double x = 3.141592653589793 * d;
        EXPECT_NEAR(hannLobeHeight(d), std::sin(x) / x / (1.0 - d * d), 1e-12) << "d = " << d;
    }
}

}  // namespace
