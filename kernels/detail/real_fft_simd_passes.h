// The real FFT's inner passes written once over a small vector type, for the SSE2 and AVX2 files.
// Each of those files defines its vector type and instantiates these templates with its own ISA flag,
// so every function here depends on the vector type and no instance is shared between the two.
// The operations and their order are those of the scalar passes, so every variant gives the same
// results (RealFft tests compare each variant with the scalar passes).
//
// A vector type V holds V::kValues interleaved complex values (re, im, re, im, ...) in a V::Reg and
// provides, all inline and noexcept:
//   load(const ComplexFloat*), store(ComplexFloat*, Reg)  unaligned, kValues values
//   add, sub, mul (lane by lane), set1(float)
//   swapPairs(Reg)    (re, im) to (im, re) in every value
//   flipEven(Reg)     negates every real part; flipOdd(Reg) every imaginary part
//   reverse(Reg)      the complex values in reverse order
//   realParts(Reg)    (re, re) per value; imagParts(Reg) (im, im) per value
//   storeFirstPass(ComplexFloat* out, y0, y1, y2, y3)
//                     the first radix-4 pass's outputs of kValues neighbouring p, whose outputs
//                     interleave by four: out[4p + j] = yj[p]
#pragma once

#include <cstddef>

#include "kernels/detail/real_fft_plan.h"

namespace zqx::detail::simd {

template <typename V>
struct Twiddle {
    typename V::Reg re;
    typename V::Reg imSigned;  // (-wi, wi) per value; (wi, -wi) for the conjugate
};

// v times w.
template <typename V>
inline typename V::Reg mulTw(typename V::Reg v, const Twiddle<V>& w) noexcept {
    return V::add(V::mul(v, w.re), V::mul(V::swapPairs(v), w.imSigned));
}

// One twiddle in every value; the inverse uses its conjugate.
template <typename V, bool Inverse>
inline Twiddle<V> broadcast(const ComplexFloat& w) noexcept {
    return {V::set1(w.re), V::flipEven(V::set1(Inverse ? -w.im : w.im))};
}

// kValues consecutive twiddles, one per value.
template <typename V, bool Inverse>
inline Twiddle<V> consecutive(const ComplexFloat* w) noexcept {
    const typename V::Reg v = V::load(w), im = V::imagParts(v);
    return {V::realParts(v), Inverse ? V::flipOdd(im) : V::flipEven(im)};
}

// Forward: -i v; inverse: +i v.
template <typename V, bool Inverse>
inline typename V::Reg rotate(typename V::Reg v) noexcept {
    return Inverse ? V::flipEven(V::swapPairs(v)) : V::flipOdd(V::swapPairs(v));
}

template <typename V>
struct Outputs {
    typename V::Reg y0, y1, y2, y3;
};

template <typename V, bool Inverse>
inline Outputs<V> butterfly(typename V::Reg a, typename V::Reg b, typename V::Reg c, typename V::Reg d,
                            const Twiddle<V>& w1, const Twiddle<V>& w2, const Twiddle<V>& w3) noexcept {
    const typename V::Reg apc = V::add(a, c), amc = V::sub(a, c), bpd = V::add(b, d);
    const typename V::Reg jbmd = rotate<V, Inverse>(V::sub(b, d));
    return {V::add(apc, bpd), mulTw<V>(V::add(amc, jbmd), w1), mulTw<V>(V::sub(apc, bpd), w2),
            mulTw<V>(V::sub(amc, jbmd), w3)};
}

// One radix-4 pass (see RealFftPasses). The first pass (s = 1) needs n / 4 >= kValues.
template <typename V, bool Inverse>
void radix4(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y, const ComplexFloat* w) noexcept {
    constexpr std::size_t kW = V::kValues;
    const std::size_t n1 = n / 4;
    if (s == 1) {
        // First pass: the lanes are neighbouring p.
        for (std::size_t p = 0; p < n1; p += kW) {
            const Outputs<V> o = butterfly<V, Inverse>(
                V::load(x + p), V::load(x + p + n1), V::load(x + p + 2 * n1), V::load(x + p + 3 * n1),
                consecutive<V, Inverse>(w + p), consecutive<V, Inverse>(w + n1 + p),
                consecutive<V, Inverse>(w + 2 * n1 + p));
            V::storeFirstPass(y + 4 * p, o.y0, o.y1, o.y2, o.y3);
        }
        return;
    }
    // Later passes: s is a multiple of four, the lanes are neighbouring q sharing one twiddle.
    for (std::size_t p = 0; p < n1; ++p) {
        const Twiddle<V> w1 = broadcast<V, Inverse>(w[p]), w2 = broadcast<V, Inverse>(w[n1 + p]),
                         w3 = broadcast<V, Inverse>(w[2 * n1 + p]);
        const ComplexFloat* xa = x + s * p;
        const ComplexFloat* xb = x + s * (p + n1);
        const ComplexFloat* xc = x + s * (p + 2 * n1);
        const ComplexFloat* xd = x + s * (p + 3 * n1);
        ComplexFloat* ya = y + s * 4 * p;
        for (std::size_t q = 0; q < s; q += kW) {
            const Outputs<V> o =
                butterfly<V, Inverse>(V::load(xa + q), V::load(xb + q), V::load(xc + q), V::load(xd + q), w1, w2, w3);
            V::store(ya + q, o.y0);
            V::store(ya + q + s, o.y1);
            V::store(ya + q + 2 * s, o.y2);
            V::store(ya + q + 3 * s, o.y3);
        }
    }
}

template <typename V>
void radix2(std::size_t s, const ComplexFloat* x, ComplexFloat* y) noexcept {
    for (std::size_t q = 0; q < s; q += V::kValues) {
        const typename V::Reg a = V::load(x + q), b = V::load(x + q + s);
        V::store(y + q, V::add(a, b));
        V::store(y + q + s, V::sub(a, b));
    }
}

// kValues pairs per step: k .. k + kValues - 1 in one register and the mirrored values in the
// other, until the two meet; the scalar steps finish the middle.
template <typename V>
void splitForward(std::size_t h, const ComplexFloat* z, float* out, const ComplexFloat* split, float scale) noexcept {
    constexpr std::size_t kLast = V::kValues - 1;
    const float z0re = z[0].re, z0im = z[0].im;
    out[0] = (z0re + z0im) * scale;
    out[1] = (z0re - z0im) * scale;
    const typename V::Reg half = V::set1(0.5f * scale);
    auto* packed = reinterpret_cast<ComplexFloat*>(out);
    std::size_t k = 1;
    for (; k + kLast < h - k - kLast; k += V::kValues) {
        const std::size_t m = h - k - kLast;
        const typename V::Reg a = V::load(z + k), b = V::reverse(V::load(z + m));
        const typename V::Reg e = V::mul(V::add(a, V::flipOdd(b)), half);
        const typename V::Reg o = V::mul(rotate<V, false>(V::sub(a, V::flipOdd(b))), half);
        const typename V::Reg t = mulTw<V>(o, consecutive<V, false>(split + k));
        V::store(packed + k, V::add(e, t));
        V::store(packed + m, V::reverse(V::flipOdd(V::sub(e, t))));
    }
    splitForwardPairs(h, k, z, out, split, scale);
}

template <typename V>
void splitInverse(std::size_t h, const float* packed, ComplexFloat* z, const ComplexFloat* split, float scale) noexcept {
    constexpr std::size_t kLast = V::kValues - 1;
    const float x0 = packed[0], xh = packed[1];
    const typename V::Reg factor = V::set1(scale);
    const auto* x = reinterpret_cast<const ComplexFloat*>(packed);
    std::size_t k = 1;
    for (; k + kLast < h - k - kLast; k += V::kValues) {
        const std::size_t m = h - k - kLast;
        const typename V::Reg a = V::load(x + k), b = V::reverse(V::load(x + m));
        const typename V::Reg p = V::mul(V::add(a, V::flipOdd(b)), factor);
        const typename V::Reg q = V::mul(V::sub(a, V::flipOdd(b)), factor);
        const typename V::Reg ir = rotate<V, true>(mulTw<V>(q, consecutive<V, true>(split + k)));
        V::store(z + k, V::add(p, ir));
        V::store(z + m, V::reverse(V::flipOdd(V::sub(p, ir))));
    }
    splitInversePairs(h, k, packed, z, split, scale);
    z[0].re = (x0 + xh) * scale;
    z[0].im = (x0 - xh) * scale;
}

}  // namespace zqx::detail::simd
