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

}  // namespace

const RealFftPasses& sse2FftPasses() noexcept {
    static const RealFftPasses passes = {"sse2", radix4Forward, radix4Inverse, simd::radix2<Sse2>,
                                         simd::splitForward<Sse2>, simd::splitInverse<Sse2>};
    return passes;
}

}  // namespace zqx::detail

#endif
