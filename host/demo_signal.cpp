// Synthesis of the demonstration music.
#include "host/demo_signal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zqx::host {

namespace {

constexpr double kPi = 3.14159265358979323846;

double midiToHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

struct ChordShape {
    const char* name;
    std::array<int, 3> notes;  // MIDI notes, voiced between F4 and G5
};

// Voiced high enough that a 2048-point analysis frame separates neighbouring semitones.
constexpr ChordShape kProgression[] = {
    {"C", {72, 76, 79}},   // C5 E5 G5
    {"Am", {69, 72, 76}},  // A4 C5 E5
    {"F", {65, 69, 72}},   // F4 A4 C5
    {"G", {67, 71, 74}},   // G4 B4 D5
};

}  // namespace

DemoSignal synthesiseDemo(int sampleRate, double seconds) {
    DemoSignal demo;
    demo.sampleRate = sampleRate;
    demo.bpm = 120.0;
    const std::size_t n = std::size_t(seconds * sampleRate);
    demo.samples.assign(n, 0.0f);
    const double beat = 60.0 / demo.bpm;
    const double bar = 4 * beat;
    std::uint32_t noise = 12345;  // a fixed LCG keeps the signal identical on every run

    std::vector<double> mix(n, 0.0);
    for (int b = 0; b * bar < seconds; ++b) {
        const ChordShape& shape = kProgression[b % 4];
        DemoChord chord;
        chord.name = shape.name;
        chord.start = b * bar;
        chord.end = std::min(seconds, (b + 1) * bar);
        for (int i = 0; i < 3; ++i) chord.pitchClasses[std::size_t(i)] = shape.notes[std::size_t(i)] % 12;
        demo.chords.push_back(chord);

        const std::size_t from = std::size_t(chord.start * sampleRate), to = std::min(n, std::size_t(chord.end * sampleRate));
        for (int note : shape.notes) {
            const double hz = midiToHz(note);
            for (std::size_t s = from; s < to; ++s) {
                const double t = double(s - from) / sampleRate, left = double(to - s) / sampleRate;
                // 10 ms fades keep the chord changes free of clicks.
                const double fade = std::min({1.0, t / 0.01, left / 0.01});
                const double phase = 2 * kPi * hz * double(s) / sampleRate;
                mix[s] += fade * 0.1 * (std::sin(phase) + 0.3 * std::sin(2 * phase));
            }
        }
    }
    for (int k = 0; k * beat < seconds; ++k) {
        const std::size_t from = std::size_t(k * beat * sampleRate);
        const std::size_t length = std::size_t(0.25 * sampleRate);
        double phase = 0.0;
        for (std::size_t i = 0; i < length && from + i < n; ++i) {
            const double t = double(i) / sampleRate;
            const double hz = 45.0 + 85.0 * std::exp(-t / 0.03);
            phase += 2 * kPi * hz / sampleRate;
            double value = 0.4 * std::exp(-t / 0.09) * std::sin(phase);
            if (t < 0.004) {
                noise = noise * 1664525u + 1013904223u;
                value += 0.15 * (1.0 - t / 0.004) * (double(noise >> 8) / double(1u << 24) * 2.0 - 1.0);
            }
            mix[from + i] += value;
        }
    }
    for (std::size_t s = 0; s < n; ++s) {
        const double crescendo = 0.15 + 0.85 * double(s) / double(n);
        demo.samples[s] = static_cast<float>(crescendo * mix[s]);
    }
    return demo;
}

}  // namespace zqx::host
