// Portable inner passes of the real FFT: Stockham radix-4/radix-2 passes and the real-split steps.
// The reference for every processor-specific variant.
#include "kernels/detail/real_fft_plan.h"

#include <cmath>

namespace zqx::detail {
namespace {

struct Cx {
    float re;
    float im;
};

inline Cx load(const ComplexFloat& c) noexcept { return {c.re, c.im}; }
inline void store(ComplexFloat& c, Cx v) noexcept {
    c.re = v.re;
    c.im = v.im;
}
inline Cx add(Cx a, Cx b) noexcept { return {a.re + b.re, a.im + b.im}; }
inline Cx sub(Cx a, Cx b) noexcept { return {a.re - b.re, a.im - b.im}; }
inline Cx mul(Cx a, Cx w) noexcept { return {a.re * w.re - a.im * w.im, a.re * w.im + a.im * w.re}; }
// a times conj(w)
inline Cx mulConj(Cx a, Cx w) noexcept { return {a.re * w.re + a.im * w.im, a.im * w.re - a.re * w.im}; }
inline Cx timesI(Cx a) noexcept { return {-a.im, a.re}; }

template <bool Inverse>
void radix4(std::size_t n, std::size_t s, const ComplexFloat* x, ComplexFloat* y, const ComplexFloat* w) {
    const std::size_t n1 = n / 4;
    for (std::size_t p = 0; p < n1; ++p) {
        const Cx w1 = load(w[p]), w2 = load(w[n1 + p]), w3 = load(w[2 * n1 + p]);
        const ComplexFloat* xa = x + s * p;
        const ComplexFloat* xb = x + s * (p + n1);
        const ComplexFloat* xc = x + s * (p + 2 * n1);
        const ComplexFloat* xd = x + s * (p + 3 * n1);
        ComplexFloat* ya = y + s * 4 * p;
        for (std::size_t q = 0; q < s; ++q) {
            const Cx a = load(xa[q]), b = load(xb[q]), c = load(xc[q]), d = load(xd[q]);
            const Cx apc = add(a, c), amc = sub(a, c), bpd = add(b, d);
            // Forward: -i (b - d); inverse: +i (b - d).
            const Cx jbmd = Inverse ? timesI(sub(b, d)) : timesI(sub(d, b));
            store(ya[q], add(apc, bpd));
            if (Inverse) {
                store(ya[q + s], mulConj(add(amc, jbmd), w1));
                store(ya[q + 2 * s], mulConj(sub(apc, bpd), w2));
                store(ya[q + 3 * s], mulConj(sub(amc, jbmd), w3));
            } else {
                store(ya[q + s], mul(add(amc, jbmd), w1));
                store(ya[q + 2 * s], mul(sub(apc, bpd), w2));
                store(ya[q + 3 * s], mul(sub(amc, jbmd), w3));
            }
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
    for (std::size_t q = 0; q < s; ++q) {
        const Cx a = load(x[q]), b = load(x[q + s]);
        store(y[q], add(a, b));
        store(y[q + s], sub(a, b));
    }
}

void splitForward(std::size_t h, const ComplexFloat* z, float* out, const ComplexFloat* split,
                  float scale) {
    const float z0re = z[0].re, z0im = z[0].im;
    out[0] = (z0re + z0im) * scale;
    out[1] = (z0re - z0im) * scale;
    splitForwardPairs(h, 1, z, out, split, scale);
}

void splitInverse(std::size_t h, const float* packed, ComplexFloat* z, const ComplexFloat* split,
                  float scale) {
    const float x0 = packed[0], xh = packed[1];
    splitInversePairs(h, 1, packed, z, split, scale);
    z[0].re = (x0 + xh) * scale;
    z[0].im = (x0 - xh) * scale;
}

}  // namespace

// With E = (Z[k] + conj Z[h-k]) / 2 and O = (Z[k] - conj Z[h-k]) / 2i, the spectrum of the real
// signal is X[k] = E + W^k O and X[h-k] = conj(E - W^k O). Pairs are read before they are written,
// so z and out may be the same memory.
void splitForwardPairs(std::size_t h, std::size_t first, const ComplexFloat* z, float* out,
                       const ComplexFloat* split, float scale) noexcept {
    const float half = 0.5f * scale;
    for (std::size_t k = first, m = h - first; k <= m; ++k, --m) {
        const Cx a = load(z[k]), b = load(z[m]);
        const Cx e = {(a.re + b.re) * half, (a.im - b.im) * half};
        // (a - conj b) / 2i = (im part, -re part) / 2
        const Cx o = {(a.im + b.im) * half, (b.re - a.re) * half};
        const Cx t = mul(o, load(split[k]));
        out[2 * k] = e.re + t.re;
        out[2 * k + 1] = e.im + t.im;
        out[2 * m] = e.re - t.re;
        out[2 * m + 1] = t.im - e.im;
    }
}

// The inverse of splitForward without its halving: Z'[k] = P + i conj(W^k) Q and
// Z'[h-k] = conj P + i conj(conj(W^k) Q), with P = X[k] + conj X[h-k], Q = X[k] - conj X[h-k];
// the H-point inverse FFT of Z' is N times the even/odd pairs.
void splitInversePairs(std::size_t h, std::size_t first, const float* packed, ComplexFloat* z,
                       const ComplexFloat* split, float scale) noexcept {
    for (std::size_t k = first, m = h - first; k <= m; ++k, --m) {
        const Cx a = {packed[2 * k], packed[2 * k + 1]};
        const Cx b = {packed[2 * m], packed[2 * m + 1]};
        const Cx p = {(a.re + b.re) * scale, (a.im - b.im) * scale};
        const Cx q = {(a.re - b.re) * scale, (a.im + b.im) * scale};
        const Cx r = mulConj(q, load(split[k]));
        store(z[k], {p.re - r.im, p.im + r.re});
        store(z[m], {p.re + r.im, r.re - p.im});
    }
}

void magnitudePairs(std::size_t first, const float* pairs, float* magnitude, std::size_t count) noexcept {
    for (std::size_t i = first; i < count; ++i) {
        const double re = pairs[2 * i], im = pairs[2 * i + 1];
        magnitude[i] = static_cast<float>(std::sqrt(re * re + im * im));
    }
}

void powerPairs(std::size_t first, const float* pairs, double* power, std::size_t count) noexcept {
    for (std::size_t i = first; i < count; ++i) {
        const double re = pairs[2 * i], im = pairs[2 * i + 1];
        power[i] = re * re + im * im;
    }
}

namespace {
void magnitudes(const float* pairs, float* magnitude, std::size_t count) noexcept {
    magnitudePairs(0, pairs, magnitude, count);
}
void powers(const float* pairs, double* power, std::size_t count) noexcept { powerPairs(0, pairs, power, count); }
}  // namespace

const RealFftPasses& scalarFftPasses() noexcept {
    static const RealFftPasses passes = {"scalar", radix4Forward, radix4Inverse, radix2, splitForward,
                                         splitInverse, magnitudes, powers};
    return passes;
}

}  // namespace zqx::detail
