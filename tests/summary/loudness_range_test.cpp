// LoudnessRange on hand-made lists of short-term values: the two gates and the percentile ranks.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include "summary/loudness_range.h"

namespace {

using zqx::summary::LoudnessRange;

std::vector<double> repeated(double lufs, int count) { return std::vector<double>(std::size_t(count), lufs); }

std::vector<double> joined(std::vector<double> a, const std::vector<double>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// count values from `from` LUFS up in steps of 0.5 LU.
std::vector<double> halfStepRamp(double from, int count) {
    std::vector<double> v;
    for (int i = 0; i < count; ++i) v.push_back(from + 0.5 * i);
    return v;
}

// -60, -59, ... -40 LUFS: 21 values, all above the relative gate (the power mean is -46.8 LUFS).
std::vector<double> evenRamp() {
    std::vector<double> v;
    for (int l = -60; l <= -40; ++l) v.push_back(l);
    return v;
}

TEST(LoudnessRange, GatesAndPercentiles) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        std::vector<double> values;
        std::size_t kept;
        double expectedLu;
    } cases[] = {
        {"nothing", {}, 0, 0.0},
        {"silence and NaN", {-inf, -70.5, nan, -200.0}, 0, 0.0},
        {"one value", {-23.0}, 1, 0.0},
        // -70 LUFS itself passes the absolute gate.
        {"at the absolute gate", {-70.0, -70.0, -69.0}, 3, 1.0},
        // Power mean of {-20 x10, -45 x10} is -23.0 LUFS: the gate at -43.0 drops the -45s.
        {"relative gate drops", joined(repeated(-20, 10), repeated(-45, 10)), 20, 0.0},
        // ... and of {-20 x10, -35 x10} -22.9 LUFS: the -35s stay, 10th percentile -35, 95th -20.
        {"relative gate keeps", joined(repeated(-20, 10), repeated(-35, 10)), 20, 15.0},
        // n = 21: ranks round(0.1 * 21) = 2 and round(0.95 * 21) = 20, i.e. -59 and -41 (the
        // reference code's indices round(0.1 * 20) = 2 and round(0.95 * 20) = 19 would give 17).
        {"ranks of 21", evenRamp(), 21, 18.0},
        // n = 11 (-50 ... -40): ranks round(1.1) = 1 and round(10.45) = 10: -50 and -41.
        {"ranks of 11", {-50, -49, -48, -47, -46, -45, -44, -43, -42, -41, -40}, 11, 9.0},
        // n = 30 (-45, -44.5, ... -30.5, all above the gate): ranks 3 and round(28.5) = 29 (halves
        // round up): -44 and -31 (the reference code's indices 3 and 28: 12.5).
        {"ranks of 30", halfStepRamp(-45.0, 30), 30, 13.0},
    };
    for (const auto& c : cases) {
        LoudnessRange range;
        for (double v : c.values) range.add(v);
        EXPECT_EQ(range.size(), c.kept) << c.name;
        EXPECT_NEAR(range.rangeLu(), c.expectedLu, 1e-4) << c.name;
    }
}

TEST(LoudnessRange, OrderAndGainDoNotMatter) {
    std::vector<double> values = joined(evenRamp(), repeated(-75.0, 5));
    std::mt19937 shuffle(17);
    for (int round = 0; round < 3; ++round) {
        std::shuffle(values.begin(), values.end(), shuffle);
        LoudnessRange range, quieter;
        for (double v : values) {
            range.add(v);
            quieter.add(v - 9.0);  // the whole ramp stays above -70 LUFS
        }
        EXPECT_NEAR(range.rangeLu(), 18.0, 1e-4);
        EXPECT_NEAR(quieter.rangeLu(), 18.0, 1e-4);
    }
}

}  // namespace
