// Natural logarithm and exponential of float runs, in place.
#include "kernels/exp_ln.h"

#include "kernels/detail/float_bits.h"


#include "kernels/elementwise.h"

KernelStatus vecLnInPlace(float* data, std::int32_t n) noexcept { return vecLn(data, data, n); }

namespace {

constexpr std::uint32_t kAbsMask = 0x7FFFFFFFu;
constexpr std::uint32_t kSignBit = 0x80000000u;
constexpr std::uint32_t kSmallestNormal = 0x00800000u;
constexpr std::uint32_t kInfinityBits = 0x7F800000u;
constexpr std::uint32_t kOverflowFrom = 0x42B17218u;   // 88.72284, ln of the largest float
constexpr std::uint32_t kUnderflowFrom = 0xC2AEAC50u;  // -87.33654, ln of the smallest normal
constexpr std::uint32_t kSafeLimit = 0x42B20000u;      // 89.0

inline std::uint32_t bitsOf(float x) noexcept { return zqx::detail::floatBits(x); }
inline float fromBits(std::uint32_t b) noexcept { return zqx::detail::floatFromBits(b); }

// e^x for x strictly between the two limits above (any other input gives some finite value that
// the caller replaces). x = n ln2 + r with |r| <= ln2/2, ln2 split so that n * kLn2Hi is exact;
// e^r by a degree-7 polynomial whose error is below one float ulp on that interval.
inline float expCore(float x) noexcept {
    constexpr float kLog2e = 1.44269504088896341f;
    constexpr float kLn2Hi = 0.693359375f;
    constexpr float kLn2Lo = -2.12194440e-4f;
    // |x| >= 89, infinities and NaN become 0 by an integer select (a float compare would keep
    // the loop from vectorising), so the conversion to int below is always defined.
    const std::uint32_t bits = bitsOf(x);
    const float xc = fromBits((bits & kAbsMask) < kSafeLimit ? bits : 0u);
    // floor(t) for t in [-127, 129]: truncate t + 256 (positive), then take 256 back.
    const float t = xc * kLog2e + 0.5f;
    const std::int32_t k = static_cast<std::int32_t>(t + 256.0f) - 256;
    const float kf = static_cast<float>(k);
    const float r = (xc - kf * kLn2Hi) - kf * kLn2Lo;
    float p = 1.9875691500e-4f;
    p = p * r + 1.3981999507e-3f;
    p = p * r + 8.3334519073e-3f;
    p = p * r + 4.1665795894e-2f;
    p = p * r + 1.6666665459e-1f;
    p = p * r + 5.0000001201e-1f;
    const float e = (p * (r * r) + r) + 1.0f;
    // 2^k in two halves: k reaches 128 near the overflow limit, one past the float exponent range.
    const std::int32_t k1 = k / 2;
    const std::int32_t k2 = k - k1;
    const float s1 = fromBits(static_cast<std::uint32_t>(k1 + 127) << 23);
    const float s2 = fromBits(static_cast<std::uint32_t>(k2 + 127) << 23);
    return (e * s1) * s2;
}

inline float expElement(float x) noexcept {
    const std::uint32_t bits = bitsOf(x);
    const std::uint32_t mag = bits & kAbsMask;
    const std::uint32_t sign = bits & kSignBit;
    std::uint32_t out = bitsOf(expCore(x));
    out = ((sign == 0) & (bits >= kOverflowFrom)) ? kInfinityBits : out;
    out = ((sign != 0) & (bits >= kUnderflowFrom)) ? 0u : out;
    out = mag < kSmallestNormal ? 0x3F800000u : out;
    out = mag > kInfinityBits ? (sign | 0x7FC00000u) : out;
    return fromBits(out);
}

}  // namespace

KernelStatus vecExpInPlace(float* data, std::int32_t n) noexcept {
    if (!data) return kStatusNullPointer;
    if (n < 1) return kStatusBadLength;
    // Branch-free per element, so the compiler runs the loop four or eight at a time.
    for (std::int32_t i = 0; i < n; ++i) data[i] = expElement(data[i]);
    return kStatusOk;
}
