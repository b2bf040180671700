// Real FFT: results against a double-precision DFT for every pass variant, scaling, aliasing and
// scratch rules, statuses and their check order, expansion and polar conversion, the FFT objects.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "tests/support/signals.h"
#include "kernels/detail/real_fft_plan.h"
#include "kernels/polar_fft.h"
#include "kernels/real_fft.h"

namespace {

using zqx::detail::RealFftPasses;

constexpr double kPi = 3.14159265358979323846;

std::vector<const RealFftPasses*> variants() {
    std::vector<const RealFftPasses*> list = {&zqx::detail::scalarFftPasses()};
#if defined(ZQX_HAVE_SSE2_FFT)
    list.push_back(&zqx::detail::sse2FftPasses());
#endif
#if defined(ZQX_HAVE_AVX2_FFT)
    if (__builtin_cpu_supports("avx2")) list.push_back(&zqx::detail::avx2FftPasses());
#endif
    static bool reported = false;
    if (!reported) {
        reported = true;
        std::printf("FFT pass variants under test:");
        for (const RealFftPasses* v : list) std::printf(" %s", v->name);
        std::printf(" (active: %s)\n", zqx::detail::activeFftPasses().name);
    }
    return list;
}

// Plans made while an instance lives use the given passes.
class ScopedPasses {
public:
    explicit ScopedPasses(const RealFftPasses* p) { zqx::detail::overrideFftPasses(p); }
    ~ScopedPasses() { zqx::detail::overrideFftPasses(nullptr); }
};

struct Plan {
    RealFftPlan* p = nullptr;
    Plan(int order, int norm) { EXPECT_EQ(realFftCreate(&p, order, norm, 1), kStatusOk); }
    ~Plan() {
        if (p) realFftDestroy(p);
    }
};

using zqx::test::uniformNoise;

// Packed spectrum of x by the defining sum, in double (angles reduced exactly modulo N).
std::vector<double> referenceForward(const std::vector<float>& x) {
    const std::size_t n = x.size();
    std::vector<double> packed(n);
    if (n == 1) {
        packed[0] = x[0];
        return packed;
    }
    std::vector<double> cosines(n), sines(n);
    for (std::size_t j = 0; j < n; ++j) {
        cosines[j] = std::cos(2 * kPi * static_cast<double>(j) / static_cast<double>(n));
        sines[j] = std::sin(2 * kPi * static_cast<double>(j) / static_cast<double>(n));
    }
    for (std::size_t k = 0; k <= n / 2; ++k) {
        double re = 0, im = 0;
        for (std::size_t j = 0, a = 0; j < n; ++j, a = (a + k) & (n - 1)) {
            re += x[j] * cosines[a];
            im -= x[j] * sines[a];
        }
        if (k == 0)
            packed[0] = re;
        else if (k == n / 2)
            packed[1] = re;
        else {
            packed[2 * k] = re;
            packed[2 * k + 1] = im;
        }
    }
    return packed;
}

// Largest deviation relative to the largest reference magnitude.
double relativeError(const std::vector<float>& got, const std::vector<double>& want) {
    double peak = 0, err = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        peak = std::max(peak, std::fabs(want[i]));
        err = std::max(err, std::fabs(got[i] - want[i]));
    }
    return peak > 0 ? err / peak : err;
}

std::vector<float> forward(const Plan& plan, const std::vector<float>& x) {
    std::vector<float> out(x.size());
    EXPECT_EQ(realFftForward(x.data(), out.data(), plan.p, nullptr), kStatusOk);
    return out;
}

// Float rounding grows with the number of passes: about one ulp of the peak per doubling.
double tolerance(int order) { return 1e-6 * std::max(order, 1); }

// A second double-precision reference for the larger orders: plain recursive radix-2, O(N log N).
void fftDouble(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    if (n == 1) return;
    std::vector<std::complex<double>> even(n / 2), odd(n / 2);
    for (std::size_t i = 0; i < n / 2; ++i) {
        even[i] = a[2 * i];
        odd[i] = a[2 * i + 1];
    }
    fftDouble(even);
    fftDouble(odd);
    for (std::size_t k = 0; k < n / 2; ++k) {
        const std::complex<double> t = std::polar(1.0, -2 * kPi * static_cast<double>(k) / static_cast<double>(n)) * odd[k];
        a[k] = even[k] + t;
        a[k + n / 2] = even[k] - t;
    }
}

std::vector<double> referenceForwardFast(const std::vector<float>& x) {
    std::vector<std::complex<double>> a(x.begin(), x.end());
    fftDouble(a);
    const std::size_t n = x.size();
    std::vector<double> packed(n);
    packed[0] = a[0].real();
    if (n > 1) packed[1] = a[n / 2].real();
    for (std::size_t k = 1; k < n / 2; ++k) {
        packed[2 * k] = a[k].real();
        packed[2 * k + 1] = a[k].imag();
    }
    return packed;
}

TEST(RealFft, ForwardMatchesDoubleDftForEveryOrder) {
    constexpr int kLargestDirectSum = 11;
    for (int order = 0; order <= 14; ++order) {
        const auto x = uniformNoise(std::size_t{1} << order, 100 + order);
        const auto want = order <= kLargestDirectSum ? referenceForward(x) : referenceForwardFast(x);
        if (order == kLargestDirectSum) {
            // The two references agree where both are computed.
            const auto fast = referenceForwardFast(x);
            for (std::size_t i = 0; i < want.size(); ++i) ASSERT_NEAR(fast[i], want[i], 1e-9) << i;
        }
        for (const RealFftPasses* v : variants()) {
            ScopedPasses use(v);
            Plan plan(order, NormalizeNone);
            EXPECT_LT(relativeError(forward(plan, x), want), tolerance(order)) << v->name << " order " << order;
        }
    }
}

TEST(RealFft, InverseMatchesDoubleSumAndRoundTrips) {
    for (int order = 0; order <= 16; ++order) {
        const std::size_t n = std::size_t{1} << order;
        // Any packed array is the spectrum of some real signal; the reference is
        // x = conj(DFT(conj X)) / N over the conjugate-symmetric expansion.
        const auto packed = uniformNoise(n, 600 + order);
        std::vector<double> want;
        if (order <= 12) {
            std::vector<ComplexFloat> full(n);
            ASSERT_EQ(packedToComplex(packed.data(), full.data(), static_cast<int>(n)), kStatusOk);
            std::vector<std::complex<double>> a(n);
            for (std::size_t k = 0; k < n; ++k) a[k] = {full[k].re, -static_cast<double>(full[k].im)};
            fftDouble(a);
            for (const auto& c : a) want.push_back(c.real() / static_cast<double>(n));
        }
        const auto x = uniformNoise(n, 200 + order);
        for (const RealFftPasses* v : variants()) {
            ScopedPasses use(v);
            Plan plan(order, NormalizeInverse);
            std::vector<float> back(n);
            ASSERT_EQ(realFftInverse(forward(plan, x).data(), back.data(), plan.p, nullptr), kStatusOk);
            EXPECT_LT(relativeError(back, std::vector<double>(x.begin(), x.end())), 2 * tolerance(order))
                << v->name << " order " << order;
            if (want.empty()) continue;
            std::vector<float> inverse(n);
            ASSERT_EQ(realFftInverse(packed.data(), inverse.data(), plan.p, nullptr), kStatusOk);
            EXPECT_LT(relativeError(inverse, want), tolerance(order)) << v->name << " order " << order;
        }
    }
}

// Every variant performs the scalar passes' operations in the same order, so the bits agree.
TEST(RealFft, VariantsMatchScalarBits) {
    for (int order : {4, 5, 6, 7, 10, 13}) {
        const std::size_t n = std::size_t{1} << order;
        const auto x = uniformNoise(n, 500 + order);
        std::vector<float> wantForward(n), wantInverse(n);
        {
            ScopedPasses use(&zqx::detail::scalarFftPasses());
            Plan plan(order, NormalizeSqrt);
            ASSERT_EQ(realFftForward(x.data(), wantForward.data(), plan.p, nullptr), kStatusOk);
            ASSERT_EQ(realFftInverse(x.data(), wantInverse.data(), plan.p, nullptr), kStatusOk);
        }
        for (const RealFftPasses* v : variants()) {
            ScopedPasses use(v);
            Plan plan(order, NormalizeSqrt);
            std::vector<float> f(n), i(n);
            ASSERT_EQ(realFftForward(x.data(), f.data(), plan.p, nullptr), kStatusOk);
            ASSERT_EQ(realFftInverse(x.data(), i.data(), plan.p, nullptr), kStatusOk);
            EXPECT_EQ(f, wantForward) << v->name << " order " << order;
            EXPECT_EQ(i, wantInverse) << v->name << " order " << order;
        }
    }
}

TEST(RealFft, WorkedValues) {
    for (const RealFftPasses* v : variants()) {
        ScopedPasses use(v);
        Plan two(1, NormalizeNone);
        EXPECT_EQ(forward(two, {3, 5}), (std::vector<float>{8, -2}));
        Plan four(2, NormalizeNone);
        EXPECT_EQ(forward(four, {1, 2, 3, 4}), (std::vector<float>{10, -2, -2, 2}));
        Plan one(0, NormalizeNone);
        EXPECT_EQ(forward(one, {7}), (std::vector<float>{7}));
        // Bin-centred cosine of bin 3 at N = 64 (a pass-based order): only bin 3 carries energy, N/2.
        std::vector<float> tone(64);
        for (int i = 0; i < 64; ++i) tone[i] = static_cast<float>(std::cos(2 * kPi * 3 * i / 64));
        Plan p64(6, NormalizeNone);
        const auto spectrum = forward(p64, tone);
        for (int i = 0; i < 64; ++i) EXPECT_NEAR(spectrum[i], i == 6 ? 32.0f : 0.0f, 2e-5) << v->name << " " << i;
    }
}

TEST(RealFft, EachNormalisationScalesBothDirections) {
    struct Case {
        int norm;
        double forwardScale, inverseScale;  // as multiples of 1/N^(power)
    };
    for (int order : {0, 2, 3, 5, 10}) {
        const double n = std::ldexp(1.0, order);
        const Case cases[] = {{NormalizeForward, 1 / n, 1}, {NormalizeInverse, 1, 1 / n},
                              {NormalizeSqrt, 1 / std::sqrt(n), 1 / std::sqrt(n)}, {NormalizeNone, 1, 1}};
        const auto x = uniformNoise(static_cast<std::size_t>(n), 300 + order);
        Plan none(order, NormalizeNone);
        const auto plainForward = forward(none, x);
        std::vector<float> plainInverse(x.size());
        ASSERT_EQ(realFftInverse(x.data(), plainInverse.data(), none.p, nullptr), kStatusOk);
        for (const Case& c : cases) {
            Plan plan(order, c.norm);
            const auto f = forward(plan, x);
            std::vector<float> i(x.size());
            ASSERT_EQ(realFftInverse(x.data(), i.data(), plan.p, nullptr), kStatusOk);
            for (std::size_t k = 0; k < x.size(); ++k) {
                EXPECT_NEAR(f[k], plainForward[k] * c.forwardScale, 1e-5 * n * c.forwardScale) << c.norm;
                EXPECT_NEAR(i[k], plainInverse[k] * c.inverseScale, 1e-5 * n * c.inverseScale) << c.norm;
            }
        }
    }
}

// In place, with caller scratch at any alignment, or with none: the same bits, and the caller's
// scratch is never written beyond the size the plan asked for.
TEST(RealFft, AliasingAndScratchGiveIdenticalResults) {
    for (const RealFftPasses* v : variants()) {
        ScopedPasses use(v);
        for (int order : {0, 3, 4, 5, 9, 12}) {
            const std::size_t n = std::size_t{1} << order;
            const auto x = uniformNoise(n, 400 + order);
            Plan plan(order, NormalizeSqrt);
            int bytes = -1;
            ASSERT_EQ(realFftScratchSize(plan.p, &bytes), kStatusOk);
            EXPECT_EQ(bytes == 0, order <= 3);
            for (bool inverse : {false, true}) {
                auto run = [&](const float* s, float* d, std::uint8_t* scratch) {
                    return inverse ? realFftInverse(s, d, plan.p, scratch) : realFftForward(s, d, plan.p, scratch);
                };
                std::vector<float> reference(n);
                ASSERT_EQ(run(x.data(), reference.data(), nullptr), kStatusOk);
                std::vector<float> inPlace = x;
                ASSERT_EQ(run(inPlace.data(), inPlace.data(), nullptr), kStatusOk);
                EXPECT_EQ(inPlace, reference) << v->name << " order " << order;
                for (std::size_t offset : {0, 1, 7, 15}) {
                    std::vector<std::uint8_t> buffer(offset + static_cast<std::size_t>(bytes) + 64, 0xA5);
                    std::vector<float> out(n);
                    ASSERT_EQ(run(x.data(), out.data(), buffer.data() + offset), kStatusOk);
                    EXPECT_EQ(out, reference) << v->name << " order " << order << " offset " << offset;
                    for (std::size_t i = offset + static_cast<std::size_t>(bytes); i < buffer.size(); ++i)
                        ASSERT_EQ(buffer[i], 0xA5) << "scratch overrun at " << i;
                }
            }
        }
    }
}

TEST(RealFft, StatusesAndCheckOrder) {
    RealFftPlan* plan = nullptr;
    EXPECT_EQ(realFftCreate(nullptr, 99, 3, 0), kStatusNullPointer);
    EXPECT_EQ(realFftCreate(&plan, -1, 3, 0), kStatusBadFftOrder);
    EXPECT_EQ(realFftCreate(&plan, 31, NormalizeNone, 0), kStatusBadFftOrder);
    for (int norm : {0, 3, 5, 16, -1}) EXPECT_EQ(realFftCreate(&plan, 4, norm, 0), kStatusBadFftNormalization);
    EXPECT_EQ(plan, nullptr);

    Plan good(5, NormalizeNone);
    std::vector<float> x(32, 1.0f), y(32, 9.0f);
    int bytes = 0;
    EXPECT_EQ(realFftScratchSize(nullptr, &bytes), kStatusNullPointer);
    EXPECT_EQ(realFftScratchSize(good.p, nullptr), kStatusNullPointer);
    EXPECT_EQ(realFftDestroy(nullptr), kStatusNullPointer);
    for (auto fn : {realFftForward, realFftInverse}) {
        EXPECT_EQ(fn(nullptr, nullptr, nullptr, nullptr), kStatusNullPointer);
        EXPECT_EQ(fn(x.data(), nullptr, good.p, nullptr), kStatusNullPointer);
        EXPECT_EQ(fn(nullptr, y.data(), good.p, nullptr), kStatusNullPointer);
    }
    EXPECT_EQ(y, std::vector<float>(32, 9.0f));

    // Something that is not a plan is refused before the buffers are looked at.
    alignas(RealFftPlan) unsigned char foreign[sizeof(RealFftPlan)] = {};
    auto* fake = reinterpret_cast<RealFftPlan*>(foreign);
    EXPECT_EQ(realFftScratchSize(fake, &bytes), kStatusWrongObject);
    EXPECT_EQ(realFftForward(nullptr, nullptr, fake, nullptr), kStatusWrongObject);
    EXPECT_EQ(realFftInverse(x.data(), y.data(), fake, nullptr), kStatusWrongObject);
    EXPECT_EQ(realFftDestroy(fake), kStatusWrongObject);
    EXPECT_EQ(y, std::vector<float>(32, 9.0f));

    for (int order : {0, 1, 2, 3, 4, 16}) {
        Plan p(order, NormalizeInverse);
        ASSERT_EQ(realFftScratchSize(p.p, &bytes), kStatusOk);
        if (order <= 3)
            EXPECT_EQ(bytes, 0);
        else
            EXPECT_GE(bytes, 16 + 4 * (1 << order) / 2);
    }
}

TEST(PackedToComplex, EvenAndOddLengths) {
    const float packed[] = {1, 2, 3, 4, 5, 6};
    ComplexFloat out[6];
    ASSERT_EQ(packedToComplex(packed, out, 6), kStatusOk);
    const float even[6][2] = {{1, 0}, {3, 4}, {5, 6}, {2, 0}, {5, -6}, {3, -4}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(out[i].re, even[i][0]) << i;
        EXPECT_EQ(out[i].im, even[i][1]) << i;
    }
    ASSERT_EQ(packedToComplex(packed, out, 5), kStatusOk);
    const float odd[5][2] = {{1, 0}, {2, 3}, {4, 5}, {4, -5}, {2, -3}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(out[i].re, odd[i][0]) << i;
        EXPECT_EQ(out[i].im, odd[i][1]) << i;
    }
    ComplexFloat untouched[2] = {{9, 9}, {9, 9}};
    ASSERT_EQ(packedToComplex(packed, untouched, 1), kStatusOk);
    EXPECT_EQ(untouched[0].re, 1);
    EXPECT_EQ(untouched[1].re, 9);
    EXPECT_EQ(packedToComplex(nullptr, out, 0), kStatusNullPointer);
    EXPECT_EQ(packedToComplex(packed, nullptr, 4), kStatusNullPointer);
    EXPECT_EQ(packedToComplex(packed, out, 0), kStatusBadLength);
    EXPECT_EQ(packedToComplex(packed, out, -2), kStatusBadLength);
}

TEST(ComplexToPolar, MagnitudeAndPhase) {
    const ComplexFloat in[] = {{3, 4}, {-1, 0}, {0, -2}, {-1, 1}, {0, 0}};
    float mag[5], phase[5];
    ASSERT_EQ(complexToPolar(in, mag, phase, 5), kStatusOk);
    const float wantMag[] = {5, 1, 2, static_cast<float>(std::sqrt(2.0)), 0};
    const float wantPhase[] = {static_cast<float>(std::atan2(4.0, 3.0)), static_cast<float>(kPi),
                               static_cast<float>(-kPi / 2), static_cast<float>(3 * kPi / 4), 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(mag[i], wantMag[i]) << i;
        EXPECT_EQ(phase[i], wantPhase[i]) << i;
    }
    float keep = 7;
    EXPECT_EQ(complexToPolar(nullptr, mag, phase, 1), kStatusNullPointer);
    EXPECT_EQ(complexToPolar(in, nullptr, phase, 0), kStatusNullPointer);
    EXPECT_EQ(complexToPolar(in, mag, nullptr, 1), kStatusNullPointer);
    EXPECT_EQ(complexToPolar(in, &keep, &keep, 0), kStatusBadLength);
    EXPECT_EQ(keep, 7);
}

// The magnitudes straight from the packed spectrum equal the expansion and polar conversion bit for
// bit, in every variant and at every length that leaves a different tail to the scalar code, for
// ordinary values and for zeros of both signs, subnormals, infinities and NaNs.
TEST(PackedToMagnitude, EqualsPolarConversionBitsInEveryVariant) {
    const float specials[] = {0.0f, -0.0f, 1e-40f, -1e-45f, 3e38f, -3e38f, INFINITY, -INFINITY, NAN, -NAN};
    for (int length : {1, 2, 3, 4, 5, 8, 9, 12, 13, 64, 1023}) {
        const std::size_t n = 2 * static_cast<std::size_t>(length);
        auto packed = uniformNoise(n, 900 + length);
        for (std::size_t i = 0; i < n; i += 3) packed[i] *= 1e3f;
        for (std::size_t i = 0; i < std::size(specials) && 2 * i + 5 < n; ++i) packed[2 * i + 5] = specials[i];
        packed[0] = length % 2 ? -0.0f : -2.5f;
        std::vector<ComplexFloat> full(n);
        ASSERT_EQ(packedToComplex(packed.data(), full.data(), static_cast<int>(n)), kStatusOk);
        std::vector<float> want(static_cast<std::size_t>(length)), phase(want.size());
        ASSERT_EQ(complexToPolar(full.data(), want.data(), phase.data(), length), kStatusOk);
        for (const RealFftPasses* v : variants()) {
            ScopedPasses use(v);
            std::vector<float> got(want.size() + 1, 42.0f);
            ASSERT_EQ(packedToMagnitude(packed.data(), got.data(), length), kStatusOk);
            for (int k = 0; k < length; ++k) {
                std::uint32_t a, b;
                std::memcpy(&a, &got[static_cast<std::size_t>(k)], 4);
                std::memcpy(&b, &want[static_cast<std::size_t>(k)], 4);
                EXPECT_EQ(a, b) << v->name << " length " << length << " bin " << k;
            }
            EXPECT_EQ(got.back(), 42.0f) << v->name << ": wrote past the end";
        }
    }
    float keep = 7;
    const float packed[2] = {1, 2};
    EXPECT_EQ(packedToMagnitude(nullptr, &keep, 1), kStatusNullPointer);
    EXPECT_EQ(packedToMagnitude(packed, nullptr, 1), kStatusNullPointer);
    EXPECT_EQ(packedToMagnitude(packed, &keep, 0), kStatusBadLength);
    EXPECT_EQ(packedToMagnitude(packed, &keep, -1), kStatusBadLength);
    EXPECT_EQ(keep, 7.0f);
}

// The band powers, likewise: each variant's doubles equal re^2 + im^2 summed in double.
TEST(PackedToPower, EqualsSquaredPairsInEveryVariant) {
    for (int length : {1, 3, 4, 5, 8, 11, 360}) {
        for (int first : {1, 2, 7}) {
            const std::size_t n = 2 * static_cast<std::size_t>(first + length);
            auto packed = uniformNoise(n, 950 + length + first);
            packed[n - 1] = NAN;
            packed[n - 2] = -1e30f;
            for (const RealFftPasses* v : variants()) {
                ScopedPasses use(v);
                std::vector<double> got(static_cast<std::size_t>(length) + 1, 42.0);
                ASSERT_EQ(packedToPower(packed.data(), got.data(), first, length), kStatusOk);
                for (int i = 0; i < length; ++i) {
                    const double re = packed[2 * static_cast<std::size_t>(first + i)];
                    const double im = packed[2 * static_cast<std::size_t>(first + i) + 1];
                    const double want = re * re + im * im;
                    EXPECT_EQ(0, std::memcmp(&got[static_cast<std::size_t>(i)], &want, sizeof want))
                        << v->name << " length " << length << " first " << first << " bin " << i;
                }
                EXPECT_EQ(got.back(), 42.0) << v->name << ": wrote past the end";
            }
        }
    }
    double keep = 7;
    const float packed[4] = {1, 2, 3, 4};
    EXPECT_EQ(packedToPower(nullptr, &keep, 1, 1), kStatusNullPointer);
    EXPECT_EQ(packedToPower(packed, nullptr, 1, 1), kStatusNullPointer);
    EXPECT_EQ(packedToPower(packed, &keep, 0, 1), kStatusBadLength);
    EXPECT_EQ(packedToPower(packed, &keep, 1, 0), kStatusBadLength);
    EXPECT_EQ(keep, 7.0);
}

TEST(PolarFft, BuildsEveryBufferForItsOrder) {
    CPolarFft fft(2);
    EXPECT_EQ(fft.size, 4);
    EXPECT_EQ(fft.order, 2);
    EXPECT_EQ(fft.halfSize, 2);
    EXPECT_NE(fft.plan, nullptr);
    EXPECT_NE(fft.scratch, nullptr);  // zero bytes at order 2, still a buffer
    EXPECT_NE(fft.packed, nullptr);
    EXPECT_NE(fft.spectrum, nullptr);
    const float frame[] = {1, 2, 3, 4};
    float mag[2], phase[2];
    EXPECT_EQ(fft.computePolar(frame, mag, phase), 0);
    EXPECT_EQ(mag[0], 10.0f);
    EXPECT_FLOAT_EQ(mag[1], 2.828427f);
    EXPECT_EQ(phase[0], 0.0f);
    EXPECT_FLOAT_EQ(phase[1], 2.356194f);
}

TEST(PolarFft, PrepareNeverRebuilds) {
    CPolarFft fft(6);
    const RealFftPlan* plan = fft.plan;
    const ComplexFloat* spectrum = fft.spectrum;
    fft.prepare(9);
    fft.CRealFft::prepare(9);
    EXPECT_EQ(fft.plan, plan);
    EXPECT_EQ(fft.spectrum, spectrum);
    EXPECT_EQ(fft.size, 64);
    EXPECT_EQ(fft.order, 6);
    EXPECT_EQ(fft.halfSize, 32);
}

TEST(PolarFft, PrepareFillsInWhatIsMissing) {
    CPolarFft fft(4);
    // As after a failed build: no plan and no spectrum.
    realFftDestroy(fft.plan);
    fft.plan = nullptr;
    delete[] fft.spectrum;
    fft.spectrum = nullptr;
    fft.prepare(5);
    EXPECT_EQ(fft.size, 32);
    EXPECT_EQ(fft.order, 5);
    EXPECT_EQ(fft.halfSize, 16);
    ASSERT_NE(fft.plan, nullptr);
    ASSERT_NE(fft.spectrum, nullptr);
    const auto frame = uniformNoise(32, 7);
    std::vector<float> mag(16), phase(16);
    ASSERT_EQ(fft.computePolar(frame.data(), mag.data(), phase.data()), 0);
    const auto want = referenceForward(frame);
    for (int k = 1; k < 16; ++k)
        EXPECT_NEAR(mag[k], std::hypot(want[2 * k], want[2 * k + 1]), 1e-5) << k;
}

TEST(PolarFft, ComputePolarOrsTheStatuses) {
    CPolarFft one(0);
    EXPECT_EQ(one.halfSize, 0);
    const float frame[1] = {5};
    float mag = -1, phase = -1;
    EXPECT_EQ(one.computePolar(frame, &mag, &phase), kStatusBadLength);
    EXPECT_EQ(one.packed[0], 5.0f);
    EXPECT_EQ(mag, -1.0f);

    CPolarFft fft(3);
    const float frame8[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    float m[4], p[4];
    EXPECT_EQ(fft.computePolar(nullptr, m, p), kStatusNullPointer);
    EXPECT_EQ(fft.computePolar(frame8, nullptr, p), kStatusNullPointer);
    EXPECT_EQ(fft.computePolar(frame8, m, p), kStatusOk);
}

// The magnitude-only path of the FFT object gives computePolar's magnitudes and statuses.
TEST(PolarFft, MagnitudeOnlyEqualsPolarMagnitude) {
    for (int order = 0; order <= 12; ++order) {
        const std::size_t n = std::size_t{1} << order;
        const auto frame = uniformNoise(n, 700 + order);
        CPolarFft polar(order);
        CRealFft real(order);
        std::vector<float> want(n / 2 + 1, -1.0f), phase(n / 2 + 1), got(n / 2 + 1, -1.0f);
        EXPECT_EQ(real.computeMagnitude(frame.data(), got.data()), polar.computePolar(frame.data(), want.data(), phase.data()))
            << "order " << order;
        EXPECT_EQ(0, std::memcmp(got.data(), want.data(), got.size() * sizeof(float))) << "order " << order;
    }
    CRealFft fft(3);
    float m[4];
    EXPECT_EQ(fft.computeMagnitude(nullptr, m), kStatusNullPointer);
}

}  // namespace
