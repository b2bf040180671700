// AVX2 inner passes of the real FFT: the passes of real_fft_simd_passes.h on four interleaved
// complex values per register. Built with AVX2 enabled for this file only and used only when the
// processor reports AVX2.
#include "kernels/detail/real_fft_plan.h"

#if defined(ZQX_HAVE_AVX2_FFT) && defined(__AVX2__)

#include <immintrin.h>

#include "kernels/detail/real_fft_simd_passes.h"

namespace zqx::detail {
namespace {

struct Avx2 {
    using Reg = __m256;
    static constexpr std::size_t kValues = 4;

    static Reg load(const ComplexFloat* p) noexcept { return _mm256_loadu_ps(&p->re); }
    static void store(ComplexFloat* p, Reg v) noexcept { _mm256_storeu_ps(&p->re, v); }
    static Reg add(Reg a, Reg b) noexcept { return _mm256_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) noexcept { return _mm256_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) noexcept { return _mm256_mul_ps(a, b); }
    static Reg set1(float x) noexcept { return _mm256_set1_ps(x); }
    static Reg swapPairs(Reg v) noexcept { return _mm256_permute_ps(v, _MM_SHUFFLE(2, 3, 0, 1)); }
    static Reg flipEven(Reg v) noexcept {
        return _mm256_xor_ps(v, _mm256_setr_ps(-0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f));
    }
    static Reg flipOdd(Reg v) noexcept {
        return _mm256_xor_ps(v, _mm256_setr_ps(0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f));
    }
    static Reg reverse(Reg v) noexcept {
        return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), _MM_SHUFFLE(0, 1, 2, 3)));
    }
    static Reg realParts(Reg v) noexcept { return _mm256_moveldup_ps(v); }
    static Reg imagParts(Reg v) noexcept { return _mm256_movehdup_ps(v); }
    // A 4 x 4 transpose of complex values.
    static void storeFirstPass(ComplexFloat* out, Reg o0, Reg o1, Reg o2, Reg o3) noexcept {
        const __m256d y0 = _mm256_castps_pd(o0), y1 = _mm256_castps_pd(o1);
        const __m256d y2 = _mm256_castps_pd(o2), y3 = _mm256_castps_pd(o3);
        const __m256d t0 = _mm256_unpacklo_pd(y0, y1), t1 = _mm256_unpackhi_pd(y0, y1);
        const __m256d t2 = _mm256_unpacklo_pd(y2, y3), t3 = _mm256_unpackhi_pd(y2, y3);
        store(out, _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x20)));
        store(out + 4, _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x20)));
        store(out + 8, _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x31)));
        store(out + 12, _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x31)));
    }
};

// A first pass of fewer than four butterflies (8 points) is left to the SSE2 pass.
void radix4Forward(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y, const ComplexFloat* w) {
    if (s == 1 && n < 16) return sse2FftPasses().radix4Forward(n, s, x, y, w);
    simd::radix4<Avx2, false>(n, s, x, y, w);
}

void radix4Inverse(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y, const ComplexFloat* w) {
    if (s == 1 && n < 16) return sse2FftPasses().radix4Inverse(n, s, x, y, w);
    simd::radix4<Avx2, true>(n, s, x, y, w);
}

// Four pairs per step, as in the SSE2 passes, with the doubles in one wide register.
void magnitudes(const float* pairs, float* magnitude, std::size_t count) noexcept {
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 a = _mm_loadu_ps(pairs + 2 * i);
        const __m128 b = _mm_loadu_ps(pairs + 2 * i + 4);
        const __m256d re = _mm256_cvtps_pd(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
        const __m256d im = _mm256_cvtps_pd(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
        const __m256d power = _mm256_add_pd(_mm256_mul_pd(re, re), _mm256_mul_pd(im, im));
        _mm_storeu_ps(magnitude + i, _mm256_cvtpd_ps(_mm256_sqrt_pd(power)));
    }
    magnitudePairs(i, pairs, magnitude, count);
}

void powers(const float* pairs, double* power, std::size_t count) noexcept {
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 a = _mm_loadu_ps(pairs + 2 * i);
        const __m128 b = _mm_loadu_ps(pairs + 2 * i + 4);
        const __m256d re = _mm256_cvtps_pd(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
        const __m256d im = _mm256_cvtps_pd(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
        _mm256_storeu_pd(power + i, _mm256_add_pd(_mm256_mul_pd(re, re), _mm256_mul_pd(im, im)));
    }
    powerPairs(i, pairs, power, count);
}

}  // namespace

const RealFftPasses& avx2FftPasses() noexcept {
    static const RealFftPasses passes = {"avx2", radix4Forward, radix4Inverse, simd::radix2<Avx2>,
                                         simd::splitForward<Avx2>, simd::splitInverse<Avx2>,
                                         magnitudes, powers};
    return passes;
}

}  // namespace zqx::detail

#endif
