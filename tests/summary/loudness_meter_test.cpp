// LoudnessMeter on tones of known level: absolute figures, level differences, peaks, silence, and
// the loudness range of tones whose level steps for known durations.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <utility>
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

// A stereo 1 kHz tone, the same in both channels, at each (dBFS peak, seconds) in turn.
std::vector<float> steppedTone(const std::vector<std::pair<double, double>>& segments, double rate) {
    const double kTwoPi = 6.283185307179586;
    std::vector<float> stereo;
    std::size_t t = 0;
    for (const auto& [dbfs, seconds] : segments) {
        const double amplitude = std::pow(10.0, dbfs / 20.0);
        for (const std::size_t end = t + std::size_t(seconds * rate + 0.5); t < end; ++t) {
            const float v = float(amplitude * std::sin(kTwoPi * 1000.0 * double(t) / rate));
            stereo.insert(stereo.end(), {v, v});
        }
    }
    return stereo;
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
        // 99.7 cycles per 100 ms step: the step energies ripple by under 0.01 dB.
        EXPECT_NEAR(loud.rangeLu, 0.0, 0.01) << "a steady tone has no loudness range";
        EXPECT_NEAR(quiet.rangeLu, 0.0, 0.01);
    }
}

TEST(Loudness, RangeOfTonesSteppingBetweenLevels) {
    // A 1 kHz tone has whole cycles in every 100 ms step, so each step's energy is exact and a 3 s
    // short-term value depends only on how much of each level its window holds. Percentiles are
    // the values of rank round(p * n). 16 kHz keeps the 100 s signals quick.
    const double rate = 16000.0;
    // The short step: 3 s at -20 dBFS, then 3.2 s at -30 dBFS. Read every 100 ms, the 33
    // short-term windows hold l = 3.0, 2.9, ... 0.1, 0, 0, 0 s of the loud tone, with energies in
    // proportion to 10 l + (3 - l); the 10th and 95th percentiles (ranks 3 and 31 of 33) are
    // l = 0 and l = 2.8. A value once a second (l = 3, 2, 1, 0) would give the full 10 LU.
    const double shortStepLu = 10.0 * std::log10((9.0 * 2.8 + 3.0) / 3.0);  // 9.73
    const struct {
        const char* name;
        std::vector<std::pair<double, double>> segments;
        double expectedLu;
    } cases[] = {
        // The recommendation's compliance signals: 20 s segments, the range spans the plateaus.
        {"-20 then -30 dBFS", {{-20, 20}, {-30, 20}}, 10.0},
        {"-20 then -15 dBFS", {{-20, 20}, {-15, 20}}, 5.0},
        {"-40 then -20 dBFS", {{-40, 20}, {-20, 20}}, 20.0},
        // The -50 dBFS ends fall below the relative gate, 20 LU under the power mean of -26.7 LUFS.
        {"-50 -35 -20 -35 -50 dBFS", {{-50, 20}, {-35, 20}, {-20, 20}, {-35, 20}, {-50, 20}}, 15.0},
        {"short step", {{-20, 3}, {-30, 3.2}}, shortStepLu},
        {"short step 30 dB down", {{-50, 3}, {-60, 3.2}}, shortStepLu},
        {"steady", {{-20, 10}}, 0.0},
    };
    for (const auto& c : cases) {
        const std::vector<float> stereo = steppedTone(c.segments, rate);
        LoudnessMeter meter(2, static_cast<unsigned long>(rate));
        meter.add(stereo.data(), stereo.size() / 2);
        EXPECT_NEAR(meter.result().rangeLu, c.expectedLu, 0.01) << c.name;
    }
}

TEST(Loudness, FiguresDoNotDependOnHowTheStreamIsCut) {
    // Steps close inside add(): blocks of one frame, of a prime count and of the whole stream
    // must give bit-identical figures.
    const std::vector<float> stereo = steppedTone({{-20, 3}, {-30, 3.2}}, 44100.0);
    const std::size_t frames = stereo.size() / 2;
    LoudnessMeter whole(2, 44100);
    whole.add(stereo.data(), frames);
    const Loudness expected = whole.result();
    for (std::size_t block : {std::size_t(1), std::size_t(4409), std::size_t(65536)}) {
        LoudnessMeter meter(2, 44100);
        for (std::size_t at = 0; at < frames; at += block)
            meter.add(stereo.data() + 2 * at, std::min(block, frames - at));
        const Loudness got = meter.result();
        EXPECT_EQ(got.integratedLufs, expected.integratedLufs) << block;
        EXPECT_EQ(got.rangeLu, expected.rangeLu) << block;
        EXPECT_EQ(got.samplePeakDbfs, expected.samplePeakDbfs) << block;
    }
}

TEST(Loudness, SilenceAndShortStreams) {
    LoudnessMeter silent(2, 44100);
    const std::vector<float> zeros(2 * 44100 * 3, 0.0f);
    silent.add(zeros.data(), zeros.size() / 2);
    const Loudness none = silent.result();
    EXPECT_TRUE(std::isinf(none.integratedLufs) && none.integratedLufs < 0);
    EXPECT_TRUE(std::isinf(none.samplePeakDbfs) && none.samplePeakDbfs < 0);
    EXPECT_EQ(none.rangeLu, 0.0);

    // 2.9 s of a loud step: a loudness, but no 3 s short-term value yet and so no range.
    const std::vector<float> brief = steppedTone({{-20, 1.5}, {-40, 1.4}}, 48000.0);
    LoudnessMeter meter(2, 48000);
    meter.add(brief.data(), brief.size() / 2);
    EXPECT_NEAR(meter.result().integratedLufs, -20.0, 0.5);
    EXPECT_EQ(meter.result().rangeLu, 0.0);
}

TEST(Loudness, BadStreamsAreRefused) {
    EXPECT_THROW(LoudnessMeter(0, 44100), std::invalid_argument);
    EXPECT_THROW(LoudnessMeter(2, 0), std::invalid_argument);
    // Beyond libebur128's channel limit: refused with a reason (this once crashed while unwinding).
    EXPECT_THROW(LoudnessMeter(LoudnessMeter::kMostChannels + 1, 8000), std::invalid_argument);
    EXPECT_THROW(LoudnessMeter(448, 8000), std::invalid_argument);
    LoudnessMeter widest(LoudnessMeter::kMostChannels, 8000);
    const std::vector<float> frame(LoudnessMeter::kMostChannels, 0.25f);
    widest.add(frame.data(), 1);
}

}  // namespace
