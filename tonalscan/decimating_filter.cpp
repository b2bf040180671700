// The half-rate filter (scipy.signal.remez(17, [0, 0.07, 0.43, 0.5], [1, 0], weight=[1, 10]),
// scaled to sum to 1) and its decimating FIR.
#include "tonalscan/decimating_filter.h"

namespace tonalscan {
namespace {

constexpr float kHalfRateTaps[kHalfRateTapCount] = {
    -6.465527839e-04f, -1.716084170e-03f, 4.238732660e-03f,  1.419853012e-02f,  -1.292195160e-02f,
    -6.358529205e-02f, 2.382348416e-02f,  3.011027714e-01f,  4.710127246e-01f,  3.011027714e-01f,
    2.382348416e-02f,  -6.358529205e-02f, -1.292195160e-02f, 1.419853012e-02f,  4.238732660e-03f,
    -1.716084170e-03f, -6.465527839e-04f};

}  // namespace

void decimateByTwo(const float* sourceEnd, std::uint32_t count, float* out) noexcept {
    constexpr std::uint32_t kTaps = kHalfRateTapCount;
    const std::uint32_t outputs = count / 2;
    // Output i sums h[j] * first[2i + j] over the taps: the taps in registers, vectorized across
    // outputs (the even and odd samples gathered from pairs of vectors).
    const float* const first = sourceEnd - count + 2 - kTaps;
    for (std::uint32_t i = 0; i < outputs; ++i) {
        const float* const x = first + 2 * i;
        float sum = 0.0f;
        for (std::uint32_t t = 0; t < kTaps; ++t) sum += kHalfRateTaps[t] * x[t];
        out[i] = sum;
    }
}

}  // namespace tonalscan
