// parabolaPower: x = 2^e * m with m in [1, 2); 2^(0.23 e) from a table over the float exponents,
// m^0.23 = c_j^0.23 * (1 + r)^0.23 with c_j the centre of m's sixteenth of [1, 2) (a table again)
// and |r| <= 1/33, where five terms of the binomial series leave less than 1e-9.
// hannLobeHeight: the Taylor series of sin(x) / x in x^2 up to x^16 (x <= pi/2: the next term is
// below 1e-12).
#include "tonalscan/peak_shape.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace tonalscan {
namespace {

constexpr int kMantissaSlices = 16;

struct PowerTables {
    double exponent[256];               // 2^(0.23 (e - 127)) for the biased exponent e
    double sliceCentre[kMantissaSlices];  // c_j = 1 + (j + 0.5) / 16
    double sliceInverse[kMantissaSlices];  // 1 / c_j
    double slicePower[kMantissaSlices];   // c_j^0.23
    PowerTables() noexcept {
        for (int e = 0; e < 256; ++e) exponent[e] = std::exp2(kParabolaPower * (e - 127));
        for (int j = 0; j < kMantissaSlices; ++j) {
            sliceCentre[j] = 1.0 + (j + 0.5) / kMantissaSlices;
            sliceInverse[j] = 1.0 / sliceCentre[j];
            slicePower[j] = std::pow(sliceCentre[j], kParabolaPower);
        }
    }
};

const PowerTables& powerTables() noexcept {
    static const PowerTables tables;
    return tables;
}

// Coefficients of (1 + r)^0.23 = 1 + r (b1 + r (b2 + r (b3 + r b4))): b_n = binomial(0.23, n).
constexpr double kB1 = kParabolaPower;
constexpr double kB2 = kB1 * (kParabolaPower - 1.0) / 2.0;
constexpr double kB3 = kB2 * (kParabolaPower - 2.0) / 3.0;
constexpr double kB4 = kB3 * (kParabolaPower - 3.0) / 4.0;
constexpr double kB5 = kB4 * (kParabolaPower - 4.0) / 5.0;

}  // namespace

double parabolaPower(float x) noexcept {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const std::uint32_t biased = (bits >> 23) & 0xFFu;
    if (biased == 0 || biased == 0xFFu || (bits >> 31) != 0) {
        if (x == 0.0f) return 0.0;
        return std::pow(static_cast<double>(x), kParabolaPower);
    }
    const PowerTables& tables = powerTables();
    const std::uint32_t slice = (bits >> 19) & 0xFu;
    const double mantissa = 1.0 + static_cast<double>(bits & 0x7FFFFFu) * (1.0 / 8388608.0);
    const double r = (mantissa - tables.sliceCentre[slice]) * tables.sliceInverse[slice];
    const double series = 1.0 + r * (kB1 + r * (kB2 + r * (kB3 + r * (kB4 + r * kB5))));
    return tables.exponent[biased] * tables.slicePower[slice] * series;
}

double hannLobeHeight(double d) noexcept {
    constexpr double kPi = 3.141592653589793;
    const double x = kPi * d;
    const double y = x * x;
    // sin(x) / x = sum (-1)^n y^n / (2n + 1)!, nested: 1 - y/(2*3) (1 - y/(4*5) (1 - ...)).
    double sinc = 1.0 - y * (1.0 / 272.0);
    sinc = 1.0 - y * (1.0 / 210.0) * sinc;
    sinc = 1.0 - y * (1.0 / 156.0) * sinc;
    sinc = 1.0 - y * (1.0 / 110.0) * sinc;
    sinc = 1.0 - y * (1.0 / 72.0) * sinc;
    sinc = 1.0 - y * (1.0 / 42.0) * sinc;
    sinc = 1.0 - y * (1.0 / 20.0) * sinc;
    sinc = 1.0 - y * (1.0 / 6.0) * sinc;
    return sinc / (1.0 - d * d);
}

}  // namespace tonalscan
