// Power-law band levels.
#include "summary/dynamics_level.h"

#include <cmath>

namespace zqx::summary {

void powerLawLevels(const float* energies, std::size_t bands, float* out) {
    for (std::size_t b = 0; b < bands; ++b) {
        const float e = energies[b];
        out[b] = std::isfinite(e) && e > 0.0f ? static_cast<float>(std::pow(double(e), kLevelExponent)) : 0.0f;
    }
}

}  // namespace zqx::summary
