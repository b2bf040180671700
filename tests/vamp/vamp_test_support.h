// Shared by the Vamp adapter's tests: the fixture signal, the zqx command's CSV files and the
// text vamp-simple-host prints, read back as numbers.
#pragma once

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/cli_test_support.h"

namespace zqx::test {

// 8.63 s at 44.1 kHz: two rhythm groups of 400 frames. The length is one sample past a band frame
// start (a multiple of 441, plus 1) and 344 samples short of a whole 4096-sample block, so the
// silence a Vamp host pads the last block with starts no band frame of its own: the plug-ins see
// the same frames as `zqx extract` does.
constexpr long kFixtureFrames = 380584;
constexpr int kFixtureRate = 44100;

// Chords over a kick drum on every half second, a crescendo over the whole, seeded noise under it.
inline std::vector<float> fixtureMusic(int rate, long frames) {
    std::vector<float> x(std::size_t(frames), 0.0f);
    const double kTwoPi = 6.283185307179586;
    const double chords[3][3] = {{261.63, 329.63, 392.0}, {220.0, 261.63, 329.63}, {174.61, 220.0, 261.63}};
    unsigned noise = 12345;
    for (long i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double* chord = chords[long(t / 2.0) % 3];
        const double beat = std::fmod(t, 0.5);
        double v = 0.0;
        for (int k = 0; k < 3; ++k) v += 0.12 * std::sin(kTwoPi * chord[k] * t);
        v += 0.5 * std::exp(-beat / 0.04) * std::sin(kTwoPi * 55.0 * beat);
        noise = noise * 1664525u + 1013904223u;
        v += 0.01 * (double(noise >> 8) / double(1u << 24) - 0.5);
        x[std::size_t(i)] = float(v * (0.3 + 0.7 * double(i) / double(frames)));
    }
    return x;
}

// One row of numbers with the time (seconds) it starts at.
struct TimedRow {
    double time = 0.0;
    std::vector<double> values;
};

// A zqx result CSV ("time,<columns>" then rows), header dropped.
inline std::vector<TimedRow> readZqxCsv(const std::string& text) {
    std::vector<TimedRow> rows;
    const std::vector<std::string> all = lines(text);
    for (std::size_t i = 1; i < all.size(); ++i) {
        std::stringstream in(all[i]);
        std::string cell;
        TimedRow row;
        bool first = true;
        while (std::getline(in, cell, ',')) {
            if (first) row.time = std::strtod(cell.c_str(), nullptr);
            else row.values.push_back(std::strtod(cell.c_str(), nullptr));
            first = false;
        }
        rows.push_back(row);
    }
    return rows;
}

// zqx run's output: one line of comma-separated values per block, no time.
inline std::vector<std::vector<double>> readRunLines(const std::string& text) {
    std::vector<std::vector<double>> rows;
    for (const std::string& line : lines(text)) {
        std::stringstream in(line);
        std::string cell;
        std::vector<double> row;
        while (std::getline(in, cell, ',')) row.push_back(std::strtod(cell.c_str(), nullptr));
        rows.push_back(row);
    }
    return rows;
}

// vamp-simple-host's features: " <time>: v v v" or " <time>, <duration>: v", one per line.
inline std::vector<TimedRow> readSimpleHostFeatures(const std::string& text) {
    std::vector<TimedRow> rows;
    for (const std::string& line : lines(text)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        TimedRow row;
        row.time = std::strtod(line.c_str(), nullptr);
        std::stringstream in(line.substr(colon + 1));
        double v;
        while (in >> v) row.values.push_back(v);
        rows.push_back(row);
    }
    return rows;
}

// vamp-simple-host prints values with six significant digits.
inline bool closeToPrinted(double printed, double exact) {
    return std::abs(printed - exact) <= 6e-6 * std::abs(exact) + 1e-12;
}

}  // namespace zqx::test
