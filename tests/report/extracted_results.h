// Results made the way a user makes them: a short synthesised piece written as a WAV file and run
// through the built `zqx extract`; and the same result with the hand-written summary added.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/host/cli_test_support.h"
#include "tests/report/result_fixture.h"

namespace zqx::test {

// seconds of C - Am - F - G triads (2 s each) with a click every 0.5 s (120 BPM), at 44.1 kHz.
inline std::vector<float> synthesisedPiece(double seconds) {
    const double rate = 44100;
    const double chords[4][3] = {{261.63, 329.63, 392.0}, {220.0, 261.63, 329.63}, {174.61, 220.0, 261.63},
                                 {196.0, 246.94, 293.66}};
    std::vector<float> x(std::size_t(seconds * rate));
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = double(n) / rate;
        const double* chord = chords[int(t / 2.0) % 4];
        double v = 0.0;
        for (int k = 0; k < 3; ++k) v += 0.15 * std::sin(6.283185307179586 * chord[k] * t);
        const double sinceBeat = std::fmod(t, 0.5);
        v += 0.5 * std::exp(-sinceBeat * 60.0) * std::sin(6.283185307179586 * 60.0 * sinceBeat);
        // A crescendo, so that the level contour has a shape to check.
        x[n] = float(v * (0.2 + 0.8 * t / seconds));
    }
    return x;
}

// Writes NAME.wav of `seconds` into dir, runs zqx extract on it and returns the result's path.
inline std::string extractedResult(const ScratchDir& dir, const std::string& name, double seconds) {
    const std::string wav = dir.file(name + ".wav");
    EXPECT_TRUE(writeAudio(wav, synthesisedPiece(seconds), 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const CommandResult r = runZqx("extract -q -o " + quoted(dir.path().string()) + " " + quoted(wav));
    EXPECT_EQ(r.status, 0) << r.err;
    return dir.file(name + ".json");
}

// The extracted result of `source` with the hand-written summary set, written as NAME.json.
inline std::string withHandWrittenSummary(const ScratchDir& dir, const std::string& source, const std::string& name) {
    ordered_json json = ordered_json::parse(readText(source));
    json["summary"] = handWrittenSummary();
    writeText(dir.file(name + ".json"), json.dump());
    return dir.file(name + ".json");
}

}  // namespace zqx::test
