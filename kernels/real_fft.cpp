// Real FFT plans and the public transform primitives: argument checks, plan tables, scratch handling,
// the direct formulas of orders 0..3, and the pass sequence of larger orders.
#include "kernels/real_fft.h"

#include <atomic>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>

#include "kernels/detail/real_fft_plan.h"
#include "kernels/kernel_memory.h"

using zqx::detail::kRealFftPlanTag;
using zqx::detail::RealFftPasses;

namespace zqx::detail {
namespace {
std::atomic<const RealFftPasses*> g_override{nullptr};
}

namespace {
// The widest passes this processor runs, decided once per process.
const RealFftPasses& detectPasses() noexcept {
#if defined(ZQX_HAVE_AVX2_FFT)
    // Also checks that the operating system saves the wide registers.
    if (__builtin_cpu_supports("avx2")) return avx2FftPasses();
#endif
#if defined(ZQX_HAVE_SSE2_FFT)
    return sse2FftPasses();
#else
    return scalarFftPasses();
#endif
}
}  // namespace

const RealFftPasses& activeFftPasses() noexcept {
    if (const RealFftPasses* forced = g_override.load(std::memory_order_relaxed)) return *forced;
    static const RealFftPasses& detected = detectPasses();
    return detected;
}

void overrideFftPasses(const RealFftPasses* passes) noexcept {
    g_override.store(passes, std::memory_order_relaxed);
}

}  // namespace zqx::detail

namespace {

constexpr int kMaxOrder = 30;
constexpr int kLargestDirectOrder = 3;
constexpr std::size_t kBlockAlign = 32;

bool isPlan(const RealFftPlan* plan) noexcept { return plan->kind == kRealFftPlanTag; }

std::size_t roundUp(std::size_t bytes) noexcept { return (bytes + kBlockAlign - 1) & ~(kBlockAlign - 1); }

// Number of twiddles of all radix-4 passes of an h-point complex FFT: 3/4 of each pass length.
std::uint64_t stageTwiddleCount(std::uint64_t h) noexcept {
    std::uint64_t count = 0;
    for (std::uint64_t n = h; n >= 4; n /= 4) count += 3 * (n / 4);
    return count;
}

// W^k = e^(-2 pi i k / n) for k = 0 .. n/4, in double from the nearer octant so that the values on
// the axes and the diagonal come out exact, then rounded once.
void fillSplitTable(ComplexFloat* table, std::size_t n) noexcept {
    const std::size_t quarter = n / 4;
    const double step = 2.0 * 3.14159265358979323846 / static_cast<double>(n);
    for (std::size_t k = 0; k <= quarter; ++k) {
        double c, s;
        if (2 * k <= quarter) {
            c = std::cos(step * static_cast<double>(k));
            s = std::sin(step * static_cast<double>(k));
        } else {
            c = std::sin(step * static_cast<double>(quarter - k));
            s = std::cos(step * static_cast<double>(quarter - k));
        }
        table[k].re = static_cast<float>(c);
        table[k].im = static_cast<float>(-s);
    }
}

// W^f for f < 3n/4 from the quarter table by exact symmetries, so every stage twiddle equals the
// double value rounded once.
ComplexFloat twiddle(const ComplexFloat* split, std::size_t n, std::size_t f) noexcept {
    const std::size_t quarter = n / 4;
    if (f <= quarter) return split[f];
    if (f <= 2 * quarter) {
        const ComplexFloat v = split[f - quarter];  // times -i
        return {v.im, -v.re};
    }
    const ComplexFloat v = split[f - 2 * quarter];
    return {-v.re, -v.im};
}

void fillStageTables(ComplexFloat* stages, const ComplexFloat* split, std::size_t n) noexcept {
    const std::size_t h = n / 2;
    for (std::size_t len = h; len >= 4; len /= 4) {
        const std::size_t n1 = len / 4, unit = n / len;
        for (std::size_t m = 1; m <= 3; ++m)
            for (std::size_t p = 0; p < n1; ++p) *stages++ = twiddle(split, n, m * p * unit);
    }
}

// Orders 0..3: the transform as its defining sum over the eight exact roots of unity (the diagonal
// ones are 1/sqrt(2) in single precision), accumulated in double and rounded once.
constexpr float kRoot = 0.70710677f;
constexpr float kCos8[8] = {1, kRoot, 0, -kRoot, -1, -kRoot, 0, kRoot};
constexpr float kSin8[8] = {0, kRoot, 1, kRoot, 0, -kRoot, -1, -kRoot};

void forwardDirect(const float* src, float* dst, int n, float scale) noexcept {
    float out[8];
    const int step = 8 / n;
    for (int k = 0; k <= n / 2; ++k) {
        double re = 0, im = 0;
        for (int j = 0; j < n; ++j) {
            const int a = (k * j % n) * step;
            re += static_cast<double>(src[j]) * kCos8[a];
            im -= static_cast<double>(src[j]) * kSin8[a];
        }
        re *= scale;
        im *= scale;
        if (k == 0) {
            out[0] = static_cast<float>(re);
        } else if (k == n / 2) {
            out[1] = static_cast<float>(re);
        } else {
            out[2 * k] = static_cast<float>(re);
            out[2 * k + 1] = static_cast<float>(im);
        }
    }
    for (int i = 0; i < n; ++i) dst[i] = out[i];
}

void inverseDirect(const float* src, float* dst, int n, float scale) noexcept {
    float out[8];
    const int step = 8 / n;
    for (int j = 0; j < n; ++j) {
        double sum = src[0];
        if (n > 1) sum += (j % 2 ? -1.0 : 1.0) * src[1];
        for (int k = 1; k < n / 2; ++k) {
            const int a = (k * j % n) * step;
            sum += 2.0 * (static_cast<double>(src[2 * k]) * kCos8[a] -
                          static_cast<double>(src[2 * k + 1]) * kSin8[a]);
        }
        out[j] = static_cast<float>(sum * scale);
    }
    for (int i = 0; i < n; ++i) dst[i] = out[i];
}

enum class Direction { Forward, Inverse };

void forwardPasses(const RealFftPlan& plan, const float* src, float* dst, ComplexFloat* work) noexcept {
    const RealFftPasses& ops = *plan.passes;
    const std::size_t h = static_cast<std::size_t>(plan.size) / 2;
    ComplexFloat* out = reinterpret_cast<ComplexFloat*>(dst);
    const ComplexFloat* cur = reinterpret_cast<const ComplexFloat*>(src);
    // The first pass never writes dst, which may be src.
    ComplexFloat* next = work;
    const ComplexFloat* w = plan.stages;
    std::size_t n = h, s = 1;
    for (; n >= 4; n /= 4, s *= 4) {
        ops.radix4Forward(n, s, cur, next, w);
        w += 3 * (n / 4);
        cur = next;
        next = next == work ? out : work;
    }
    if (n == 2) {
        ops.radix2(s, cur, next);
        cur = next;
    }
    ops.splitForward(h, cur, dst, plan.split, plan.forwardScale);
}

void inversePasses(const RealFftPlan& plan, const float* src, float* dst, ComplexFloat* work) noexcept {
    const RealFftPasses& ops = *plan.passes;
    const std::size_t h = static_cast<std::size_t>(plan.size) / 2;
    ComplexFloat* out = reinterpret_cast<ComplexFloat*>(dst);
    std::size_t passCount = 0, n = h;
    for (; n >= 4; n /= 4) ++passCount;
    if (n == 2) ++passCount;
    // Start in the buffer from which an alternating sequence of passes ends in dst.
    ComplexFloat* cur = passCount % 2 == 0 ? out : work;
    ops.splitInverse(h, src, cur, plan.split, plan.inverseScale);
    const ComplexFloat* w = plan.stages;
    std::size_t s = 1;
    for (n = h; n >= 4; n /= 4, s *= 4) {
        ComplexFloat* next = cur == work ? out : work;
        ops.radix4Inverse(n, s, cur, next, w);
        w += 3 * (n / 4);
        cur = next;
    }
    if (n == 2) ops.radix2(s, cur, cur == work ? out : work);
}

KernelStatus transform(const float* src, float* dst, const RealFftPlan* plan, std::uint8_t* scratch,
                       Direction direction) noexcept {
    if (!plan) return kStatusNullPointer;
    if (!isPlan(plan)) return kStatusWrongObject;
    if (!src || !dst) return kStatusNullPointer;
    const bool forward = direction == Direction::Forward;
    if (plan->order <= kLargestDirectOrder) {
        if (forward)
            forwardDirect(src, dst, plan->size, plan->forwardScale);
        else
            inverseDirect(src, dst, plan->size, plan->inverseScale);
        return kStatusOk;
    }
    ComplexFloat* work = plan->ownWork;
    void* temporary = nullptr;
    if (!work) {
        if (scratch) {
            const std::uintptr_t at = (reinterpret_cast<std::uintptr_t>(scratch) + 15) & ~std::uintptr_t{15};
            work = reinterpret_cast<ComplexFloat*>(at);
        } else {
            temporary = kernelAllocBytes(static_cast<std::size_t>(plan->scratchBytes));
            if (!temporary) return kStatusNoMemory;
            work = static_cast<ComplexFloat*>(temporary);
        }
    }
    if (forward)
        forwardPasses(*plan, src, dst, work);
    else
        inversePasses(*plan, src, dst, work);
    kernelFreeBytes(temporary);
    return kStatusOk;
}

}  // namespace

KernelStatus realFftCreate(RealFftPlan** plan, int order, int normalization, int hint) noexcept {
    if (!plan) return kStatusNullPointer;
    if (order < 0 || order > kMaxOrder) return kStatusBadFftOrder;
    if (normalization != NormalizeForward && normalization != NormalizeInverse &&
        normalization != NormalizeSqrt && normalization != NormalizeNone)
        return kStatusBadFftNormalization;

    const std::uint64_t n = std::uint64_t{1} << order;
    const bool passes = order > kLargestDirectOrder;
    const std::uint64_t splitCount = passes ? n / 4 + 1 : 0;
    const std::uint64_t stageCount = passes ? stageTwiddleCount(n / 2) : 0;
    const std::uint64_t bytes = roundUp(sizeof(RealFftPlan)) + roundUp(splitCount * sizeof(ComplexFloat)) +
                                stageCount * sizeof(ComplexFloat);
    if (bytes > SIZE_MAX / 2) return kStatusNoMemory;
    void* block = kernelAllocBytes(static_cast<std::size_t>(bytes));
    if (!block) return kStatusNoMemory;

    // The work buffer holds the N/2 complex values between passes. Where its size cannot be
    // reported as an int, the plan keeps the buffer itself and asks callers for none.
    const std::uint64_t workBytes = passes ? n * sizeof(float) : 0;
    const bool ownsWork = workBytes + 16 > static_cast<std::uint64_t>(INT_MAX);
    ComplexFloat* ownWork = nullptr;
    if (ownsWork) {
        if (workBytes > SIZE_MAX / 2 ||
            !(ownWork = static_cast<ComplexFloat*>(kernelAllocBytes(static_cast<std::size_t>(workBytes))))) {
            kernelFreeBytes(block);
            return kStatusNoMemory;
        }
    }

    auto* bytesAt = static_cast<unsigned char*>(block);
    auto* p = new (block) RealFftPlan{};
    auto* split = reinterpret_cast<ComplexFloat*>(bytesAt + roundUp(sizeof(RealFftPlan)));
    auto* stages = reinterpret_cast<ComplexFloat*>(bytesAt + roundUp(sizeof(RealFftPlan)) +
                                                   roundUp(splitCount * sizeof(ComplexFloat)));
    if (passes) {
        fillSplitTable(split, static_cast<std::size_t>(n));
        fillStageTables(stages, split, static_cast<std::size_t>(n));
    }
    const double size = static_cast<double>(n);
    const float rootScale = static_cast<float>(1.0 / std::sqrt(size));
    const float fullScale = static_cast<float>(1.0 / size);
    p->order = order;
    p->size = static_cast<std::int32_t>(n);
    p->normalization = normalization;
    p->hint = hint;
    p->forwardScale = normalization == NormalizeForward ? fullScale : normalization == NormalizeSqrt ? rootScale : 1.0f;
    p->inverseScale = normalization == NormalizeInverse ? fullScale : normalization == NormalizeSqrt ? rootScale : 1.0f;
    p->scratchBytes = ownsWork ? 0 : static_cast<std::int32_t>(workBytes);
    p->passes = &zqx::detail::activeFftPasses();
    p->split = split;
    p->stages = stages;
    p->ownWork = ownWork;
    p->kind = kRealFftPlanTag;
    *plan = p;
    return kStatusOk;
}

KernelStatus realFftScratchSize(const RealFftPlan* plan, int* bytes) noexcept {
    if (!plan || !bytes) return kStatusNullPointer;
    if (!isPlan(plan)) return kStatusWrongObject;
    *bytes = plan->order <= kLargestDirectOrder ? 0 : plan->scratchBytes + 16;
    return kStatusOk;
}

KernelStatus realFftDestroy(RealFftPlan* plan) noexcept {
    if (!plan) return kStatusNullPointer;
    if (!isPlan(plan)) return kStatusWrongObject;
    plan->kind = 0;
    kernelFreeBytes(plan->ownWork);
    // The plan sits at the start of the one block that also holds its tables.
    plan->~RealFftPlan();
    kernelFreeBytes(plan);
    return kStatusOk;
}

KernelStatus realFftForward(const float* src, float* dst, const RealFftPlan* plan,
                            std::uint8_t* scratch) noexcept {
    return transform(src, dst, plan, scratch, Direction::Forward);
}

KernelStatus realFftInverse(const float* src, float* dst, const RealFftPlan* plan,
                            std::uint8_t* scratch) noexcept {
    return transform(src, dst, plan, scratch, Direction::Inverse);
}

KernelStatus packedToComplex(const float* packed, ComplexFloat* dst, int length) noexcept {
    if (!packed || !dst) return kStatusNullPointer;
    if (length <= 0) return kStatusBadLength;
    dst[0] = {packed[0], 0.0f};
    if (length % 2 == 0) {
        const int half = length / 2;
        if (length > 1) dst[half] = {packed[1], 0.0f};
        for (int k = 1; k < half; ++k) {
            dst[k] = {packed[2 * k], packed[2 * k + 1]};
            dst[length - k] = {packed[2 * k], -packed[2 * k + 1]};
        }
    } else {
        for (int k = 1; k <= (length - 1) / 2; ++k) {
            dst[k] = {packed[2 * k - 1], packed[2 * k]};
            dst[length - k] = {packed[2 * k - 1], -packed[2 * k]};
        }
    }
    return kStatusOk;
}

KernelStatus packedToMagnitude(const float* packed, float* magnitude, int length) noexcept {
    if (!packed || !magnitude) return kStatusNullPointer;
    if (length <= 0) return kStatusBadLength;
    // Bin 0 has no imaginary part in the packed layout (packed[1] is bin N/2); its square root is
    // taken like the others so that a negative zero or a NaN comes out as complexToPolar gives it.
    const double re0 = packed[0];
    magnitude[0] = static_cast<float>(std::sqrt(re0 * re0 + 0.0 * 0.0));
    zqx::detail::activeFftPasses().magnitudes(packed + 2, magnitude + 1, static_cast<std::size_t>(length - 1));
    return kStatusOk;
}

KernelStatus packedToPower(const float* packed, double* power, int first, int length) noexcept {
    if (!packed || !power) return kStatusNullPointer;
    if (first < 1 || length <= 0) return kStatusBadLength;
    zqx::detail::activeFftPasses().powers(packed + 2 * static_cast<std::size_t>(first), power,
                                          static_cast<std::size_t>(length));
    return kStatusOk;
}

KernelStatus complexToPolar(const ComplexFloat* src, float* magnitude, float* phase, int length) noexcept {
    if (!src || !magnitude || !phase) return kStatusNullPointer;
    if (length <= 0) return kStatusBadLength;
    for (int i = 0; i < length; ++i) {
        const double re = src[i].re, im = src[i].im;
        magnitude[i] = static_cast<float>(std::sqrt(re * re + im * im));
        phase[i] = static_cast<float>(std::atan2(im, re));
    }
    return kStatusOk;
}
