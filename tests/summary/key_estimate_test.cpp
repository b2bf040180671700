// estimateKey on chroma of cadences and scales in every key.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "summary/key_estimate.h"
#include "summary/pitch_names.h"
#include "tests/summary/summary_signals.h"

namespace {

using zqx::summary::estimateKey;
using zqx::summary::FeatureRows;
using zqx::summary::KeyEstimate;
using zqx::summary::KeyProfiles;
using zqx::test::toneChroma;

// Rows of 24 values (a second half of zeros, as the host's streams have a second half) holding a
// cadence I-IV-V-I (major) or i-iv-V-i (minor, with the raised leading tone), then the scale.
std::vector<float> cadenceAndScale(int tonic, bool minor) {
    const int third = minor ? 3 : 4, sixth = minor ? 8 : 9;
    std::vector<std::array<float, 12>> frames;
    for (int root : {0, 5, 7, 0}) {
        const int chordThird = root == 7 ? 4 : (root == 0 ? third : (minor ? 3 : 4));
        for (int repeat = 0; repeat < 4; ++repeat)
            frames.push_back(toneChroma({tonic + root, tonic + root + chordThird, tonic + root + 7}));
    }
    for (int degree : {0, 2, third, 5, 7, sixth, minor ? 10 : 11, 12}) frames.push_back(toneChroma({tonic + degree}, 0.5));
    std::vector<float> rows;
    for (const auto& f : frames) {
        rows.insert(rows.end(), f.begin(), f.end());
        rows.insert(rows.end(), 12, 0.0f);
    }
    return rows;
}

TEST(Key, CadenceAndScaleGiveTheirKeyInAllTwentyFour) {
    // Krumhansl and Kessler's profiles name the dominant for most major keys here: the harmonics
    // of every note add its fifth, which the corpus counts of Temperley's profiles absorb.
    for (KeyProfiles profiles : {KeyProfiles::Temperley}) {
        for (int tonic = 0; tonic < 12; ++tonic) {
            for (bool minor : {false, true}) {
                const std::vector<float> rows = cadenceAndScale(tonic, minor);
                const KeyEstimate key = estimateKey(FeatureRows{rows.data(), rows.size() / 24, 24}, profiles);
                const std::string expected =
                    std::string(zqx::summary::pitchClassName(tonic)) + (minor ? " minor" : " major");
                ASSERT_TRUE(key.found);
                EXPECT_EQ(key.name, expected) << "profiles " << int(profiles);
                EXPECT_EQ(key.tonic, tonic);
                EXPECT_EQ(key.minor, minor);
                EXPECT_EQ(key.tonicName + " " + key.mode, key.name);
                EXPECT_GT(key.confidence, 0.5) << expected;
                EXPECT_LE(key.confidence, 1.0);
            }
        }
    }
}

TEST(Key, SpellingIsFlats) {
    const std::vector<float> rows = cadenceAndScale(10, false);
    EXPECT_EQ(estimateKey(FeatureRows{rows.data(), rows.size() / 24, 24}).name, "Bb major");
    const std::vector<float> sharpMinor = cadenceAndScale(1, true);
    EXPECT_EQ(estimateKey(FeatureRows{sharpMinor.data(), sharpMinor.size() / 24, 24}).name, "Db minor");
}

TEST(Key, EveryFrameCountsOnceAndQuietFramesNotAtAll) {
    // G major cadences, then one frame of an E-flat minor chord 50 times louder and 40 frames of
    // a faint C-sharp: a loudness-weighted average would follow the loud chord; frames counted
    // once, with the quiet ones left out, stay in G.
    std::vector<float> rows = cadenceAndScale(7, false);
    const auto loud = toneChroma({3, 6, 10}, 50.0), faint = toneChroma({1}, 1e-4);
    rows.insert(rows.end(), loud.begin(), loud.end());
    rows.insert(rows.end(), 12, 0.0f);
    for (int f = 0; f < 40; ++f) {
        rows.insert(rows.end(), faint.begin(), faint.end());
        rows.insert(rows.end(), 12, 0.0f);
    }
    EXPECT_EQ(estimateKey(FeatureRows{rows.data(), rows.size() / 24, 24}).name, "G major");
}

TEST(Key, SilenceAndNoRowsHaveNoKey) {
    const std::vector<float> silence(24 * 50, 0.0f);
    for (std::size_t rows : {std::size_t(0), std::size_t(50)}) {
        const KeyEstimate key = estimateKey(FeatureRows{silence.data(), rows, 24});
        EXPECT_FALSE(key.found);
        EXPECT_EQ(key.name, "");
        EXPECT_EQ(key.confidence, 0.0);
    }
}

}  // namespace

namespace {

// A loud pedal note (a bass or an organ point, eight times each chord tone) under a cadence
// I-IV-V-I in every major key: the key stays major. With plain shares per frame the pedal's
// weight turned C major into C minor; square-rooted classes keep the harmony's say.
TEST(Key, ALoudDominantPedalDoesNotDecideTheMode) {
    for (int tonic = 0; tonic < 12; ++tonic) {
        std::vector<float> rows;
        for (int root : {0, 5, 7, 0}) {
            std::array<float, 24> frame{};
            for (int step : {0, 4, 7}) frame[std::size_t((tonic + root + step) % 12)] += 1.0f;
            frame[std::size_t((tonic + 7) % 12)] += 8.0f;
            rows.insert(rows.end(), frame.begin(), frame.end());
        }
        const KeyEstimate key = estimateKey(FeatureRows{rows.data(), rows.size() / 24, 24});
        EXPECT_EQ(key.name, std::string(zqx::summary::pitchClassName(tonic)) + " major");
    }
}

}  // namespace
