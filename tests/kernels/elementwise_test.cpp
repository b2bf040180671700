// Element-wise primitives: statuses and check order, special values, NaN bit patterns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <limits>
#include <vector>

#include "kernels/detail/float_bits.h"
#include "kernels/elementwise.h"

namespace {

using zqx::detail::floatBits;
using zqx::detail::floatFromBits;

const float kInf = std::numeric_limits<float>::infinity();
const float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr std::uint32_t kNegNan = 0xFFC00000u;
constexpr std::uint32_t kPosNan = 0x7FC00000u;

std::vector<std::uint32_t> bitsOf(const std::vector<float>& v) {
    std::vector<std::uint32_t> bits;
    for (float x : v) bits.push_back(floatBits(x));
    return bits;
}

// Every primitive refuses a null pointer before a bad length, and writes nothing then.
TEST(ElementwiseChecks, NullBeforeLengthAndNothingWritten) {
    float x[2] = {5, 6};
    float y[2] = {7, 8};
    using Call = std::function<KernelStatus(float*, float*, std::int32_t)>;
    const std::vector<std::pair<const char*, Call>> calls = {
        {"vecZero", [](float* a, float*, std::int32_t n) { return vecZero(a, n); }},
        {"vecSet", [](float* a, float*, std::int32_t n) { return vecSet(1, a, n); }},
        {"vecRamp", [](float* a, float*, std::int32_t n) { return vecRamp(a, n, 0, 1); }},
        {"vecCopy", [](float* a, float* b, std::int32_t n) { return vecCopy(a, b, n); }},
        {"vecAddConstInPlace", [](float* a, float*, std::int32_t n) { return vecAddConstInPlace(2, a, n); }},
        {"vecSubConst", [](float* a, float* b, std::int32_t n) { return vecSubConst(a, 2, b, n); }},
        {"vecScaleInPlace", [](float* a, float*, std::int32_t n) { return vecScaleInPlace(2, a, n); }},
        {"vecDivConst", [](float* a, float* b, std::int32_t n) { return vecDivConst(a, 2, b, n); }},
        {"vecDivConstInPlace", [](float* a, float*, std::int32_t n) { return vecDivConstInPlace(2, a, n); }},
        {"vecMul", [](float* a, float* b, std::int32_t n) { return vecMul(a, a, b, n); }},
        {"vecMulInPlace", [](float* a, float* b, std::int32_t n) { return vecMulInPlace(a, b, n); }},
        {"vecAddInPlace", [](float* a, float* b, std::int32_t n) { return vecAddInPlace(a, b, n); }},
        {"vecSqr", [](float* a, float* b, std::int32_t n) { return vecSqr(a, b, n); }},
        {"vecSqrInPlace", [](float* a, float*, std::int32_t n) { return vecSqrInPlace(a, n); }},
        {"vecSqrt", [](float* a, float* b, std::int32_t n) { return vecSqrt(a, b, n); }},
        {"vecLn", [](float* a, float* b, std::int32_t n) { return vecLn(a, b, n); }},
        {"vecThreshold", [](float* a, float*, std::int32_t n) { return vecThreshold(a, n, 0, 0); }},
    };
    for (const auto& [name, call] : calls) {
        EXPECT_EQ(call(nullptr, y, 0), kStatusNullPointer) << name;
        if (std::string(name) == "vecCopy" || std::string(name).find("Sub") != std::string::npos ||
            std::string(name) == "vecDivConst" || std::string(name) == "vecMul" ||
            std::string(name) == "vecMulInPlace" || std::string(name) == "vecAddInPlace" ||
            std::string(name) == "vecSqr" || std::string(name) == "vecSqrt" || std::string(name) == "vecLn") {
            EXPECT_EQ(call(x, nullptr, 0), kStatusNullPointer) << name << " (second pointer)";
        }
        for (std::int32_t n : {0, -1}) {
            EXPECT_EQ(call(x, y, n), kStatusBadLength) << name << " n=" << n;
            EXPECT_EQ(x[0], 5.0f) << name;
            EXPECT_EQ(y[0], 7.0f) << name;
        }
    }
}

struct ConstCase {
    const char* name;
    std::function<KernelStatus(const float*, float*, std::int32_t)> run;
    std::vector<float> in;
    std::vector<float> expected;  // bitwise
    KernelStatus status;
};

TEST(ElementwiseValues, ConstantArithmeticSpecialCases) {
    const std::vector<ConstCase> cases = {
        {"add 0 untouched", [](const float* s, float* d, std::int32_t n) { vecCopy(s, d, n); return vecAddConstInPlace(0, d, n); },
         {-0.0f, 1}, {-0.0f, 1}, kStatusOk},
        {"add NaN untouched", [](const float* s, float* d, std::int32_t n) { vecCopy(s, d, n); return vecAddConstInPlace(kNan, d, n); },
         {1, 2}, {1, 2}, kStatusOk},
        {"add 1.5", [](const float* s, float* d, std::int32_t n) { vecCopy(s, d, n); return vecAddConstInPlace(1.5f, d, n); },
         {1, -2}, {2.5f, -0.5f}, kStatusOk},
        {"sub NaN copies", [](const float* s, float* d, std::int32_t n) { return vecSubConst(s, kNan, d, n); },
         {3, 4}, {3, 4}, kStatusOk},
        {"sub 1", [](const float* s, float* d, std::int32_t n) { return vecSubConst(s, 1, d, n); },
         {3, 4}, {2, 3}, kStatusOk},
        {"scale 0 zeroes inf and NaN", [](const float* s, float* d, std::int32_t n) { vecCopy(s, d, n); return vecScaleInPlace(0, d, n); },
         {kInf, kNan, -3}, {0, 0, 0}, kStatusOk},
        {"scale 1 untouched", [](const float* s, float* d, std::int32_t n) { vecCopy(s, d, n); return vecScaleInPlace(1, d, n); },
         {kInf, -0.0f}, {kInf, -0.0f}, kStatusOk},
        {"scale NaN untouched", [](const float* s, float* d, std::int32_t n) { vecCopy(s, d, n); return vecScaleInPlace(kNan, d, n); },
         {5, 6}, {5, 6}, kStatusOk},
        {"div by 3 uses float reciprocal", [](const float* s, float* d, std::int32_t n) { return vecDivConst(s, 3, d, n); },
         {3, 1}, {3.0f * (1.0f / 3.0f), 1.0f / 3.0f}, kStatusOk},
        {"div by inf zeroes", [](const float* s, float* d, std::int32_t n) { return vecDivConst(s, kInf, d, n); },
         {5, kNan}, {0, 0}, kStatusOk},
        {"div by 1 copies", [](const float* s, float* d, std::int32_t n) { return vecDivConst(s, 1, d, n); },
         {kNan, 2}, {kNan, 2}, kStatusOk},
    };
    for (const auto& c : cases) {
        std::vector<float> out(c.in.size(), 123.0f);
        EXPECT_EQ(c.run(c.in.data(), out.data(), static_cast<std::int32_t>(c.in.size())), c.status) << c.name;
        EXPECT_EQ(bitsOf(out), bitsOf(c.expected)) << c.name;
    }
}

TEST(ElementwiseValues, DivisionByZeroOrNanLeavesDestination) {
    const float src[3] = {1, 2, 3};
    for (float c : {0.0f, -0.0f, kNan}) {
        float dst[3] = {9, 9, 9};
        EXPECT_EQ(vecDivConst(src, c, dst, 3), kStatusDivideByZero);
        EXPECT_EQ(dst[0], 9.0f);
        EXPECT_EQ(dst[2], 9.0f);
        EXPECT_EQ(vecDivConstInPlace(c, dst, 3), kStatusDivideByZero);
        EXPECT_EQ(dst[1], 9.0f);
    }
}

TEST(ElementwiseValues, SqrtMarksNegativesAndKeepsNegativeZero) {
    const std::vector<float> in = {4, -1, 9, -0.0f, kNan};
    std::vector<float> out(in.size());
    EXPECT_EQ(vecSqrt(in.data(), out.data(), 5), kStatusSqrtOfNegative);
    EXPECT_EQ(bitsOf(out), bitsOf({2, floatFromBits(kNegNan), 3, -0.0f, floatFromBits(kNegNan)}));
    const float ok[2] = {0, 16};
    float r[2];
    EXPECT_EQ(vecSqrt(ok, r, 2), kStatusOk);
    EXPECT_EQ(r[1], 4.0f);
}

TEST(ElementwiseValues, LnAnomaliesAndFirstAnomalyStatus) {
    struct Case {
        std::vector<float> in;
        std::vector<std::uint32_t> bits;
        KernelStatus status;
    };
    const std::vector<Case> cases = {
        {{1, 0, -1}, {floatBits(0.0f), floatBits(-kInf), kNegNan}, kStatusLnOfZero},
        {{-1, 0}, {kNegNan, floatBits(-kInf)}, kStatusLnOfNegative},
        {{-0.0f}, {kNegNan}, kStatusLnOfNegative},
        {{floatFromBits(0x7FC00001u), 1}, {kPosNan, floatBits(0.0f)}, kStatusOk},
        {{floatFromBits(0xFFC00001u)}, {kNegNan}, kStatusLnOfNegative},
        {{kInf, std::exp(1.0f)}, {floatBits(kInf), floatBits(static_cast<float>(std::log(static_cast<double>(std::exp(1.0f)))))}, kStatusOk},
    };
    for (const auto& c : cases) {
        std::vector<float> out(c.in.size());
        EXPECT_EQ(vecLn(c.in.data(), out.data(), static_cast<std::int32_t>(c.in.size())), c.status);
        EXPECT_EQ(bitsOf(out), c.bits);
    }
}

TEST(ElementwiseValues, ThresholdModes) {
    std::vector<float> below = {-2, 0, 3, kNan};
    EXPECT_EQ(vecThreshold(below.data(), 4, 0, kThresholdLessThan), kStatusOk);
    EXPECT_EQ(below[0], 0.0f);
    EXPECT_EQ(below[1], 0.0f);
    EXPECT_EQ(below[2], 3.0f);
    EXPECT_TRUE(std::isnan(below[3]));
    std::vector<float> above = {-2, 0, 3, kNan};
    EXPECT_EQ(vecThreshold(above.data(), 4, 0, kThresholdGreaterThan), kStatusOk);
    EXPECT_EQ(bitsOf(above), bitsOf({-2, 0, 0, 0}));
}

TEST(ElementwiseValues, FillCopyRampAndArrays) {
    float x[4];
    EXPECT_EQ(vecRamp(x, 4, 1, 1), kStatusOk);
    EXPECT_EQ(bitsOf({x[0], x[1], x[2], x[3]}), bitsOf({1, 2, 3, 4}));
    // Computed in double and rounded once: 0.1 * 3 in float steps would differ.
    EXPECT_EQ(vecRamp(x, 4, 0, 0.1f), kStatusOk);
    EXPECT_EQ(x[3], static_cast<float>(3.0 * static_cast<double>(0.1f)));
    float y[4];
    EXPECT_EQ(vecCopy(x, y, 4), kStatusOk);
    EXPECT_EQ(std::memcmp(x, y, sizeof x), 0);
    EXPECT_EQ(vecSet(2.5f, y, 4), kStatusOk);
    EXPECT_EQ(vecMul(y, y, x, 4), kStatusOk);
    EXPECT_EQ(x[2], 6.25f);
    EXPECT_EQ(vecMulInPlace(y, x, 4), kStatusOk);
    EXPECT_EQ(x[1], 15.625f);
    EXPECT_EQ(vecAddInPlace(y, x, 4), kStatusOk);
    EXPECT_EQ(x[0], 18.125f);
    EXPECT_EQ(vecSqrInPlace(y, 4), kStatusOk);
    EXPECT_EQ(y[3], 6.25f);
    EXPECT_EQ(vecZero(y, 4), kStatusOk);
    EXPECT_EQ(y[3], 0.0f);
}

}  // namespace
