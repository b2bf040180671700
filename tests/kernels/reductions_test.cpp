// Reductions and the Hann window: worked values, NaN rules, wide accumulation, check order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "kernels/hann_window.h"
#include "kernels/reductions.h"

namespace {

const float kNan = std::numeric_limits<float>::quiet_NaN();

using Reduction = std::function<KernelStatus(const float*, std::int32_t, float*)>;

struct NamedReduction {
    const char* name;
    Reduction run;
    std::int32_t minimum;
};

const std::vector<NamedReduction>& reductions() {
    static const std::vector<NamedReduction> all = {
        {"vecSum", [](const float* x, std::int32_t n, float* r) { return vecSum(x, n, r, 1); }, 1},
        {"vecMean", [](const float* x, std::int32_t n, float* r) { return vecMean(x, n, r, 2); }, 1},
        {"vecMax", [](const float* x, std::int32_t n, float* r) { return vecMax(x, n, r); }, 1},
        {"vecStdDev", [](const float* x, std::int32_t n, float* r) { return vecStdDev(x, n, r, 1); }, 2},
    };
    return all;
}

TEST(Reductions, ChecksLeaveResultUntouched) {
    const float x[3] = {1, 2, 3};
    for (const auto& r : reductions()) {
        float result = 0.0f;
        EXPECT_EQ(r.run(nullptr, 0, &result), kStatusNullPointer) << r.name;
        EXPECT_EQ(r.run(x, 3, nullptr), kStatusNullPointer) << r.name;
        for (std::int32_t n : {r.minimum - 1, 0, -5}) {
            EXPECT_EQ(r.run(x, n, &result), kStatusBadLength) << r.name << " n=" << n;
            EXPECT_EQ(result, 0.0f) << r.name;
        }
    }
}

TEST(Reductions, WorkedValues) {
    struct Case {
        const char* name;
        std::vector<float> x;
        float sum, mean, max;
    };
    const std::vector<Case> cases = {
        {"1..5", {1, 2, 3, 4, 5}, 15, 3, 5},
        {"one value", {-2.5f}, -2.5f, -2.5f, -2.5f},
        {"negatives", {-3, -1, -2}, -6, -2, -1},
        // Float accumulation would lose every +1 against 2^24.
        {"wide sum", {16777216.0f, 1, 1, 1, 1}, 16777220.0f, 3355444.0f, 16777216.0f},
    };
    for (const auto& c : cases) {
        const auto n = static_cast<std::int32_t>(c.x.size());
        float sum = 0, mean = 0, max = 0;
        EXPECT_EQ(vecSum(c.x.data(), n, &sum, 1), kStatusOk);
        EXPECT_EQ(vecMean(c.x.data(), n, &mean, 1), kStatusOk);
        EXPECT_EQ(vecMax(c.x.data(), n, &max), kStatusOk);
        EXPECT_EQ(sum, c.sum) << c.name;
        EXPECT_EQ(mean, c.mean) << c.name;
        EXPECT_EQ(max, c.max) << c.name;
    }
}

TEST(Reductions, LongSumsRoundOnce) {
    std::vector<float> x(1000003);
    double exact = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = 0.1f + static_cast<float>(i % 7) * 0.01f;
        exact += x[i];
    }
    float sum = 0, mean = 0;
    const auto n = static_cast<std::int32_t>(x.size());
    vecSum(x.data(), n, &sum, 1);
    vecMean(x.data(), n, &mean, 1);
    EXPECT_EQ(sum, static_cast<float>(exact));
    EXPECT_EQ(mean, static_cast<float>(exact / n));
}

TEST(Reductions, MaxNanRules) {
    struct Case {
        std::vector<float> x;
        bool nan;
        float max;
    };
    const std::vector<Case> cases = {
        {{kNan, 1, 2}, true, 0},
        {{1, kNan, 2}, false, 2},
        {{3, kNan, 2}, false, 3},
        {{-std::numeric_limits<float>::infinity(), -1e30f}, false, -1e30f},
    };
    for (const auto& c : cases) {
        float max = 0;
        EXPECT_EQ(vecMax(c.x.data(), static_cast<std::int32_t>(c.x.size()), &max), kStatusOk);
        if (c.nan)
            EXPECT_TRUE(std::isnan(max));
        else
            EXPECT_EQ(max, c.max);
    }
}

TEST(Reductions, StdDev) {
    float r = -1;
    const float a[8] = {2, 4, 4, 4, 5, 5, 7, 9};
    EXPECT_EQ(vecStdDev(a, 8, &r, 1), kStatusOk);
    EXPECT_EQ(r, static_cast<float>(std::sqrt(32.0 / 7.0)));
    const float same[3] = {3, 3, 3};
    EXPECT_EQ(vecStdDev(same, 3, &r, 1), kStatusOk);
    EXPECT_EQ(r, 0.0f);
    // Constant data whose squares are inexact: D may cancel to a hair below 0; never NaN.
    std::vector<float> flat(4099, 1234.567f);
    EXPECT_EQ(vecStdDev(flat.data(), 4099, &r, 2), kStatusOk);
    EXPECT_FALSE(std::isnan(r));
    EXPECT_LT(r, 1e-3f);
    const float two[2] = {1, 3};
    EXPECT_EQ(vecStdDev(two, 2, &r, 1), kStatusOk);
    EXPECT_EQ(r, static_cast<float>(std::sqrt(2.0)));
}

TEST(HannWindow, WorkedValues) {
    const std::vector<std::vector<float>> cases = {
        {0, 1, 0},
        {0, 0.75f, 0.75f, 0},
        {0, 0.5f, 1, 0.5f, 0},
    };
    for (const auto& expected : cases) {
        std::vector<float> x(expected.size(), 1.0f);
        ASSERT_EQ(windowHannInPlace(x.data(), static_cast<std::int32_t>(x.size())), kStatusOk);
        for (std::size_t i = 0; i < x.size(); ++i)
            EXPECT_NEAR(x[i], expected[i], 1e-7) << "n=" << x.size() << " i=" << i;
    }
}

TEST(HannWindow, RefusesShortAndNull) {
    float x[2] = {4, 5};
    EXPECT_EQ(windowHannInPlace(x, 2), kStatusBadLength);
    EXPECT_EQ(windowHannInPlace(x, 0), kStatusBadLength);
    EXPECT_EQ(windowHannInPlace(x, -1), kStatusBadLength);
    EXPECT_EQ(windowHannInPlace(nullptr, -1), kStatusNullPointer);
    EXPECT_EQ(x[0], 4.0f);
    EXPECT_EQ(x[1], 5.0f);
}

// Factors against a double cosine, mirrored ends bitwise equal, odd middle untouched.
TEST(HannWindow, SymmetricAndAccurate) {
    for (std::int32_t n : {6, 7, 1024, 1025, 65537}) {
        std::vector<float> x(static_cast<std::size_t>(n), 1.0f);
        if (n % 2) x[n / 2] = 3.7f;
        ASSERT_EQ(windowHannInPlace(x.data(), n), kStatusOk);
        for (std::int32_t i = 0; i < n / 2; ++i) {
            const double expected = 0.5 * (1.0 - std::cos(2.0 * M_PI * i / (n - 1)));
            // One float rounding of a factor in [0, 1] is at most 2^-25; the recurrence adds far less.
            ASSERT_NEAR(x[i], expected, 6e-8) << "n=" << n << " i=" << i;
            ASSERT_EQ(std::memcmp(&x[i], &x[n - 1 - i], sizeof(float)), 0) << "n=" << n << " i=" << i;
        }
        if (n % 2) {
            EXPECT_EQ(x[n / 2], 3.7f) << "n=" << n;
        }
    }
}

}  // namespace
