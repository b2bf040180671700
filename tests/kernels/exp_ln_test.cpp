// In-place exponential and logarithm: the special-value tables bit by bit, accuracy, check order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kernels/detail/float_bits.h"
#include "kernels/exp_ln.h"

namespace {

using zqx::detail::floatBits;
using zqx::detail::floatFromBits;

const float kInf = std::numeric_limits<float>::infinity();

TEST(ExpLn, ChecksWriteNothing) {
    float x[2] = {2, 3};
    EXPECT_EQ(vecExpInPlace(nullptr, 0), kStatusNullPointer);
    EXPECT_EQ(vecLnInPlace(nullptr, 0), kStatusNullPointer);
    for (std::int32_t n : {0, -1}) {
        EXPECT_EQ(vecExpInPlace(x, n), kStatusBadLength);
        EXPECT_EQ(vecLnInPlace(x, n), kStatusBadLength);
    }
    EXPECT_EQ(x[0], 2.0f);
    EXPECT_EQ(x[1], 3.0f);
}

TEST(ExpLn, LnWorkedValuesAndFirstAnomaly) {
    std::vector<float> a = {1, std::exp(1.0f), 0, -1};
    EXPECT_EQ(vecLnInPlace(a.data(), 4), kStatusLnOfZero);
    EXPECT_EQ(a[0], 0.0f);
    EXPECT_NEAR(a[1], 1.0f, 1e-7f);
    EXPECT_EQ(a[2], -kInf);
    EXPECT_EQ(floatBits(a[3]), 0xFFC00000u);
    std::vector<float> b = {-1, 0, floatFromBits(0x7FA00000u)};
    EXPECT_EQ(vecLnInPlace(b.data(), 3), kStatusLnOfNegative);
    EXPECT_EQ(floatBits(b[0]), 0xFFC00000u);
    EXPECT_EQ(b[1], -kInf);
    EXPECT_EQ(floatBits(b[2]), 0x7FC00000u);
}

// Each row of the exponential's table, at every position of a run long enough to be vectorised,
// so that the blocked loop and its tail agree.
TEST(ExpLn, ExpSpecialValuesByBitPattern) {
    struct Case {
        std::uint32_t in, out;
    };
    const float justBelowOverflow = floatFromBits(0x42B17217u);
    const float justAboveUnderflow = floatFromBits(0xC2AEAC4Fu);
    const std::vector<Case> cases = {
        {0x00000000u, 0x3F800000u},  // +0
        {0x80000000u, 0x3F800000u},  // -0
        {0x00000001u, 0x3F800000u},  // subnormals of both signs
        {0x807FFFFFu, 0x3F800000u},
        {0x42B17218u, 0x7F800000u},  // 88.72284 and up
        {0x42C80000u, 0x7F800000u},  // 100
        {0x7F800000u, 0x7F800000u},  // +inf
        {0xC2AEAC50u, 0x00000000u},  // -87.33654 and down
        {0xC2C80000u, 0x00000000u},  // -100
        {0xFF800000u, 0x00000000u},  // -inf
        {0x7FC00001u, 0x7FC00000u},  // NaN keeps its sign only
        {0x7F800001u, 0x7FC00000u},
        {0xFFA00000u, 0xFFC00000u},
        {floatBits(1.0f), floatBits(static_cast<float>(std::exp(1.0)))},
    };
    for (const auto& c : cases) {
        for (std::size_t pos = 0; pos < 19; ++pos) {
            std::vector<float> x(19, 0.5f);
            x[pos] = floatFromBits(c.in);
            ASSERT_EQ(vecExpInPlace(x.data(), 19), kStatusOk);
            ASSERT_EQ(floatBits(x[pos]), c.out) << std::hex << c.in << " at " << std::dec << pos;
            ASSERT_EQ(x[(pos + 1) % 19], static_cast<float>(std::exp(0.5))) << std::hex << c.in;
        }
    }
    float edge[2] = {justBelowOverflow, justAboveUnderflow};
    ASSERT_EQ(vecExpInPlace(edge, 2), kStatusOk);
    EXPECT_TRUE(std::isfinite(edge[0]));
    EXPECT_GT(edge[0], 3.4e38f);
    EXPECT_GE(edge[1], std::numeric_limits<float>::min());
}

// Within one float ulp of the double result over the whole finite range, for runs of every
// length around the vector width.
TEST(ExpLn, ExpAccuracy) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> wide(-87.3f, 88.7f);
    std::uniform_real_distribution<float> narrow(-1.0f, 1.0f);
    int worst = 0;
    for (int length = 1; length <= 4096; length = length < 20 ? length + 1 : length * 2) {
        std::vector<float> x(static_cast<std::size_t>(length));
        for (std::size_t i = 0; i < x.size(); ++i) x[i] = (i % 2) ? wide(rng) : narrow(rng);
        std::vector<float> y = x;
        ASSERT_EQ(vecExpInPlace(y.data(), length), kStatusOk);
        for (std::size_t i = 0; i < x.size(); ++i) {
            const float expected = static_cast<float>(std::exp(static_cast<double>(x[i])));
            const int ulps = std::abs(static_cast<int>(floatBits(y[i])) - static_cast<int>(floatBits(expected)));
            worst = std::max(worst, ulps);
            ASSERT_LE(ulps, 1) << "exp(" << x[i] << ") = " << y[i] << ", want " << expected;
        }
    }
    RecordProperty("worstUlps", worst);
}

}  // namespace
