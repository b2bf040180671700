// Layout of a real-FFT plan and the table of inner passes that a processor-specific variant fills.
// Shared by kernels/real_fft.cpp and the pass implementations; not part of the public interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernels/real_fft.h"

namespace zqx::detail {

// Inner passes of the transform for orders 4 and up, N = 2^order, H = N/2 complex points.
// The complex FFT is a Stockham (self-sorting) sequence of radix-4 passes, then one radix-2 pass
// when log2(H) is odd; each pass reads one buffer and writes another, so no bit reversal is needed.
struct RealFftPasses {
    const char* name;
    // One radix-4 pass over H points: sub-transform length n, stride s = H / n, twiddles w
    // (w1[n/4], w2[n/4], w3[n/4]). Inverse passes use the conjugate twiddles.
    void (*radix4Forward)(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y,
                          const ComplexFloat* w);
    void (*radix4Inverse)(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y,
                          const ComplexFloat* w);
    // The closing radix-2 pass (n = 2, s = H / 2); the same in both directions.
    void (*radix2)(std::size_t s, const ComplexFloat* x, ComplexFloat* y);
    // Complex spectrum Z of the H even/odd pairs to the packed real spectrum (z may equal out),
    // every value multiplied by `scale`. split holds W^k = e^(-2 pi i k / N), k = 0 .. N/4.
    void (*splitForward)(std::size_t h, const ComplexFloat* z, float* out, const ComplexFloat* split,
                         float scale);
    // Packed spectrum to the H-point complex spectrum whose inverse FFT gives N x (packed may equal
    // z), every value multiplied by `scale`.
    void (*splitInverse)(std::size_t h, const float* packed, ComplexFloat* z, const ComplexFloat* split,
                         float scale);
    // magnitude[i] = sqrt(re^2 + im^2) of the pair (pairs[2i], pairs[2i+1]), i < count: squares,
    // sum and root in double, rounded once to float. Every IEEE step is exact-rounded, so all
    // variants give the same bits.
    void (*magnitudes)(const float* pairs, float* magnitude, std::size_t count);
    // power[i] = re^2 + im^2 of the same pairs, in double (one rounding, the sum's).
    void (*powers)(const float* pairs, double* power, std::size_t count);
};

const RealFftPasses& scalarFftPasses() noexcept;
// The scalar magnitudes of pairs first .. count-1: the tail that wider variants leave over.
void magnitudePairs(std::size_t first, const float* pairs, float* magnitude, std::size_t count) noexcept;
void powerPairs(std::size_t first, const float* pairs, double* power, std::size_t count) noexcept;
// The scalar real-split steps for the pairs (k, h - k), k = first .. h/2, without the k = 0 term:
// the tails that wider variants leave over.
void splitForwardPairs(std::size_t h, std::size_t first, const ComplexFloat* z, float* out,
                       const ComplexFloat* split, float scale) noexcept;
void splitInversePairs(std::size_t h, std::size_t first, const float* packed, ComplexFloat* z,
                       const ComplexFloat* split, float scale) noexcept;
#if (defined(__SSE2__) || defined(_M_X64))
#define ZQX_HAVE_SSE2_FFT 1
const RealFftPasses& sse2FftPasses() noexcept;
#endif

#if defined(ZQX_HAVE_AVX2_FFT)
// Only for processors that report AVX2 (see activeFftPasses).
const RealFftPasses& avx2FftPasses() noexcept;
#endif

// The passes chosen for this process (the widest the processor runs), and a test-only override.
const RealFftPasses& activeFftPasses() noexcept;
// Forces `passes` for plans created afterwards (null restores the automatic choice). Tests only.
void overrideFftPasses(const RealFftPasses* passes) noexcept;

constexpr std::uint32_t kRealFftPlanTag = 0x54464652u;  // "RFFT"

}  // namespace zqx::detail

// Placed at the start of one kernelAllocBytes block that holds the tables after it.
struct RealFftPlan {
    std::uint32_t kind;
    std::int32_t order;
    std::int32_t size;
    std::int32_t normalization;
    std::int32_t hint;
    float forwardScale;
    float inverseScale;
    // Bytes of scratch a transform needs, before the 16 bytes of alignment room; 0 up to order 3 and
    // for plans that own their work buffer.
    std::int32_t scratchBytes;
    const zqx::detail::RealFftPasses* passes;
    const ComplexFloat* split;    // N/4 + 1 values
    const ComplexFloat* stages;   // radix-4 pass twiddles, first pass first
    // Work buffer of N floats owned by plans whose scratch size would not fit an int (orders 29, 30).
    ComplexFloat* ownWork;
};
