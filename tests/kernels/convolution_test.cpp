// Convolution and autocorrelation: every method against double-precision direct sums on both sides
// of each threshold, the method each size takes, worked values, statuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "tests/support/signals.h"
#include "kernels/convolution.h"
#include "kernels/detail/convolution_methods.h"

namespace {

using Method = KernelStatus (*)(const float*, std::int32_t, const float*, std::int32_t, float*) noexcept;

using zqx::test::uniformNoise;

struct Exact {
    std::vector<double> value;
    double scale = 0;  // largest sum of |products| of one output: what float rounding is relative to
};

Exact exactConvolution(const std::vector<float>& a, const std::vector<float>& b) {
    Exact e;
    e.value.assign(a.size() + b.size() - 1, 0.0);
    std::vector<double> magnitude(e.value.size(), 0.0);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j) {
            e.value[i + j] += static_cast<double>(a[i]) * b[j];
            magnitude[i + j] += std::fabs(static_cast<double>(a[i]) * b[j]);
        }
    for (double m : magnitude) e.scale = std::max(e.scale, m);
    return e;
}

// Float sums and FFT round trips stay within a few hundred ulps of the magnitude scale here.
void expectClose(const std::vector<float>& got, const Exact& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.value.size()) << what;
    double worst = 0;
    std::size_t at = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const double err = std::fabs(got[i] - want.value[i]);
        if (err > worst) worst = err, at = i;
    }
    EXPECT_LT(worst, 2e-5 * want.scale) << what << " worst at output " << at;
}

std::string describe(std::int32_t aLen, std::int32_t bLen) {
    return std::to_string(aLen) + " with " + std::to_string(bLen);
}

// Each size takes the named method (the public result equals that method's bits), and every
// method agrees with the double sums, also at sizes where it is not the one chosen.
TEST(Convolve, MethodsAgreeWithDirectSumsAcrossThresholds) {
    const Method direct = zqx::detail::convolveDirect;
    const Method single = zqx::detail::convolveSingleFft;
    const Method overlap = zqx::detail::convolveOverlapSave;
    struct Case {
        std::int32_t aLen, bLen;
        Method chosen;
    };
    const Case cases[] = {
        {100, 49, direct},    // len 148
        {100, 50, direct},    // len 149
        {101, 50, single},    // len 150
        {50, 101, single},    // the same, arguments swapped
        {100, 40, direct},    // len 139
        {120, 50, single},    // len 169
        {1000, 20, direct},   // shorter input below 32
        {200, 31, direct},
        {200, 32, overlap},
        {96, 32, direct},     // len 127, although 96 = 3 * 32
        {149, 50, single},    // 149 < 3 * 50
        {150, 50, overlap},   // 150 = 3 * 50
        {119, 40, single},
        {120, 40, overlap},
        {64, 64, direct},     // equal lengths, len 127
        {100, 100, single},
        {400, 50, overlap},
        {5000, 40, overlap},
        {40, 5000, overlap},
        {9000, 31, direct},   // three pieces of the longer input
        {31, 4097, direct},   // a piece of one value
        {1500, 700, single},
    };
    for (const Case& c : cases) {
        const auto a = uniformNoise(static_cast<std::size_t>(c.aLen), 11 + c.aLen);
        const auto b = uniformNoise(static_cast<std::size_t>(c.bLen), 17 + c.bLen);
        const Exact want = exactConvolution(a, b);
        const std::string what = describe(c.aLen, c.bLen);

        std::vector<float> got(want.value.size(), 1e30f);
        ASSERT_EQ(convolve(a.data(), c.aLen, b.data(), c.bLen, got.data()), kStatusOk) << what;
        expectClose(got, want, what);

        const bool aLonger = c.aLen >= c.bLen;
        const auto& longer = aLonger ? a : b;
        const auto& shorter = aLonger ? b : a;
        std::vector<float> viaChosen(got.size());
        ASSERT_EQ(c.chosen(longer.data(), static_cast<std::int32_t>(longer.size()), shorter.data(),
                           static_cast<std::int32_t>(shorter.size()), viaChosen.data()), kStatusOk);
        EXPECT_EQ(got, viaChosen) << what << ": not the expected method";

        for (Method m : {direct, single, overlap}) {
            std::vector<float> out(got.size(), 1e30f);
            ASSERT_EQ(m(longer.data(), static_cast<std::int32_t>(longer.size()), shorter.data(),
                        static_cast<std::int32_t>(shorter.size()), out.data()), kStatusOk);
            expectClose(out, want, what + " by every method");
        }
    }
}

TEST(Convolve, WorkedValues) {
    const float a[] = {1, 2, 3}, b[] = {1, -1};
    float out[4];
    ASSERT_EQ(convolve(a, 3, b, 2, out), kStatusOk);
    EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{1, 1, 1, -3}));
    ASSERT_EQ(convolve(b, 2, a, 3, out), kStatusOk);
    EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{1, 1, 1, -3}));

    const auto x = uniformNoise(300, 5);
    const float c = 2.5f;
    std::vector<float> scaled(300);
    ASSERT_EQ(convolve(&c, 1, x.data(), 300, scaled.data()), kStatusOk);
    for (std::size_t i = 0; i < x.size(); ++i) EXPECT_EQ(scaled[i], x[i] * c) << i;
}

TEST(Convolve, StatusesLeaveDstAlone) {
    const float a[] = {1, 2, 3};
    float out[4] = {9, 9, 9, 9};
    EXPECT_EQ(convolve(nullptr, 0, a, 3, out), kStatusNullPointer);
    EXPECT_EQ(convolve(a, 3, nullptr, 3, out), kStatusNullPointer);
    EXPECT_EQ(convolve(a, 3, a, 1, nullptr), kStatusNullPointer);
    EXPECT_EQ(convolve(a, 0, a, 3, out), kStatusBadLength);
    EXPECT_EQ(convolve(a, 3, a, -1, out), kStatusBadLength);
    EXPECT_EQ(std::vector<float>(out, out + 4), std::vector<float>(4, 9.0f));
}

std::vector<double> exactAutoCorrelation(const std::vector<float>& x, std::size_t m, double& scale) {
    std::vector<double> r(m, 0.0);
    scale = 0;
    for (std::size_t k = 0; k < m; ++k) {
        double magnitude = 0;
        for (std::size_t j = 0; j + k < x.size(); ++j) {
            r[k] += static_cast<double>(x[j]) * x[j + k];
            magnitude += std::fabs(static_cast<double>(x[j]) * x[j + k]);
        }
        scale = std::max(scale, magnitude);
    }
    return r;
}

TEST(AutoCorrelate, BothMethodsAgreeWithDirectSums) {
    struct Case {
        std::int32_t srcLen, dstLen;
        bool direct;
    };
    const Case cases[] = {{599, 599, true},  {600, 600, false}, {1000, 1000, false}, {1000, 599, true},
                          {599, 2000, true}, {700, 650, false}, {1025, 4000, false}, {40, 10, true}};
    for (const Case& c : cases) {
        const auto x = uniformNoise(static_cast<std::size_t>(c.srcLen), 23 + c.srcLen);
        const std::int32_t m = std::min(c.srcLen, c.dstLen);
        double scale = 0;
        const auto want = exactAutoCorrelation(x, static_cast<std::size_t>(m), scale);
        std::vector<float> got(static_cast<std::size_t>(c.dstLen), 1e30f);
        ASSERT_EQ(autoCorrelate(x.data(), c.srcLen, got.data(), c.dstLen), kStatusOk);
        const std::string what = describe(c.srcLen, c.dstLen);
        // Direct sums are accumulated in double: one rounding per output.
        const double tol = c.direct ? 1e-7 * scale : 2e-5 * scale;
        for (std::int32_t k = 0; k < m; ++k) ASSERT_NEAR(got[k], want[k], tol) << what << " lag " << k;
        for (std::int32_t k = m; k < c.dstLen; ++k) ASSERT_EQ(got[k], 0.0f) << what << " lag " << k;

        std::vector<float> viaChosen(static_cast<std::size_t>(m));
        auto method = c.direct ? zqx::detail::autoCorrelateDirect : zqx::detail::autoCorrelateFft;
        ASSERT_EQ(method(x.data(), c.srcLen, viaChosen.data(), m), kStatusOk);
        EXPECT_EQ(std::vector<float>(got.begin(), got.begin() + m), viaChosen) << what << ": not the expected method";
        // The other method too.
        auto other = c.direct ? zqx::detail::autoCorrelateFft : zqx::detail::autoCorrelateDirect;
        ASSERT_EQ(other(x.data(), c.srcLen, viaChosen.data(), m), kStatusOk);
        for (std::int32_t k = 0; k < m; ++k) ASSERT_NEAR(viaChosen[k], want[k], 2e-5 * scale) << what << " lag " << k;
    }
}

TEST(AutoCorrelate, WorkedValuesAndStatuses) {
    const float x[] = {1, 2, 3};
    float out[5] = {9, 9, 9, 9, 9};
    ASSERT_EQ(autoCorrelate(x, 3, out, 5), kStatusOk);
    EXPECT_EQ(std::vector<float>(out, out + 5), (std::vector<float>{14, 8, 3, 0, 0}));
    float two[3] = {9, 9, 9};
    ASSERT_EQ(autoCorrelate(x, 3, two, 2), kStatusOk);
    EXPECT_EQ(std::vector<float>(two, two + 3), (std::vector<float>{14, 8, 9}));

    float keep[2] = {9, 9};
    EXPECT_EQ(autoCorrelate(nullptr, 0, keep, 2), kStatusNullPointer);
    EXPECT_EQ(autoCorrelate(x, 3, nullptr, 2), kStatusNullPointer);
    EXPECT_EQ(autoCorrelate(x, 0, keep, 2), kStatusBadLength);
    EXPECT_EQ(autoCorrelate(x, 3, keep, 0), kStatusBadLength);
    EXPECT_EQ(autoCorrelate(x, -4, keep, 2), kStatusBadLength);
    EXPECT_EQ(keep[0], 9.0f);
}

}  // namespace
