// Sum, Mean, Max, Min, Fill and AddScalar, with their NaN and empty-range rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "qvt/operations.h"
#include "qvt/vector_func.h"

namespace {

const float kNan = std::numeric_limits<float>::quiet_NaN();

TEST(Max, EarlierOfEqualValuesAndStartIndex) {
    const float v[] = {1, 3, 3, 2};
    EXPECT_EQ(Max(v, 4), 3.0f);
    std::uint32_t start = 3;
    EXPECT_EQ(Max(v, 4, &start), 2.0f);
    EXPECT_EQ(start, 3u) << "the start index is only read";
    start = 4;
    try {
        Max(v, 4, &start);
        FAIL();
    } catch (const QVTException& e) {
        EXPECT_STREQ(e.what(), "Max: Start-index too large");
        EXPECT_EQ(e.source(), "qvt/operations");
        EXPECT_EQ(e.line(), 715);
    }
    try {
        Max(v, 0);
        FAIL();
    } catch (const QVTException& e) {
        EXPECT_STREQ(e.what(), "Max empty vector given error");
        EXPECT_EQ(e.line(), 714);
    }
}

TEST(Max, NanNeverReplacesButStaysAtStart) {
    const float leading[] = {kNan, 1, 2};
    EXPECT_TRUE(std::isnan(Max(leading, 3)));
    const float middle[] = {1, kNan, 2};
    EXPECT_EQ(Max(middle, 3), 2.0f);
}

TEST(Min, PositionAndUntouchedIndex) {
    const float v[] = {2, 1, 1};
    std::uint32_t index = 99;
    EXPECT_EQ(Min(v, 3, &index), 1.0f);
    EXPECT_EQ(index, 1u);
    index = 99;
    EXPECT_EQ(Min(v, 0, &index), 3.4028234663852886e38f);
    EXPECT_EQ(index, 99u);
    const float none[] = {std::numeric_limits<float>::infinity(), kNan};
    EXPECT_EQ(Min(none, 2, &index), 3.4028234663852886e38f);
    EXPECT_EQ(index, 99u);
    EXPECT_EQ(Min(v, 3, nullptr), 1.0f);
}

TEST(Mean, EmptyThrowsAndDoubleAccumulation) {
    Vector<float> empty;
    try {
        Mean(empty);
        FAIL();
    } catch (const QVTException& e) {
        EXPECT_STREQ(e.what(), "zero sized vector");
        EXPECT_EQ(e.source(), "qvt/vector_func");
        EXPECT_EQ(e.line(), 102);
    }
    Vector<float> pair(2);
    pair.data[0] = 1;
    pair.data[1] = 2;
    EXPECT_EQ(Mean(pair), 1.5);
    // 2^24 + 1 + 1 is not representable in float accumulation, but is in double.
    const float big[] = {16777216.0f, 1.0f, 1.0f};
    EXPECT_EQ(Sum(big, 3), 16777218.0);
}

TEST(FillAndAddScalar, CentringMakesMeanZero) {
    Vector<float> v(5);
    Fill(v.data, 2.0f, v.size);
    v.data[4] = 7.0f;
    const float negMean = static_cast<float>(-Mean(v));
    AddScalar(v.data, negMean, v.size);
    EXPECT_NEAR(Mean(v), 0.0, 1e-6);
    EXPECT_EQ(v.data[0], -1.0f);
}

}  // namespace
