// labelChords on chroma of triads, silence and noise.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "summary/chord_labels.h"
#include "summary/pitch_names.h"
#include "tests/summary/summary_signals.h"

namespace {

using zqx::summary::ChordSegment;
using zqx::summary::FeatureRows;
using zqx::summary::labelChords;

constexpr double kFrame = 4096.0 / 44100.0;

struct Part {
    std::array<float, 12> chroma;
    int frames;
};

std::vector<float> rowsOf(const std::vector<Part>& parts) {
    std::vector<float> rows;
    for (const Part& p : parts)
        for (int f = 0; f < p.frames; ++f) rows.insert(rows.end(), p.chroma.begin(), p.chroma.end());
    return rows;
}

std::vector<ChordSegment> label(const std::vector<float>& rows) {
    return labelChords(FeatureRows{rows.data(), rows.size() / 12, 12}, nullptr, kFrame);
}

TEST(Chords, EveryTriadGivesItsLabel) {
    for (int root = 0; root < 12; ++root) {
        for (bool minor : {false, true}) {
            const std::vector<float> rows = rowsOf({{zqx::test::toneChroma({root, root + (minor ? 3 : 4), root + 7}), 20}});
            const std::vector<ChordSegment> segments = label(rows);
            const std::string expected = std::string(zqx::summary::pitchClassName(root)) + (minor ? ":min" : ":maj");
            ASSERT_EQ(segments.size(), 1u) << expected;
            EXPECT_EQ(segments[0].label, expected);
            EXPECT_DOUBLE_EQ(segments[0].start, 0.0);
            EXPECT_NEAR(segments[0].end, 20 * kFrame, 1e-9);
        }
    }
}

TEST(Chords, SilenceAndNoiseAreNoChord) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    std::vector<float> noise(12 * 40);
    for (float& v : noise) v = value(rng);
    const struct {
        const char* name;
        std::vector<float> rows;
    } cases[] = {
        {"silence", std::vector<float>(12 * 40, 0.0f)},
        {"noise", noise},
    };
    for (const auto& c : cases) {
        const std::vector<ChordSegment> segments = label(c.rows);
        ASSERT_EQ(segments.size(), 1u) << c.name;
        EXPECT_EQ(segments[0].label, "N") << c.name;
    }
}

TEST(Chords, SegmentsFollowTheChangesAndIgnoreABlip) {
    const auto c = zqx::test::toneChroma({0, 4, 7}), am = zqx::test::toneChroma({9, 0, 4}),
               g = zqx::test::toneChroma({7, 11, 2}), quiet = zqx::test::toneChroma({5, 9, 0}, 1e-4);
    const std::vector<float> rows = rowsOf({{c, 20}, {g, 1}, {c, 10}, {quiet, 8}, {am, 15}});
    std::vector<double> times;
    for (int f = 0; f < 54; ++f) times.push_back(10.0 + f * kFrame);
    const std::vector<ChordSegment> segments = labelChords(FeatureRows{rows.data(), 54, 12}, times.data(), kFrame);
    ASSERT_EQ(segments.size(), 3u);
    const char* labels[] = {"C:maj", "N", "A:min"};
    const int starts[] = {0, 31, 39};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(segments[i].label, labels[i]);
        EXPECT_NEAR(segments[i].start, 10.0 + starts[i] * kFrame, 1e-9);
        EXPECT_NEAR(segments[i].end, i + 1 < 3 ? segments[i + 1].start : 10.0 + 54 * kFrame, 1e-9);
    }
    EXPECT_THROW(labelChords(FeatureRows{rows.data(), 54, 12}, nullptr, 0.0), std::invalid_argument);
    EXPECT_TRUE(labelChords(FeatureRows{rows.data(), 0, 12}, nullptr, kFrame).empty());
}

}  // namespace
