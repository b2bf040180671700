// estimateTempo on onset envelopes of click patterns, silence and noise.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

#include "summary/onset_envelope.h"
#include "summary/tempo_estimate.h"
#include "tests/summary/summary_signals.h"

namespace {

using zqx::summary::estimateTempo;
using zqx::summary::OnsetEnvelope;
using zqx::summary::TempoEstimate;

constexpr int kBands = 24;

std::vector<float> onsetOf(const std::vector<float>& levels) {
    OnsetEnvelope envelope;
    for (std::size_t at = 0; at < levels.size(); at += kBands) envelope.addFrame(levels.data() + at, kBands);
    return envelope.values();
}

// Clicks every 60 / bpm seconds from 0.123 s on (off the 10 ms grid) for `seconds`; every
// `accentEvery`-th one sounds in all bands, the others in the upper half only, so the accented
// ones rise twice as much in the onset envelope (a kick with the hi-hat).
TempoEstimate tempoOfClicks(double bpm, double seconds, int accentEvery = 1) {
    std::vector<double> times, energies;
    std::vector<bool> wide;
    for (int k = 0; 0.123 + k * 60.0 / bpm < seconds; ++k) {
        times.push_back(0.123 + k * 60.0 / bpm);
        energies.push_back(1e-3);
        wide.push_back(k % accentEvery == 0);
    }
    const std::vector<float> onset = onsetOf(zqx::test::clickBandLevels(times, energies, seconds, kBands, wide));
    return estimateTempo(onset.data(), onset.size(), 0.01);
}

TEST(Tempo, ClickTrainsGiveTheirTempoFrom40To240Bpm) {
    for (double bpm : {40.0, 47.0, 55.0, 63.5, 72.0, 85.0, 97.0, 110.0, 120.0, 133.0, 150.0, 165.0, 180.0, 193.5,
                       200.0, 217.0, 240.0}) {
        const TempoEstimate tempo = tempoOfClicks(bpm, 30.0);
        // Clicks fall on a 10 ms grid, so single periods jitter by a frame; the estimate must
        // still land within 1 %, far inside the 4 % that tempo evaluations allow.
        EXPECT_NEAR(tempo.bpm, bpm, 0.01 * bpm) << bpm << " BPM";
        EXPECT_TRUE(tempo.steady) << bpm << " BPM";
        EXPECT_GT(tempo.confidence, 0.5) << bpm << " BPM";
        ASSERT_GE(tempo.candidates.size(), 3u) << bpm << " BPM";
        EXPECT_DOUBLE_EQ(tempo.candidates[0].bpm, tempo.bpm);
        double total = 0.0;
        for (std::size_t i = 0; i < tempo.candidates.size(); ++i) {
            total += tempo.candidates[i].weight;
            EXPECT_GE(tempo.candidates[i].weight, 0.0);
            if (i >= 2) {
                EXPECT_GE(tempo.candidates[i - 1].weight, tempo.candidates[i].weight) << bpm << " BPM";
            }
        }
        EXPECT_LE(total, 1.0 + 1e-9);
    }
}

TEST(Tempo, AccentedPulseChoosesTheBeatAmongItsMetricalRelatives) {
    const struct {
        double pulseBpm;
        int accentEvery;
        double beatBpm;
    } cases[] = {
        {194.0, 2, 97.0},    // eighth-note hi-hats on a beat: the beat, not the hi-hat
        {360.0, 2, 180.0},   // groups of two, not the three that lie nearer 120 BPM
        {300.0, 3, 100.0},   // triplets: groups of three, not their 3:2 relative at 150
        {480.0, 4, 120.0},   // sixteenths in fours
    };
    for (const auto& c : cases) {
        const TempoEstimate tempo = tempoOfClicks(c.pulseBpm, 30.0, c.accentEvery);
        EXPECT_NEAR(tempo.bpm, c.beatBpm, 0.01 * c.beatBpm) << c.pulseBpm << " BPM in groups of " << c.accentEvery;
        EXPECT_TRUE(tempo.steady);
    }
}

TEST(Tempo, NoBeatIsNotSteady) {
    const std::size_t frames = 3000;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> level(0.0f, 8.0f);
    std::exponential_distribution<double> gap(4.0);

    std::vector<float> silence(frames * kBands, 0.0f), noise(frames * kBands);
    for (float& v : noise) v = level(rng);
    // Syllable-like bursts at random intervals averaging 250 ms, as speech has them.
    std::vector<double> times, energies;
    for (double t = 0.1; t < 30.0; t += 0.08 + gap(rng)) {
        times.push_back(t);
        energies.push_back(1e-3 * (0.2 + level(rng)));
    }
    const struct {
        const char* name;
        std::vector<float> levels;
    } cases[] = {{"silence", silence}, {"noise", noise}, {"random bursts", zqx::test::clickBandLevels(times, energies, 30.0, kBands)}};
    for (const auto& c : cases) {
        const std::vector<float> onset = onsetOf(c.levels);
        const TempoEstimate tempo = estimateTempo(onset.data(), onset.size(), 0.01);
        EXPECT_FALSE(tempo.steady) << c.name << ": " << tempo.bpm << " BPM, confidence " << tempo.confidence;
        EXPECT_LT(tempo.confidence, 0.1) << c.name;
    }
    const std::vector<float> onset = onsetOf(silence);
    const TempoEstimate none = estimateTempo(onset.data(), onset.size(), 0.01);
    EXPECT_EQ(none.bpm, 0.0);
    EXPECT_TRUE(none.candidates.empty());
}

TEST(Tempo, TooShortOrBadArgumentsAreRefusedOrEmpty) {
    const TempoEstimate shortOne = tempoOfClicks(120.0, 0.4);
    EXPECT_EQ(shortOne.bpm, 0.0);
    EXPECT_FALSE(shortOne.steady);
    const std::vector<float> onset(1000, 1.0f);
    EXPECT_THROW(estimateTempo(onset.data(), onset.size(), 0.0), std::invalid_argument);
    EXPECT_THROW(estimateTempo(onset.data(), onset.size(), NAN), std::invalid_argument);
    zqx::summary::TempoSettings inverted;
    inverted.minBpm = 200.0;
    inverted.maxBpm = 100.0;
    EXPECT_THROW(estimateTempo(onset.data(), onset.size(), 0.01, inverted), std::invalid_argument);
}

TEST(OnsetEnvelope, SumsRisesOnlyAndRefusesAChangedBandCount) {
    OnsetEnvelope envelope;
    const float a[3] = {1, 2, 3}, b[3] = {2, 1, 5}, c[3] = {2, NAN, 5};
    envelope.addFrame(a, 3);
    envelope.addFrame(b, 3);  // +1, -1 (ignored), +2
    envelope.addFrame(c, 3);  // NaN counts as 0: a fall
    EXPECT_EQ(envelope.values(), (std::vector<float>{0.0f, 3.0f, 0.0f}));
    EXPECT_THROW(envelope.addFrame(a, 2), std::invalid_argument);
    EXPECT_THROW(envelope.addFrame(a, 0), std::invalid_argument);
    EXPECT_EQ(envelope.values().size(), 3u);
}

}  // namespace
