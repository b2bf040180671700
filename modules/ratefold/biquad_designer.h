// BiquadDesigner: the six coefficients of a second-order Butterworth-form low-pass or high-pass
// filter for a cutoff and a sampling rate, as the resampler's anti-alias filter uses them.
#pragma once

// A short-lived object: construct, call design() once, drop. The design warps the cutoff with
// damping * arctan(2 * cutoff / sampleRate) rather than the usual tangent pre-warping, so the -3 dB
// point of the low-pass lies somewhat below `cutoff`; the resampler is tuned to that response.
class BiquadDesigner {
public:
    // Writes b0, b1, b2, a0, a1, a2 (a0 = 1) into taps[0..5] for the difference equation
    // y[t] = b0 x[t] + b1 x[t-1] + b2 x[t-2] - a1 y[t-1] - a2 y[t-2]. Cutoff and rate in Hz; neither
    // is checked (a negative cutoff gives a negative warp and taps that follow the same formulas).
    // tapCount other than 6 writes nothing. Arithmetic in long double, each value stored as double.
    void design(double* taps, double cutoff, double sampleRate, int tapCount, bool highPass);

    double damping = 1.414213562373095;  // one ulp below the double nearest sqrt(2), deliberately
    double warped = 1.0;                 // K of the last design
    double warpedSquared = 1.0;          // K * K
    double norm = 1.0;                   // the common denominator K * damping + K^2 + 1
};
