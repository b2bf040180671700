// SSE2 inner passes of the real FFT: two interleaved complex values per register. Same arithmetic
// as the scalar passes, operation for operation, so the results agree up to float rounding.
#include "kernels/detail/real_fft_plan.h"

#if defined(ZQX_HAVE_SSE2_FFT)

#include <emmintrin.h>

namespace zqx::detail {
namespace {

inline __m128 load2(const ComplexFloat* p) noexcept { return _mm_loadu_ps(&p->re); }
inline void store2(ComplexFloat* p, __m128 v) noexcept { _mm_storeu_ps(&p->re, v); }

// (re, im) pairs to (im, re)
inline __m128 swapPairs(__m128 v) noexcept { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)); }

// v times w where wr holds the real parts and wiSigned the imaginary parts as (-wi, wi, -wi, wi).
inline __m128 mulTw(__m128 v, __m128 wr, __m128 wiSigned) noexcept {
    return _mm_add_ps(_mm_mul_ps(v, wr), _mm_mul_ps(swapPairs(v), wiSigned));
}

struct Twiddle {
    __m128 re;
    __m128 imSigned;
};

// One twiddle broadcast to both lanes; the inverse uses its conjugate.
template <bool Inverse>
inline Twiddle broadcast(const ComplexFloat& w) noexcept {
    const float im = Inverse ? -w.im : w.im;
    return {_mm_set1_ps(w.re), _mm_set_ps(im, -im, im, -im)};
}

// Twiddles p and p + 1 in the two lanes.
template <bool Inverse>
inline Twiddle pairOf(const ComplexFloat* w) noexcept {
    const __m128 v = load2(w);
    const __m128 re = _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 0, 0));
    const __m128 im = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 1, 1));
    const __m128 sign = Inverse ? _mm_set_ps(-0.0f, 0.0f, -0.0f, 0.0f) : _mm_set_ps(0.0f, -0.0f, 0.0f, -0.0f);
    return {re, _mm_xor_ps(im, sign)};
}

// Forward: -i v; inverse: +i v.
template <bool Inverse>
inline __m128 rotate(__m128 v) noexcept {
    const __m128 sign = Inverse ? _mm_set_ps(0.0f, -0.0f, 0.0f, -0.0f) : _mm_set_ps(-0.0f, 0.0f, -0.0f, 0.0f);
    return _mm_xor_ps(swapPairs(v), sign);
}

struct Outputs {
    __m128 y0, y1, y2, y3;
};

template <bool Inverse>
inline Outputs butterfly(__m128 a, __m128 b, __m128 c, __m128 d, const Twiddle& w1, const Twiddle& w2,
                         const Twiddle& w3) noexcept {
    const __m128 apc = _mm_add_ps(a, c), amc = _mm_sub_ps(a, c), bpd = _mm_add_ps(b, d);
    const __m128 jbmd = rotate<Inverse>(_mm_sub_ps(b, d));
    return {_mm_add_ps(apc, bpd), mulTw(_mm_add_ps(amc, jbmd), w1.re, w1.imSigned),
            mulTw(_mm_sub_ps(apc, bpd), w2.re, w2.imSigned), mulTw(_mm_sub_ps(amc, jbmd), w3.re, w3.imSigned)};
}

template <bool Inverse>
void radix4(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y, const ComplexFloat* w) {
    const std::size_t n1 = n / 4;
    if (s == 1) {
        // First pass: the lanes are neighbouring p, whose outputs interleave by four.
        for (std::size_t p = 0; p < n1; p += 2) {
            const Outputs o = butterfly<Inverse>(load2(x + p), load2(x + p + n1), load2(x + p + 2 * n1),
                                                 load2(x + p + 3 * n1), pairOf<Inverse>(w + p),
                                                 pairOf<Inverse>(w + n1 + p), pairOf<Inverse>(w + 2 * n1 + p));
            ComplexFloat* out = y + 4 * p;
            store2(out, _mm_movelh_ps(o.y0, o.y1));
            store2(out + 2, _mm_movelh_ps(o.y2, o.y3));
            store2(out + 4, _mm_movehl_ps(o.y1, o.y0));
            store2(out + 6, _mm_movehl_ps(o.y3, o.y2));
        }
        return;
    }
    // Later passes: s is a multiple of four, the lanes are neighbouring q sharing one twiddle.
    for (std::size_t p = 0; p < n1; ++p) {
        const Twiddle w1 = broadcast<Inverse>(w[p]), w2 = broadcast<Inverse>(w[n1 + p]),
                      w3 = broadcast<Inverse>(w[2 * n1 + p]);
        const ComplexFloat* xa = x + s * p;
        const ComplexFloat* xb = x + s * (p + n1);
        const ComplexFloat* xc = x + s * (p + 2 * n1);
        const ComplexFloat* xd = x + s * (p + 3 * n1);
        ComplexFloat* ya = y + s * 4 * p;
        for (std::size_t q = 0; q < s; q += 2) {
            const Outputs o = butterfly<Inverse>(load2(xa + q), load2(xb + q), load2(xc + q), load2(xd + q), w1, w2, w3);
            store2(ya + q, o.y0);
            store2(ya + q + s, o.y1);
            store2(ya + q + 2 * s, o.y2);
            store2(ya + q + 3 * s, o.y3);
        }
    }
}

void radix4Forward(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y,
                   const ComplexFloat* w) {
    radix4<false>(n, s, x, y, w);
}

void radix4Inverse(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y,
                   const ComplexFloat* w) {
    radix4<true>(n, s, x, y, w);
}

void radix2(std::size_t s, const ComplexFloat* x, ComplexFloat* y) {
    for (std::size_t q = 0; q < s; q += 2) {
        const __m128 a = load2(x + q), b = load2(x + q + s);
        store2(y + q, _mm_add_ps(a, b));
        store2(y + q + s, _mm_sub_ps(a, b));
    }
}

// Complex values (c0, c1) to (c1, c0).
inline __m128 swapValues(__m128 v) noexcept { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)); }
inline __m128 conj(__m128 v) noexcept { return _mm_xor_ps(v, _mm_set_ps(-0.0f, 0.0f, -0.0f, 0.0f)); }

// Two pairs per step: k, k + 1 in the lanes of one register and h - k, h - k - 1 in the other,
// until the two meet; the scalar step finishes the middle.
void splitForward(std::size_t h, const ComplexFloat* z, float* out, const ComplexFloat* split, float scale) {
    const float z0re = z[0].re, z0im = z[0].im;
    out[0] = (z0re + z0im) * scale;
    out[1] = (z0re - z0im) * scale;
    const __m128 half = _mm_set1_ps(0.5f * scale);
    auto* packed = reinterpret_cast<ComplexFloat*>(out);
    std::size_t k = 1;
    for (; k + 1 < h - k - 1; k += 2) {
        const std::size_t m = h - k - 1;
        const __m128 a = load2(z + k), b = swapValues(load2(z + m));
        const __m128 e = _mm_mul_ps(_mm_add_ps(a, conj(b)), half);
        const __m128 o = _mm_mul_ps(rotate<false>(_mm_sub_ps(a, conj(b))), half);
        const Twiddle w = pairOf<false>(split + k);
        const __m128 t = mulTw(o, w.re, w.imSigned);
        store2(packed + k, _mm_add_ps(e, t));
        store2(packed + m, swapValues(conj(_mm_sub_ps(e, t))));
    }
    splitForwardPairs(h, k, z, out, split, scale);
}

void splitInverse(std::size_t h, const float* packed, ComplexFloat* z, const ComplexFloat* split, float scale) {
    const float x0 = packed[0], xh = packed[1];
    const __m128 factor = _mm_set1_ps(scale);
    const auto* x = reinterpret_cast<const ComplexFloat*>(packed);
    std::size_t k = 1;
    for (; k + 1 < h - k - 1; k += 2) {
        const std::size_t m = h - k - 1;
        const __m128 a = load2(x + k), b = swapValues(load2(x + m));
        const __m128 p = _mm_mul_ps(_mm_add_ps(a, conj(b)), factor);
        const __m128 q = _mm_mul_ps(_mm_sub_ps(a, conj(b)), factor);
        const Twiddle w = pairOf<true>(split + k);
        const __m128 ir = rotate<true>(mulTw(q, w.re, w.imSigned));
        store2(z + k, _mm_add_ps(p, ir));
        store2(z + m, swapValues(conj(_mm_sub_ps(p, ir))));
    }
    splitInversePairs(h, k, packed, z, split, scale);
    z[0].re = (x0 + xh) * scale;
    z[0].im = (x0 - xh) * scale;
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
    static const RealFftPasses passes = {"sse2", radix4Forward, radix4Inverse, radix2,
                                         splitForward, splitInverse, magnitudes, powers};
    return passes;
}

}  // namespace zqx::detail

#endif
