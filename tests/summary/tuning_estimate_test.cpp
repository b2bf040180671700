// TuningMeter on chords of known detuning, at several rates, in stereo, and on silence and noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "summary/tuning_estimate.h"
#include "tests/support/signals.h"

namespace {

using zqx::summary::TuningMeter;

// A major triad on `rootMidi` with three harmonics per note, every pitch moved by `cents`.
std::vector<float> chord(int rootMidi, double cents, int rate, std::size_t n) {
    std::vector<float> mono(n, 0.0f);
    for (int step : {0, 4, 7}) {
        const double hz = 440.0 * std::exp2((rootMidi + step - 69) / 12.0 + cents / 1200.0);
        for (int h = 1; h <= 3; ++h) {
            const std::vector<float> tone = zqx::test::sineTone(hz * h, 0.2 / h, rate, n);
            for (std::size_t i = 0; i < n; ++i) mono[i] += tone[i];
        }
    }
    return mono;
}

// The chord for `seconds`, as `channels` interleaved copies fed in blocks of 1000 frames (not a
// multiple of the meter's).
double measureChord(int rootMidi, double cents, int rate, std::size_t channels, double seconds = 3.0) {
    const std::size_t n = std::size_t(rate * seconds);
    const std::vector<float> mono = chord(rootMidi, cents, rate, n);
    std::vector<float> interleaved;
    for (float v : mono) interleaved.insert(interleaved.end(), channels, v);
    TuningMeter meter(rate);
    for (std::size_t at = 0; at < n; at += 1000)
        meter.add(interleaved.data() + at * channels, std::min<std::size_t>(1000, n - at), channels);
    return meter.cents();
}

TEST(Tuning, DetunedChordsGiveTheirOffsetWithinTwoCents) {
    const struct {
        int rootMidi;
        double cents;
        int rate;
        std::size_t channels;
    } cases[] = {{60, 0.0, 44100, 1},   {60, -30.0, 44100, 1}, {45, -30.0, 48000, 2}, {67, 20.0, 22050, 1},
                 {52, 45.0, 44100, 1},  {72, -12.0, 96000, 2}, {40, 8.0, 44100, 1}};
    for (const auto& c : cases) {
        const double offset = measureChord(c.rootMidi, c.cents, c.rate, c.channels);
        EXPECT_NEAR(offset, c.cents, 2.0) << c.rootMidi << " at " << c.cents << " cents, " << c.rate << " Hz";
    }
}

// Past the first seconds the meter samples the stream; its answer must still hold there, and every
// part of the stream must weigh by its duration, not by how densely it was sampled.
TEST(Tuning, LongStreamsAreSampledWithoutFavouringTheirStart) {
    EXPECT_NEAR(measureChord(57, -30.0, 44100, 1, 45.0), -30.0, 2.0);
    EXPECT_NEAR(measureChord(64, 25.0, 22050, 2, 60.0), 25.0, 2.0);

    // 10 s in tune, then 30 s 20 cents flat: the duration-weighted circular mean of 0 and -20
    // cents (weights 1 and 3) is -15.5 cents; weighing blocks as analysed would give about -3.
    const int rate = 44100;
    std::vector<float> stream = chord(60, 0.0, rate, std::size_t(rate) * 10);
    const std::vector<float> flat = chord(60, -20.0, rate, std::size_t(rate) * 30);
    stream.insert(stream.end(), flat.begin(), flat.end());
    TuningMeter meter(rate);
    for (std::size_t at = 0; at < stream.size(); at += 4410)
        meter.add(stream.data() + at, std::min<std::size_t>(4410, stream.size() - at), 1);
    EXPECT_NEAR(meter.cents(), -15.5, 2.0);
}

TEST(Tuning, SilenceHasNoTuningAndBadRatesAreRefused) {
    TuningMeter meter(44100);
    const std::vector<float> silence(44100, 0.0f);
    meter.add(silence.data(), silence.size(), 1);
    EXPECT_TRUE(std::isnan(meter.cents()));
    EXPECT_THROW(TuningMeter(7999), std::invalid_argument);
    EXPECT_THROW(TuningMeter(200000), std::invalid_argument);
}

}  // namespace
