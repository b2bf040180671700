// IIR primitives: difference-equation reference, continuity across calls, tap normalisation,
// check order and the untouched state after a refused call.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "tests/support/signals.h"
#include "kernels/iir_filter.h"

namespace {

// Owns a state for the length of a test.
struct Filter {
    IirState* state = nullptr;
    Filter(const std::vector<float>& taps, int order, const float* delay = nullptr) {
        EXPECT_EQ(iirCreate(&state, taps.data(), order, delay), kStatusOk);
    }
    ~Filter() {
        if (state) {
            EXPECT_EQ(iirDestroy(state), kStatusOk);
        }
    }
    std::vector<float> run(std::vector<float> x) {
        EXPECT_EQ(iirFilterInPlace(x.data(), static_cast<std::int32_t>(x.size()), state), kStatusOk);
        return x;
    }
};

using zqx::test::uniformNoise;

// y[t] = sum Bk x[t-k] - sum Ak y[t-k] in double, with the taps normalised by a0.
std::vector<double> reference(const std::vector<float>& taps, int order, const std::vector<float>& x) {
    const double a0 = taps[order + 1];
    std::vector<double> y(x.size());
    for (std::size_t t = 0; t < x.size(); ++t) {
        double acc = 0;
        for (int k = 0; k <= order && static_cast<std::size_t>(k) <= t; ++k) acc += taps[k] / a0 * x[t - k];
        for (int k = 1; k <= order && static_cast<std::size_t>(k) <= t; ++k) acc -= taps[order + 1 + k] / a0 * y[t - k];
        y[t] = acc;
    }
    return y;
}

// The resampler's low-pass (10775 Hz at 44100 Hz) and stable filters of other orders, through the
// specialised and the general paths.
TEST(IirFilter, MatchesDifferenceEquation) {
    struct Case {
        const char* name;
        int order;
        std::vector<float> taps;
    };
    const std::vector<Case> cases = {
        {"gain", 0, {0.75f, 2.0f}},
        {"one pole", 1, {0.2f, 0.1f, 1.0f, -0.7f}},
        {"biquad", 2, {0.177931f, 0.355863f, 0.177931f, 1.0f, -0.50536f, 0.217086f}},
        {"biquad a0 = 4", 2, {0.5f, -0.3f, 0.25f, 4.0f, -1.2f, 0.5f}},
        {"third order", 3, {0.05f, 0.15f, 0.15f, 0.05f, 1.0f, -1.2f, 0.6f, -0.1f}},
    };
    const std::vector<float> x = uniformNoise(500, 3);
    for (const auto& c : cases) {
        Filter f(c.taps, c.order);
        const std::vector<float> y = f.run(x);
        const std::vector<double> expected = reference(c.taps, c.order, x);
        for (std::size_t t = 0; t < x.size(); ++t)
            ASSERT_NEAR(y[t], expected[t], 2e-6) << c.name << " t=" << t;
    }
}

TEST(IirFilter, LowPassSettlesOnOnes) {
    Filter f({0.177931f, 0.355863f, 0.177931f, 1.0f, -0.50536f, 0.217086f}, 2);
    const std::vector<float> y = f.run(std::vector<float>(200, 1.0f));
    EXPECT_NEAR(y.back(), 1.0f, 1e-5f);
}

// The delay line carries the stream: any split of a run gives the same floats as one call.
TEST(IirFilter, SplitCallsEqualOneCall) {
    const std::vector<float> taps = {0.177931f, 0.355863f, 0.177931f, 1.0f, -0.50536f, 0.217086f};
    const std::vector<float> x = uniformNoise(100, 11);
    for (int order : {2, 3}) {
        std::vector<float> t = taps;
        if (order == 3) t = {0.05f, 0.15f, 0.15f, 0.05f, 1.0f, -1.2f, 0.6f, -0.1f};
        Filter whole(t, order);
        const std::vector<float> once = whole.run(x);
        Filter split(t, order);
        std::vector<float> twice(100, 0.0f);
        ASSERT_EQ(iirFilter(x.data(), twice.data(), 60, split.state), kStatusOk);
        ASSERT_EQ(iirFilter(x.data() + 60, twice.data() + 60, 40, split.state), kStatusOk);
        EXPECT_EQ(std::memcmp(once.data(), twice.data(), sizeof(float) * 100), 0) << "order " << order;
    }
}

// One reciprocal of a0 = 2 is exact, so the normalised taps and outputs match bit for bit.
TEST(IirFilter, TapsAreNormalisedByA0) {
    const std::vector<float> unit = {0.177931f, 0.355863f, 0.177931f, 1.0f, -0.50536f, 0.217086f};
    std::vector<float> doubled = unit;
    for (auto& v : doubled) v *= 2.0f;
    const std::vector<float> x = uniformNoise(300, 5);
    Filter a(unit, 2), b(doubled, 2);
    const std::vector<float> ya = a.run(x), yb = b.run(x);
    EXPECT_EQ(std::memcmp(ya.data(), yb.data(), sizeof(float) * ya.size()), 0);
}

TEST(IirFilter, InitialDelayLine) {
    const float delay[2] = {0.5f, -0.25f};
    Filter f({1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}, 2, delay);
    const std::vector<float> y = f.run({0.0f, 0.0f, 0.0f});
    EXPECT_EQ(y, (std::vector<float>{0.5f, -0.25f, 0.0f}));
}

TEST(IirFilter, CreateChecks) {
    const float taps[4] = {1, 0, 1, 0};
    const float zeroA0[4] = {1, 0, 0, 0.5f};
    const float nanA0[4] = {1, 0, std::numeric_limits<float>::quiet_NaN(), 0.5f};
    IirState* const sentinel = reinterpret_cast<IirState*>(&const_cast<float&>(taps[0]));
    IirState* state = sentinel;
    EXPECT_EQ(iirCreate(nullptr, taps, 1, nullptr), kStatusNullPointer);
    EXPECT_EQ(iirCreate(&state, nullptr, -1, nullptr), kStatusNullPointer);
    EXPECT_EQ(iirCreate(&state, taps, -1, nullptr), kStatusBadFilterOrder);
    EXPECT_EQ(iirCreate(&state, zeroA0, 1, nullptr), kStatusDivideByZero);
    EXPECT_EQ(iirCreate(&state, nanA0, 1, nullptr), kStatusDivideByZero);
    EXPECT_EQ(state, sentinel);
}

TEST(IirFilter, RefusedCallsLeaveStateAndOutput) {
    const std::vector<float> taps = {0.177931f, 0.355863f, 0.177931f, 1.0f, -0.50536f, 0.217086f};
    const std::vector<float> x = uniformNoise(64, 9);
    Filter fresh(taps, 2);
    const std::vector<float> expected = fresh.run(x);

    Filter f(taps, 2);
    std::vector<float> out(64, 7.0f);
    EXPECT_EQ(iirFilter(nullptr, out.data(), 64, f.state), kStatusNullPointer);
    EXPECT_EQ(iirFilter(x.data(), nullptr, 64, f.state), kStatusNullPointer);
    EXPECT_EQ(iirFilter(x.data(), out.data(), 64, nullptr), kStatusNullPointer);
    EXPECT_EQ(iirFilter(x.data(), out.data(), 0, f.state), kStatusBadLength);
    EXPECT_EQ(iirFilter(x.data(), out.data(), -3, f.state), kStatusBadLength);
    EXPECT_EQ(iirFilterInPlace(nullptr, 0, f.state), kStatusNullPointer);
    EXPECT_EQ(iirFilterInPlace(out.data(), 0, f.state), kStatusBadLength);
    EXPECT_EQ(out, std::vector<float>(64, 7.0f));
    EXPECT_EQ(f.run(x), expected);
}

TEST(IirFilter, ForeignObjectIsRefused) {
    // Anything that does not start with the state's tag, here a buffer of floats.
    alignas(16) float notAState[16] = {};
    auto* foreign = reinterpret_cast<IirState*>(notAState);
    float x[4] = {1, 2, 3, 4};
    EXPECT_EQ(iirFilter(x, x, 4, foreign), kStatusWrongObject);
    EXPECT_EQ(iirFilterInPlace(x, 4, foreign), kStatusWrongObject);
    EXPECT_EQ(iirDestroy(foreign), kStatusWrongObject);
    EXPECT_EQ(iirDestroy(nullptr), kStatusNullPointer);
    EXPECT_EQ(x[3], 4.0f);
}

}  // namespace
