// Synthetic feature streams for the summary tests: band levels of click patterns and chroma
// frames of triads with their first harmonics.
#pragma once

#include <array>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace zqx::test {

// Log band levels ln(1 + 1e6 E), 10 ms apart, of clicks at `times` (seconds) with the given
// energies, each decaying with a 30 ms time constant; `bands` bands of equal level. A click whose
// `wide` flag is false sounds in the upper half of the bands only (a hi-hat beside a kick).
inline std::vector<float> clickBandLevels(const std::vector<double>& times, const std::vector<double>& energies,
                                          double seconds, int bands, const std::vector<bool>& wide = {}) {
    const std::size_t frames = std::size_t(seconds * 100.0);
    std::vector<float> levels(frames * std::size_t(bands), 0.0f);
    for (std::size_t f = 0; f < frames; ++f) {
        const double t = double(f) * 0.01;
        double low = 0.0, high = 0.0;
        for (std::size_t k = 0; k < times.size(); ++k) {
            if (times[k] > t || t - times[k] >= 0.5) continue;
            const double e = energies[k] * std::exp(-(t - times[k]) / 0.03);
            high += e;
            if (wide.empty() || wide[k]) low += e;
        }
        for (int b = 0; b < bands; ++b)
            levels[f * std::size_t(bands) + std::size_t(b)] = float(std::log1p(1e6 * (2 * b < bands ? low : high)));
    }
    return levels;
}

// Chroma of the given pitch classes, each with its third and fifth harmonics (a fifth and a major
// third above, at 0.5 and 0.3 of the fundamental), as an instrument's chroma shows them.
inline std::array<float, 12> toneChroma(std::initializer_list<int> classes, double amplitude = 1.0) {
    std::array<float, 12> chroma{};
    for (int c : classes) {
        chroma[std::size_t(c % 12)] += float(amplitude);
        chroma[std::size_t((c + 7) % 12)] += float(0.5 * amplitude);
        chroma[std::size_t((c + 4) % 12)] += float(0.3 * amplitude);
    }
    return chroma;
}

}  // namespace zqx::test
