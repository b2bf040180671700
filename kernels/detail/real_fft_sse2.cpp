// SSE2 inner passes of the real FFT: the passes of real_fft_simd_passes.h on two interleaved complex
// values per register.
#include "kernels/detail/real_fft_plan.h"

#if defined(ZQX_HAVE_SSE2_FFT)

#include <emmintrin.h>

#include "kernels/detail/real_fft_simd_passes.h"

namespace zqx::detail {
namespace {

struct Sse2 {
    using Reg = __m128;
    static constexpr std::size_t kValues = 2;

    static Reg load(const ComplexFloat* p) noexcept { return _mm_loadu_ps(&p->re); }
    static void store(ComplexFloat* p, Reg v) noexcept { _mm_storeu_ps(&p->re, v); }
    static Reg add(Reg a, Reg b) noexcept { return _mm_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) noexcept { return _mm_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) noexcept { return _mm_mul_ps(a, b); }
    static Reg set1(float x) noexcept { return _mm_set1_ps(x); }
    static Reg swapPairs(Reg v) noexcept { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)); }
    static Reg flipEven(Reg v) noexcept { return _mm_xor_ps(v, _mm_set_ps(0.0f, -0.0f, 0.0f, -0.0f)); }
    static Reg flipOdd(Reg v) noexcept { return _mm_xor_ps(v, _mm_set_ps(-0.0f, 0.0f, -0.0f, 0.0f)); }
    static Reg reverse(Reg v) noexcept { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)); }
    static Reg realParts(Reg v) noexcept { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 0, 0)); }
    static Reg imagParts(Reg v) noexcept { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 1, 1)); }
    static void storeFirstPass(ComplexFloat* out, Reg y0, Reg y1, Reg y2, Reg y3) noexcept {
        store(out, _mm_movelh_ps(y0, y1));
        store(out + 2, _mm_movelh_ps(y2, y3));
        store(out + 4, _mm_movehl_ps(y1, y0));
        store(out + 6, _mm_movehl_ps(y3, y2));
    }
};

void radix4Forward(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y, const ComplexFloat* w) {
    simd::radix4<Sse2, false>(n, s, x, y, w);
}

void radix4Inverse(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y, const ComplexFloat* w) {
    simd::radix4<Sse2, true>(n, s, x, y, w);
}

// Four pairs per step: the real and imaginary parts gathered into one register each, widened to
// two registers of doubles.
void magnitudes(const float* pairs, float* magnitude, std::size_t count) noexcept {
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 a = _mm_loadu_ps(pairs + 2 * i);
        const __m128 b = _mm_loadu_ps(pairs + 2 * i + 4);
        const __m128 re = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 im = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128d reLo = _mm_cvtps_pd(re), imLo = _mm_cvtps_pd(im);
        const __m128d reHi = _mm_cvtps_pd(_mm_movehl_ps(re, re)), imHi = _mm_cvtps_pd(_mm_movehl_ps(im, im));
        const __m128d lo = _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(reLo, reLo), _mm_mul_pd(imLo, imLo)));
        const __m128d hi = _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(reHi, reHi), _mm_mul_pd(imHi, imHi)));
        _mm_storeu_ps(magnitude + i, _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)));
    }
    magnitudePairs(i, pairs, magnitude, count);
}

void powers(const float* pairs, double* power, std::size_t count) noexcept {
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 a = _mm_loadu_ps(pairs + 2 * i);
        const __m128 b = _mm_loadu_ps(pairs + 2 * i + 4);
        const __m128 re = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 im = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128d reLo = _mm_cvtps_pd(re), imLo = _mm_cvtps_pd(im);
        const __m128d reHi = _mm_cvtps_pd(_mm_movehl_ps(re, re)), imHi = _mm_cvtps_pd(_mm_movehl_ps(im, im));
        _mm_storeu_pd(power + i, _mm_add_pd(_mm_mul_pd(reLo, reLo), _mm_mul_pd(imLo, imLo)));
        _mm_storeu_pd(power + i + 2, _mm_add_pd(_mm_mul_pd(reHi, reHi), _mm_mul_pd(imHi, imHi)));
    }
    powerPairs(i, pairs, power, count);
}

}  // namespace

const RealFftPasses& sse2FftPasses() noexcept {
    static const RealFftPasses passes = {"sse2", radix4Forward, radix4Inverse, simd::radix2<Sse2>,
                                         simd::splitForward<Sse2>, simd::splitInverse<Sse2>,
                                         magnitudes, powers};
    return passes;
}

}  // namespace zqx::detail

#endif
