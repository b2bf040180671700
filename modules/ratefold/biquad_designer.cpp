// Second-order anti-alias filter design.
#include "modules/ratefold/biquad_designer.h"

#include <cmath>

void BiquadDesigner::design(double* taps, double cutoff, double sampleRate, int tapCount, bool highPass) {
    if (tapCount != 6) return;
    using Wide = long double;
    const Wide k = static_cast<Wide>(damping) * std::atan(2.0L * cutoff / static_cast<Wide>(sampleRate));
    warped = static_cast<double>(k);
    warpedSquared = static_cast<double>(k * k);
    norm = static_cast<double>(k * damping + k * k + 1.0L);

    const Wide d = norm;
    double b0, b1;
    if (highPass) {
        b0 = static_cast<double>(1.0L / d);
        b1 = static_cast<double>(-2.0L * b0);
    } else {
        b0 = static_cast<double>(warpedSquared / d);
        b1 = static_cast<double>(2.0L * b0);
    }
    // The denominator is built from the stored double fields, not the wide intermediates.
    const Wide a1 = 2.0L * (static_cast<Wide>(warpedSquared) - 1.0L) / d;
    const Wide a2 = (1.0L - static_cast<Wide>(damping) * warped + static_cast<Wide>(warpedSquared)) / d;

    taps[0] = b0;
    taps[1] = b1;
    taps[2] = b0;
    taps[3] = 1.0;
    taps[4] = static_cast<double>(a1);
    taps[5] = static_cast<double>(a2);
}
