// The demonstration signal: a few bars of synthesised music whose chords, tempo and loudness
// course are known, so that the extracted features can be checked against them.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace zqx::host {

struct DemoChord {
    std::string name;                // "C", "Am", ...
    double start = 0.0, end = 0.0;   // seconds
    std::array<int, 3> pitchClasses; // chord tones, 0 = C ... 11 = B
};

struct DemoSignal {
    int sampleRate = 0;
    double bpm = 0.0;
    std::vector<float> samples;  // mono, peak below 1
    std::vector<DemoChord> chords;
};

// C - Am - F - G, one chord per bar of four beats at 120 BPM, repeated for `seconds`; sine-tone
// triads with a soft second harmonic, a kick drum (a falling sine sweep under 130 Hz with a short
// noise click) on every beat, and a crescendo from 15 % to full level. Deterministic.
DemoSignal synthesiseDemo(int sampleRate = 44100, double seconds = 20.0);

}  // namespace zqx::host
