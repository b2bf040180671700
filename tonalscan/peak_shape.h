// The two shapes behind tonalscan's peak interpolation: the 0.23 power of a magnitude (the
// parabola through three of them locates a Hann peak) and the Hann main lobe's height off its
// centre (which turns the largest bin into the sinusoid's amplitude). Both without a libm call per
// value: they run for every local maximum of every level.
#pragma once

namespace tonalscan {

// x^0.23 for a magnitude x >= 0, within 1e-9 of std::pow relative (zero gives zero; subnormal,
// infinite and NaN magnitudes go to std::pow).
double parabolaPower(float x) noexcept;

// sin(pi d) / (pi d) / (1 - d^2) for 0 <= d <= 0.5, the Hann main lobe at d bins from its centre
// relative to its height there, within 1e-12 absolute (1 at d = 0).
double hannLobeHeight(double d) noexcept;

// The exponent of the power-law parabola (see the README).
inline constexpr double kParabolaPower = 0.23;

}  // namespace tonalscan
