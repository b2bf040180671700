// Element-wise primitives. The loops are plain so that the compiler vectorises them (-O3).
#include "kernels/elementwise.h"

#include <cmath>

#include "kernels/detail/float_bits.h"

using zqx::detail::negativeQuietNan;
using zqx::detail::positiveQuietNan;
using zqx::detail::signBitSet;

namespace {

inline KernelStatus check1(const void* p, std::int32_t n) noexcept {
    if (!p) return kStatusNullPointer;
    return n < 1 ? kStatusBadLength : kStatusOk;
}

inline KernelStatus check2(const void* a, const void* b, std::int32_t n) noexcept {
    if (!a || !b) return kStatusNullPointer;
    return n < 1 ? kStatusBadLength : kStatusOk;
}

inline KernelStatus check3(const void* a, const void* b, const void* c, std::int32_t n) noexcept {
    if (!a || !b || !c) return kStatusNullPointer;
    return n < 1 ? kStatusBadLength : kStatusOk;
}

void copyRun(const float* src, float* dst, std::int32_t n) noexcept {
    if (src == dst) return;
    for (std::int32_t i = 0; i < n; ++i) dst[i] = src[i];
}

void fillRun(float value, float* x, std::int32_t n) noexcept {
    for (std::int32_t i = 0; i < n; ++i) x[i] = value;
}

}  // namespace

KernelStatus vecZero(float* x, std::int32_t n) noexcept {
    if (KernelStatus s = check1(x, n)) return s;
    fillRun(0.0f, x, n);
    return kStatusOk;
}

KernelStatus vecSet(float value, float* x, std::int32_t n) noexcept {
    if (KernelStatus s = check1(x, n)) return s;
    fillRun(value, x, n);
    return kStatusOk;
}

KernelStatus vecRamp(float* x, std::int32_t n, float offset, float slope) noexcept {
    if (KernelStatus s = check1(x, n)) return s;
    const double o = offset, d = slope;
    for (std::int32_t i = 0; i < n; ++i) x[i] = static_cast<float>(o + static_cast<double>(i) * d);
    return kStatusOk;
}

KernelStatus vecCopy(const float* src, float* dst, std::int32_t n) noexcept {
    if (KernelStatus s = check2(src, dst, n)) return s;
    copyRun(src, dst, n);
    return kStatusOk;
}

KernelStatus vecAddConstInPlace(float c, float* x, std::int32_t n) noexcept {
    if (KernelStatus s = check1(x, n)) return s;
    if (c == 0.0f || std::isnan(c)) return kStatusOk;
    for (std::int32_t i = 0; i < n; ++i) x[i] += c;
    return kStatusOk;
}

KernelStatus vecSubConst(const float* src, float c, float* dst, std::int32_t n) noexcept {
    if (KernelStatus s = check2(src, dst, n)) return s;
    if (c == 0.0f || std::isnan(c)) {
        copyRun(src, dst, n);
        return kStatusOk;
    }
    for (std::int32_t i = 0; i < n; ++i) dst[i] = src[i] - c;
    return kStatusOk;
}

KernelStatus vecScaleInPlace(float c, float* x, std::int32_t n) noexcept {
    if (KernelStatus s = check1(x, n)) return s;
    if (c == 1.0f || std::isnan(c)) return kStatusOk;
    if (c == 0.0f) {
        fillRun(0.0f, x, n);
        return kStatusOk;
    }
    for (std::int32_t i = 0; i < n; ++i) x[i] *= c;
    return kStatusOk;
}

KernelStatus vecDivConst(const float* src, float c, float* dst, std::int32_t n) noexcept {
    if (KernelStatus s = check2(src, dst, n)) return s;
    if (c == 0.0f || std::isnan(c)) return kStatusDivideByZero;
    const float r = 1.0f / c;
    if (r == 1.0f) {
        copyRun(src, dst, n);
    } else if (r == 0.0f) {
        fillRun(0.0f, dst, n);
    } else {
        for (std::int32_t i = 0; i < n; ++i) dst[i] = src[i] * r;
    }
    return kStatusOk;
}

KernelStatus vecDivConstInPlace(float c, float* x, std::int32_t n) noexcept {
    return vecDivConst(x, c, x, n);
}

KernelStatus vecMul(const float* a, const float* b, float* dst, std::int32_t n) noexcept {
    if (KernelStatus s = check3(a, b, dst, n)) return s;
    for (std::int32_t i = 0; i < n; ++i) dst[i] = a[i] * b[i];
    return kStatusOk;
}

KernelStatus vecMulInPlace(const float* src, float* x, std::int32_t n) noexcept {
    if (KernelStatus s = check2(src, x, n)) return s;
    for (std::int32_t i = 0; i < n; ++i) x[i] *= src[i];
    return kStatusOk;
}

KernelStatus vecAddInPlace(const float* src, float* x, std::int32_t n) noexcept {
    if (KernelStatus s = check2(src, x, n)) return s;
    for (std::int32_t i = 0; i < n; ++i) x[i] += src[i];
    return kStatusOk;
}

KernelStatus vecSqr(const float* src, float* dst, std::int32_t n) noexcept {
    if (KernelStatus s = check2(src, dst, n)) return s;
    for (std::int32_t i = 0; i < n; ++i) dst[i] = src[i] * src[i];
    return kStatusOk;
}

KernelStatus vecSqrInPlace(float* x, std::int32_t n) noexcept { return vecSqr(x, x, n); }

KernelStatus vecSqrt(const float* src, float* dst, std::int32_t n) noexcept {
    if (KernelStatus s = check2(src, dst, n)) return s;
    const float nan = negativeQuietNan();
    bool negative = false;
    for (std::int32_t i = 0; i < n; ++i) {
        const float v = src[i];
        // v < 0 is false for -0, which keeps its sign through sqrt.
        if (v < 0.0f || std::isnan(v)) {
            dst[i] = nan;
            negative = true;
        } else {
            dst[i] = std::sqrt(v);
        }
    }
    return negative ? kStatusSqrtOfNegative : kStatusOk;
}

KernelStatus vecLn(const float* src, float* dst, std::int32_t n) noexcept {
    if (KernelStatus s = check2(src, dst, n)) return s;
    KernelStatus status = kStatusOk;
    for (std::int32_t i = 0; i < n; ++i) {
        const float v = src[i];
        if (signBitSet(v)) {
            dst[i] = negativeQuietNan();
            if (status == kStatusOk) status = kStatusLnOfNegative;
        } else if (std::isnan(v)) {
            dst[i] = positiveQuietNan();
        } else if (v == 0.0f) {
            dst[i] = -INFINITY;
            if (status == kStatusOk) status = kStatusLnOfZero;
        } else {
            dst[i] = static_cast<float>(std::log(static_cast<double>(v)));
        }
    }
    return status;
}

KernelStatus vecThreshold(float* x, std::int32_t n, float level, int mode) noexcept {
    if (KernelStatus s = check1(x, n)) return s;
    if (mode == kThresholdGreaterThan) {
        for (std::int32_t i = 0; i < n; ++i)
            if (x[i] > level || std::isnan(x[i])) x[i] = level;
    } else {
        for (std::int32_t i = 0; i < n; ++i)
            if (x[i] < level) x[i] = level;
    }
    return kStatusOk;
}
