// The dynamic range computation: segment choice, smoothing slice, floor, failures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "modules/swellgrid/dynamic_range.h"
#include "qvt/qvt_exception.h"

namespace {

using namespace zqx::swellgrid;

// The contour that should land in workBuffer, in double: the full-overlap part c[L] .. c[M - 1] of
// the convolution of the segment with the window, floored, divided by its geometric mean.
std::vector<double> referenceContour(const std::vector<float>& history, std::uint32_t start, std::uint32_t length,
                                     const BaseVector<float>& window) {
    const std::uint32_t L = window.size;
    std::vector<double> contour;
    for (std::uint32_t k = L; k < length; ++k) {
        double c = 0.0;
        for (std::uint32_t j = 0; j < L; ++j) c += static_cast<double>(history[start + k - j]) * window.data[j];
        contour.push_back(c <= 0.0 ? static_cast<double>(std::numeric_limits<float>::min()) : c);
    }
    double logSum = 0.0;
    for (double c : contour) logSum += std::log(c);
    const double geometricMean = std::exp(logSum / static_cast<double>(contour.size()));
    for (double& c : contour) c /= geometricMean;
    return contour;
}

double rangeOf(const std::vector<double>& contour) {
    double lo = contour[0], hi = contour[0];
    for (double c : contour) {
        lo = std::min(lo, c);
        hi = std::max(hi, c);
    }
    return hi - lo;
}

// Levels that vary enough for any shift of the analysed slice to show.
std::vector<float> wavyLevels(std::uint32_t n) {
    std::vector<float> levels(n);
    for (std::uint32_t i = 0; i < n; ++i)
        levels[i] = static_cast<float>(1.0 + 0.8 * std::sin(0.37 * i) + 0.1 * (i % 7));
    return levels;
}

struct SegmentCase {
    std::uint32_t history;
    std::uint32_t window;
    double frameDuration;
    bool tooShort;
    std::uint32_t start;
    std::uint32_t length;
};

TEST(AnalysisSegment, ChosenByStreamLength) {
    const SegmentCase cases[] = {
        {2999, 1, 10.0, false, 0, 2999},     // under 30 s: everything
        {3000, 1, 10.0, false, 0, 3000},     // 30 s: the last 30 s
        {5000, 1, 10.0, false, 2000, 3000},
        {7999, 1, 10.0, false, 4999, 3000},
        {8000, 1, 10.0, false, 4999, 3000},  // 80 s: the 30 s after the first 50 s
        {20000, 1, 10.0, false, 4999, 3000},
        {4000, 1, 20.0, false, 2499, 1500},
        {1499, 1, 20.0, false, 0, 1499},
        {3000, 3000, 10.0, false, 0, 3000},  // the 30 s rule wins over the window check
        {5, 5, 10.0, true, 0, 0},
        {6, 5, 10.0, false, 0, 6},
        {0, 1, 10.0, true, 0, 0},
        // 30000 / d rounds up to 35 where 30000 * (1 / d) truncates to 34: capped to the history.
        {34, 1, 857.1428571428572, false, 0, 34},
        {40, 1, 857.1428571428572, false, 5, 35},
        // Frames of a minute: 50 s is no frame at all, and the segment stays inside the history.
        {1, 1, 60000.0, false, 0, 0},
        {3, 1, 90000.0, false, 0, 0},
    };
    for (const SegmentCase& c : cases) {
        const AnalysisSegment s = selectAnalysisSegment(c.history, c.window, c.frameDuration);
        EXPECT_EQ(s.tooShort, c.tooShort) << c.history << " levels at " << c.frameDuration << " ms";
        EXPECT_EQ(s.start, c.start) << c.history << " levels at " << c.frameDuration << " ms";
        EXPECT_EQ(s.length, c.length) << c.history << " levels at " << c.frameDuration << " ms";
    }
}

// The history is 1 everywhere except for a low and a high marker on the first and last levels that
// the right segment smooths with a one-frame window (the segment's own first level never reaches
// the kept slice), and traps right around them. The markers multiply to 1, so the geometric mean
// is 1 and the answer is 4 - 0.25; a segment shifted or stretched by one frame meets a trap or
// loses a marker.
TEST(DynamicRange, AnalysesTheSelectedSegment) {
    struct Case {
        std::uint32_t history;
        std::uint32_t start;
        std::uint32_t length;
    };
    const Case cases[] = {{2999, 0, 2999}, {3000, 0, 3000}, {6500, 3500, 3000}, {7999, 4999, 3000},
                          {8000, 4999, 3000}, {8001, 4999, 3000}, {12000, 4999, 3000}};
    const Vector<float> window = makeSmoothingWindow(1);
    for (const Case& c : cases) {
        std::vector<float> history(c.history, 1.0f);
        history[c.start] = 0.01f;
        if (c.start > 0) history[c.start - 1] = 0.01f;
        history[c.start + 1] = 0.25f;
        history[c.start + c.length - 1] = 4.0f;
        if (c.start + c.length < c.history) history[c.start + c.length] = 100.0f;
        Vector<float> work;
        EXPECT_NEAR(computeDynamicRange(history, window, 10.0, work), 3.75f, 1e-4) << c.history << " levels";
        EXPECT_EQ(work.size, c.length - 1);
    }
}

TEST(DynamicRange, KeepsTheFullOverlapPartOfTheConvolution) {
    // Long segments and windows take the convolution's FFT path; its rounding is relative to the
    // largest smoothed value, hence the looser bound there.
    const struct {
        std::int32_t window;
        std::uint32_t history;
        double tolerance;
    } cases[] = {{1, 300, 1e-5}, {2, 300, 1e-5}, {3, 300, 1e-5}, {4, 300, 1e-5}, {9, 300, 1e-5}, {101, 2999, 1e-4}};
    for (const auto& c : cases) {
        const std::vector<float> history = wavyLevels(c.history);
        const Vector<float> window = makeSmoothingWindow(c.window);
        Vector<float> work;
        const float range = computeDynamicRange(history, window, 10.0, work);
        const std::vector<double> expected = referenceContour(history, 0, c.history, window);
        ASSERT_EQ(work.size, expected.size());
        for (std::uint32_t i = 0; i < work.size; ++i)
            ASSERT_NEAR(work.data[i], expected[i], c.tolerance * expected[i]) << "window " << c.window << " element " << i;
        EXPECT_NEAR(range, rangeOf(expected), c.tolerance) << "window " << c.window;
    }
}

TEST(DynamicRange, HistoryNotLongerThanTheWindowGivesExactlyZero) {
    const struct {
        std::uint32_t history;
        std::int32_t window;
    } cases[] = {{0, 1}, {1, 1}, {5, 5}, {3, 10}, {2999, 2999}};
    for (const auto& c : cases) {
        const std::vector<float> history = wavyLevels(c.history);
        Vector<float> work(7u, 2.0f);
        const float* storage = work.data;
        EXPECT_EQ(computeDynamicRange(history, makeSmoothingWindow(c.window), 10.0, work), 0.0f)
            << c.history << " levels, window " << c.window;
        EXPECT_EQ(work.size, 7u) << "the work buffer is not touched";
        EXPECT_EQ(work.data, storage);
    }
}

TEST(DynamicRange, ConstantLevelGivesZero) {
    for (std::int32_t L : {1, 2, 4, 50}) {
        for (std::uint32_t n : {100u, 2999u, 5000u, 9000u}) {
            const std::vector<float> history(n, 0.37f);
            Vector<float> work;
            EXPECT_NEAR(computeDynamicRange(history, makeSmoothingWindow(L), 10.0, work), 0.0f, 1e-5)
                << n << " levels, window " << L;
        }
    }
}

TEST(DynamicRange, SilenceAndNegativeLevelsAreFlooredBeforeTheLogarithm) {
    // Alternating 1 and the floor: the geometric mean is sqrt(floor), the range (1 - floor) / that.
    const double floorValue = std::numeric_limits<float>::min();
    const double expected = (1.0 - floorValue) / std::sqrt(floorValue);
    for (float quiet : {0.0f, -0.0f, -1.0f}) {
        std::vector<float> history(101);
        for (std::size_t i = 0; i < history.size(); ++i) history[i] = (i % 2) ? 1.0f : quiet;
        Vector<float> work;
        const float range = computeDynamicRange(history, makeSmoothingWindow(1), 10.0, work);
        EXPECT_TRUE(std::isfinite(range)) << "quiet level " << quiet;
        EXPECT_NEAR(range / expected, 1.0, 1e-4) << "quiet level " << quiet;
    }
}

TEST(DynamicRange, SegmentNotLongerThanTheWindowThrowsZeroSizedVector) {
    const struct {
        std::uint32_t history;
        std::int32_t window;
    } cases[] = {
        {3000, 3000},  // segment exactly as long as the window
        {3500, 3200},  // 30 s segment shorter than the window
        {8000, 3001},  // long-stream segment shorter than the window
    };
    for (const auto& c : cases) {
        const std::vector<float> history = wavyLevels(c.history);
        Vector<float> work(16u, 1.0f);
        try {
            computeDynamicRange(history, makeSmoothingWindow(c.window), 10.0, work);
            ADD_FAILURE() << "expected QVTException for " << c.history << " levels, window " << c.window;
        } catch (const QVTException& e) {
            EXPECT_EQ(e.message(), "zero sized vector");
            EXPECT_EQ(e.source(), "qvt/vector_func");
            EXPECT_EQ(e.line(), 102);
        }
        EXPECT_EQ(work.size, 0u);
    }
}

TEST(DynamicRange, RepeatedComputationIsIdenticalAndReusesTheWorkBuffer) {
    const std::vector<float> history = wavyLevels(4000);
    const Vector<float> window = makeSmoothingWindow(25);
    Vector<float> work;
    const float first = computeDynamicRange(history, window, 10.0, work);
    const float* storage = work.data;
    for (std::uint32_t i = 0; i < work.size; ++i) work.data[i] = -5.0f;
    const float second = computeDynamicRange(history, window, 10.0, work);
    EXPECT_EQ(first, second);
    EXPECT_EQ(work.data, storage);
    EXPECT_GT(first, 0.0f);
}

}  // namespace
