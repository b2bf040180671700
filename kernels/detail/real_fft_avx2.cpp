// AVX2 inner passes of the real FFT: four interleaved complex values per register. Built with AVX2
// enabled for this file only and used only when the processor reports AVX2; the operations and
// their order are those of the scalar passes, so the results are the same.
#include "kernels/detail/real_fft_plan.h"

#if defined(ZQX_HAVE_AVX2_FFT) && defined(__AVX2__)

#include <immintrin.h>

namespace zqx::detail {
namespace {

inline __m256 load4(const ComplexFloat* p) noexcept { return _mm256_loadu_ps(&p->re); }
inline void store4(ComplexFloat* p, __m256 v) noexcept { _mm256_storeu_ps(&p->re, v); }

inline __m256 swapPairs(__m256 v) noexcept { return _mm256_permute_ps(v, _MM_SHUFFLE(2, 3, 0, 1)); }
inline __m256 flipOdd(__m256 v) noexcept {
    return _mm256_xor_ps(v, _mm256_setr_ps(0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f));
}
inline __m256 flipEven(__m256 v) noexcept {
    return _mm256_xor_ps(v, _mm256_setr_ps(-0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f));
}
inline __m256 conj(__m256 v) noexcept { return flipOdd(v); }
// Complex values (c0, c1, c2, c3) to (c3, c2, c1, c0).
inline __m256 reverse(__m256 v) noexcept {
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), _MM_SHUFFLE(0, 1, 2, 3)));
}

inline __m256 mulTw(__m256 v, __m256 wr, __m256 wiSigned) noexcept {
    return _mm256_add_ps(_mm256_mul_ps(v, wr), _mm256_mul_ps(swapPairs(v), wiSigned));
}

struct Twiddle {
    __m256 re;
    __m256 imSigned;  // (-wi, wi) per value; (wi, -wi) for the conjugate
};

template <bool Inverse>
inline Twiddle broadcast(const ComplexFloat& w) noexcept {
    const float im = Inverse ? -w.im : w.im;
    return {_mm256_set1_ps(w.re), _mm256_setr_ps(-im, im, -im, im, -im, im, -im, im)};
}

template <bool Inverse>
inline Twiddle fourOf(const ComplexFloat* w) noexcept {
    const __m256 v = load4(w);
    const __m256 im = _mm256_movehdup_ps(v);
    return {_mm256_moveldup_ps(v), Inverse ? flipOdd(im) : flipEven(im)};
}

// Forward: -i v; inverse: +i v.
template <bool Inverse>
inline __m256 rotate(__m256 v) noexcept {
    return Inverse ? flipEven(swapPairs(v)) : flipOdd(swapPairs(v));
}

struct Outputs {
    __m256 y0, y1, y2, y3;
};

template <bool Inverse>
inline Outputs butterfly(__m256 a, __m256 b, __m256 c, __m256 d, const Twiddle& w1, const Twiddle& w2,
                         const Twiddle& w3) noexcept {
    const __m256 apc = _mm256_add_ps(a, c), amc = _mm256_sub_ps(a, c), bpd = _mm256_add_ps(b, d);
    const __m256 jbmd = rotate<Inverse>(_mm256_sub_ps(b, d));
    return {_mm256_add_ps(apc, bpd), mulTw(_mm256_add_ps(amc, jbmd), w1.re, w1.imSigned),
            mulTw(_mm256_sub_ps(apc, bpd), w2.re, w2.imSigned),
            mulTw(_mm256_sub_ps(amc, jbmd), w3.re, w3.imSigned)};
}

template <bool Inverse>
void radix4(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y, const ComplexFloat* w) {
    const std::size_t n1 = n / 4;
    if (s == 1) {
        // First pass: lanes are four neighbouring p; a 4 x 4 transpose of complex values puts the
        // outputs of each p next to each other.
        for (std::size_t p = 0; p < n1; p += 4) {
            const Outputs o = butterfly<Inverse>(load4(x + p), load4(x + p + n1), load4(x + p + 2 * n1),
                                                 load4(x + p + 3 * n1), fourOf<Inverse>(w + p),
                                                 fourOf<Inverse>(w + n1 + p), fourOf<Inverse>(w + 2 * n1 + p));
            const __m256d y0 = _mm256_castps_pd(o.y0), y1 = _mm256_castps_pd(o.y1);
            const __m256d y2 = _mm256_castps_pd(o.y2), y3 = _mm256_castps_pd(o.y3);
            const __m256d t0 = _mm256_unpacklo_pd(y0, y1), t1 = _mm256_unpackhi_pd(y0, y1);
            const __m256d t2 = _mm256_unpacklo_pd(y2, y3), t3 = _mm256_unpackhi_pd(y2, y3);
            ComplexFloat* out = y + 4 * p;
            store4(out, _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x20)));
            store4(out + 4, _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x20)));
            store4(out + 8, _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x31)));
            store4(out + 12, _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x31)));
        }
        return;
    }
    // Later passes: s is a multiple of four, lanes are neighbouring q sharing one twiddle.
    for (std::size_t p = 0; p < n1; ++p) {
        const Twiddle w1 = broadcast<Inverse>(w[p]), w2 = broadcast<Inverse>(w[n1 + p]),
                      w3 = broadcast<Inverse>(w[2 * n1 + p]);
        const ComplexFloat* xa = x + s * p;
        const ComplexFloat* xb = x + s * (p + n1);
        const ComplexFloat* xc = x + s * (p + 2 * n1);
        const ComplexFloat* xd = x + s * (p + 3 * n1);
        ComplexFloat* ya = y + s * 4 * p;
        for (std::size_t q = 0; q < s; q += 4) {
            const Outputs o = butterfly<Inverse>(load4(xa + q), load4(xb + q), load4(xc + q), load4(xd + q), w1, w2, w3);
            store4(ya + q, o.y0);
            store4(ya + q + s, o.y1);
            store4(ya + q + 2 * s, o.y2);
            store4(ya + q + 3 * s, o.y3);
        }
    }
}

// A first pass of fewer than four butterflies (8 points) is left to the SSE2 pass.
void radix4Forward(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y, const ComplexFloat* w) {
    if (s == 1 && n < 16) return sse2FftPasses().radix4Forward(n, s, x, y, w);
    radix4<false>(n, s, x, y, w);
}

void radix4Inverse(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y, const ComplexFloat* w) {
    if (s == 1 && n < 16) return sse2FftPasses().radix4Inverse(n, s, x, y, w);
    radix4<true>(n, s, x, y, w);
}

void radix2(std::size_t s, const ComplexFloat* x, ComplexFloat* y) {
    for (std::size_t q = 0; q < s; q += 4) {
        const __m256 a = load4(x + q), b = load4(x + q + s);
        store4(y + q, _mm256_add_ps(a, b));
        store4(y + q + s, _mm256_sub_ps(a, b));
    }
}

void splitForward(std::size_t h, const ComplexFloat* z, float* out, const ComplexFloat* split, float scale) {
    const float z0re = z[0].re, z0im = z[0].im;
    out[0] = (z0re + z0im) * scale;
    out[1] = (z0re - z0im) * scale;
    const __m256 half = _mm256_set1_ps(0.5f * scale);
    auto* packed = reinterpret_cast<ComplexFloat*>(out);
    std::size_t k = 1;
    for (; k + 3 < h - k - 3; k += 4) {
        const std::size_t m = h - k - 3;
        const __m256 a = load4(z + k), b = reverse(load4(z + m));
        const __m256 e = _mm256_mul_ps(_mm256_add_ps(a, conj(b)), half);
        const __m256 o = _mm256_mul_ps(rotate<false>(_mm256_sub_ps(a, conj(b))), half);
        const Twiddle w = fourOf<false>(split + k);
        const __m256 t = mulTw(o, w.re, w.imSigned);
        store4(packed + k, _mm256_add_ps(e, t));
        store4(packed + m, reverse(conj(_mm256_sub_ps(e, t))));
    }
    splitForwardPairs(h, k, z, out, split, scale);
}

void splitInverse(std::size_t h, const float* packed, ComplexFloat* z, const ComplexFloat* split, float scale) {
    const float x0 = packed[0], xh = packed[1];
    const __m256 factor = _mm256_set1_ps(scale);
    const auto* x = reinterpret_cast<const ComplexFloat*>(packed);
    std::size_t k = 1;
    for (; k + 3 < h - k - 3; k += 4) {
        const std::size_t m = h - k - 3;
        const __m256 a = load4(x + k), b = reverse(load4(x + m));
        const __m256 p = _mm256_mul_ps(_mm256_add_ps(a, conj(b)), factor);
        const __m256 q = _mm256_mul_ps(_mm256_sub_ps(a, conj(b)), factor);
        const Twiddle w = fourOf<true>(split + k);
        const __m256 ir = rotate<true>(mulTw(q, w.re, w.imSigned));
        store4(z + k, _mm256_add_ps(p, ir));
        store4(z + m, reverse(conj(_mm256_sub_ps(p, ir))));
    }
    splitInversePairs(h, k, packed, z, split, scale);
    z[0].re = (x0 + xh) * scale;
    z[0].im = (x0 - xh) * scale;
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
    static const RealFftPasses passes = {"avx2", radix4Forward, radix4Inverse, radix2,
                                         splitForward, splitInverse, magnitudes, powers};
    return passes;
}

}  // namespace zqx::detail

#endif
