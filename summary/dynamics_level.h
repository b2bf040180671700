// The level the dynamics stage reads per frame: a power law of band energy, so that a gain
// scales every level by the same factor and the dynamic range (a spread over a geometric mean)
// does not change with gain.
#pragma once

#include <cstddef>

namespace zqx::summary {

// The exponent of the power law: loudness grows about as energy^0.3 (a doubling per 10 dB),
// so the levels track loudness, not energy, and a quiet passage does not vanish beside a loud one.
constexpr double kLevelExponent = 0.3;

// out[b] = energies[b] ^ kLevelExponent for b < bands; energies are linear band energies (sums
// of squared magnitudes), negative or non-finite ones count as 0. out may alias energies.
void powerLawLevels(const float* energies, std::size_t bands, float* out);

}  // namespace zqx::summary
