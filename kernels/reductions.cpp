// Reductions over float arrays: sum, mean, maximum and sample standard deviation.
#include "kernels/reductions.h"

#include <cmath>

namespace {

inline KernelStatus checkArgs(const float* x, const float* result, std::int32_t n,
                              std::int32_t minimum) noexcept {
    if (!x || !result) return kStatusNullPointer;
    return n < minimum ? kStatusBadLength : kStatusOk;
}

// Four partial sums keep the loop vectorisable without -ffast-math reassociation; in double the
// grouping changes nothing that survives the final rounding to float.
double wideSum(const float* x, std::int32_t n) noexcept {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    std::int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += x[i];
        s1 += x[i + 1];
        s2 += x[i + 2];
        s3 += x[i + 3];
    }
    for (; i < n; ++i) s0 += x[i];
    return (s0 + s1) + (s2 + s3);
}

}  // namespace

KernelStatus vecSum(const float* x, std::int32_t n, float* result, int /*hint*/) noexcept {
    if (KernelStatus s = checkArgs(x, result, n, 1)) return s;
    *result = static_cast<float>(wideSum(x, n));
    return kStatusOk;
}

KernelStatus vecMean(const float* x, std::int32_t n, float* result, int /*hint*/) noexcept {
    if (KernelStatus s = checkArgs(x, result, n, 1)) return s;
    *result = static_cast<float>(wideSum(x, n) / static_cast<double>(n));
    return kStatusOk;
}

KernelStatus vecMax(const float* x, std::int32_t n, float* result) noexcept {
    if (KernelStatus s = checkArgs(x, result, n, 1)) return s;
    float best = x[0];
    // `best < x[i]` is false for every comparison with a NaN, which gives both NaN rules.
    for (std::int32_t i = 1; i < n; ++i)
        if (best < x[i]) best = x[i];
    *result = best;
    return kStatusOk;
}

KernelStatus vecStdDev(const float* x, std::int32_t n, float* result, int /*hint*/) noexcept {
    if (KernelStatus s = checkArgs(x, result, n, 2)) return s;
    double s1 = 0, s2 = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const double v = x[i];
        s1 += v;
        s2 += v * v;
    }
    const double count = static_cast<double>(n);
    const double d = count * s2 - s1 * s1;
    // Cancellation can leave a tiny negative D for constant data; that is a deviation of 0.
    *result = d > 0 ? static_cast<float>(std::sqrt(d / (count * (count - 1.0)))) : 0.0f;
    return kStatusOk;
}
