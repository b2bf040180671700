// LoudnessMeter on tones of known level: absolute figures, level differences, peaks, silence.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "summary/loudness_meter.h"
#include "tests/support/signals.h"

namespace {

using zqx::summary::Loudness;
using zqx::summary::LoudnessMeter;

// Interleaves `channels` copies of a 997 Hz tone of the given peak amplitude, fed in blocks of
// 4096 frames.
Loudness measureTone(double amplitude, unsigned channels, double rate, double seconds) {
    const std::vector<float> tone = zqx::test::sineTone(997.0, amplitude, rate, std::size_t(rate * seconds));
    std::vector<float> interleaved;
    for (float v : tone) interleaved.insert(interleaved.end(), channels, v);
    LoudnessMeter meter(channels, static_cast<unsigned long>(rate));
    for (std::size_t at = 0; at < tone.size(); at += 4096)
        meter.add(interleaved.data() + at * channels, std::min<std::size_t>(4096, tone.size() - at));
    return meter.result();
}

TEST(Loudness, TonesGiveTheirLevelAndATwentyDecibelDropGivesTwentyLu) {
    const struct {
        unsigned channels;
        double rate;
        double expectedLufsAtMinus23;  // for a 997 Hz tone of -23 dBFS peak per channel
    } cases[] = {
        {2, 48000.0, -23.0},         // the reference tone of the loudness recommendation
        {1, 44100.0, -23.0 - 3.0103}, // one channel: half the power
        {2, 22050.0, -23.0},
    };
    const double amplitude = std::pow(10.0, -23.0 / 20.0);
    for (const auto& c : cases) {
        const Loudness loud = measureTone(amplitude, c.channels, c.rate, 10.0);
        const Loudness quiet = measureTone(amplitude * 0.1, c.channels, c.rate, 10.0);
        EXPECT_NEAR(loud.integratedLufs, c.expectedLufsAtMinus23, 0.05) << c.channels << " ch at " << c.rate;
        EXPECT_NEAR(loud.integratedLufs - quiet.integratedLufs, 20.0, 0.01) << c.channels << " ch at " << c.rate;
        EXPECT_NEAR(loud.samplePeakDbfs, -23.0, 0.01);
        EXPECT_NEAR(quiet.samplePeakDbfs, -43.0, 0.01);
        EXPECT_NEAR(loud.rangeLu, 0.0, 0.1) << "a steady tone has no loudness range";
    }
}

TEST(Loudness, RangeOfAStepAndSilence) {
    // 20 s at -20 dBFS then 20 s at -30 dBFS: the short-term loudness sits at two levels 10 LU
    // apart, and the range (10th to 95th percentile) spans them.
    std::vector<float> step = zqx::test::sineTone(997.0, 0.1, 48000.0, 48000 * 40);
    for (std::size_t i = step.size() / 2; i < step.size(); ++i) step[i] *= std::sqrt(0.1f);
    LoudnessMeter meter(1, 48000);
    meter.add(step.data(), step.size());
    EXPECT_NEAR(meter.result().rangeLu, 10.0, 0.2);

    LoudnessMeter silent(2, 44100);
    const std::vector<float> zeros(2 * 44100 * 3, 0.0f);
    silent.add(zeros.data(), zeros.size() / 2);
    const Loudness none = silent.result();
    EXPECT_TRUE(std::isinf(none.integratedLufs) && none.integratedLufs < 0);
    EXPECT_TRUE(std::isinf(none.samplePeakDbfs) && none.samplePeakDbfs < 0);
    EXPECT_EQ(none.rangeLu, 0.0);
}

TEST(Loudness, BadStreamsAreRefused) {
    EXPECT_THROW(LoudnessMeter(0, 44100), std::invalid_argument);
    EXPECT_THROW(LoudnessMeter(2, 0), std::invalid_argument);
}

}  // namespace
