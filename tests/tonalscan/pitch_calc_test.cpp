// tonalscan through its two exported functions: served rates, pitch accuracy of tones across the
// levels, the record list per block, and the zero point.
#include "tests/support/signals.h"
#include "tonalscan/pitch_calc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

struct CalcDeleter {
    void operator()(CPitchCalc* calc) const { DestroyPitchCalc(calc); }
};
using CalcPtr = std::unique_ptr<CPitchCalc, CalcDeleter>;

CalcPtr makeCalc(int rate) {
    CPitchCalc* calc = nullptr;
    if (!InitPitchCalc(calc, rate)) return nullptr;
    return CalcPtr(calc);
}


// Hands over the starts of `block` as the chroma module does (B apart, each 2B long) and returns
// how many starts were handed over.
std::uint32_t handOver(CPitchCalc& calc, const float* block, std::size_t n) {
    const std::uint32_t b = calc.getBlockLength();
    std::uint32_t starts = 0;
    for (std::size_t o = 0; o + 2 * b <= n; o += b, ++starts) calc.processBlock(block + o);
    return starts;
}

std::vector<PitchPeak> readRecords(CPitchCalc& calc) {
    std::vector<PitchPeak> records;
    for (std::uint32_t i = 0; i < calc.getPeakCount(); ++i) {
        PitchPeak peak{};
        calc.getPeak(i, &peak);
        records.push_back(peak);
    }
    return records;
}

// Runs `signal` through in blocks of `blockSamples` and returns the records of the last block.
std::vector<PitchPeak> analyse(CPitchCalc& calc, const std::vector<float>& signal, std::size_t blockSamples) {
    std::vector<PitchPeak> records;
    for (std::size_t at = 0; at + blockSamples <= signal.size(); at += blockSamples) {
        handOver(calc, signal.data() + at, blockSamples);
        records = readRecords(calc);
    }
    return records;
}

const PitchPeak& strongest(const std::vector<PitchPeak>& records) {
    return *std::max_element(records.begin(), records.end(), [](const PitchPeak& a, const PitchPeak& b) {
        return a.peakContribution < b.peakContribution;
    });
}

double expectedCents(double hz) { return 1200.0 * std::log2(hz / kPitchZeroHz); }

TEST(PitchCalc, ServesRatesFrom8To192KilohertzWithBlockLengthScaledByRate) {
    const struct {
        int rate;
        std::uint32_t blockLength;  // 0: refused
    } cases[] = {{8000, 256},   {11025, 256},  {16000, 512},  {22050, 512},  {32000, 1024},
                 {44100, 1024}, {48000, 1024}, {88200, 2048}, {96000, 2048}, {192000, 4096},
                 {7999, 0},     {192001, 0},   {0, 0},        {-44100, 0}};
    for (const auto& c : cases) {
        CPitchCalc* sentinel = reinterpret_cast<CPitchCalc*>(&sentinel);
        CPitchCalc* calc = sentinel;
        const bool ok = InitPitchCalc(calc, c.rate);
        ASSERT_EQ(ok, c.blockLength != 0) << c.rate;
        if (!ok) {
            EXPECT_EQ(calc, sentinel) << "a refused rate leaves the pointer untouched";
            continue;
        }
        EXPECT_EQ(calc->getBlockLength(), c.blockLength) << c.rate;
        EXPECT_EQ(calc->getPeakCount(), 0u);
        EXPECT_TRUE(DestroyPitchCalc(calc));
    }
    EXPECT_FALSE(DestroyPitchCalc(nullptr));
}

// A steady tone: the strongest record of the last block is the tone, within a few cents, with its
// amplitude and nearly all of the energy. The frequencies cover every level and sit near the
// band edges (a quarter tone from the notes, so edge notes are included). Tolerances: a parabola
// through the log magnitudes of a Hann lobe is off by at most 0.016 bin in frequency (1.2 cents
// at the lowest band edge, 23.6 bins up) and reads the amplitude up to 3.8 % high.
TEST(PitchCalc, ToneIsReportedWithinAFewCentsAtEveryLevel) {
    const struct {
        int rate;
        double hz;
    } cases[] = {{44100, 32.70},  {44100, 41.20},   {44100, 65.41},   {44100, 123.47}, {44100, 130.81},
                 {44100, 246.94}, {44100, 261.63},  {44100, 440.00},  {44100, 493.88}, {44100, 523.25},
                 {44100, 987.77}, {44100, 1046.50}, {44100, 1500.00}, {44100, 4186.01}, {48000, 440.00},
                 {48000, 77.78},  {22050, 440.00},  {22050, 3520.00}, {96000, 196.00}, {8000, 110.00}};
    for (const auto& c : cases) {
        CalcPtr calc = makeCalc(c.rate);
        ASSERT_TRUE(calc);
        const std::size_t blockSamples = 8 * calc->getBlockLength();
        const std::vector<float> x = zqx::test::sineTone(c.hz, 0.5, c.rate, 6 * blockSamples);
        const std::vector<PitchPeak> records = analyse(*calc, x, blockSamples);
        ASSERT_FALSE(records.empty()) << c.hz;
        const PitchPeak& top = strongest(records);
        EXPECT_NEAR(top.pitchCents, expectedCents(c.hz), 3.0) << c.rate << " Hz rate, tone " << c.hz;
        EXPECT_NEAR(top.frequencyHz, c.hz, c.hz * 0.002) << c.hz;
        EXPECT_NEAR(top.peakContribution, 0.5, 0.025) << c.hz;
        EXPECT_GT(top.meanContribution, 0.9f) << c.hz;
        EXPECT_LE(top.meanContribution, 1.0f) << c.hz;
    }
}

// Two notes a semitone apart in octave 2 are told apart (the long window), and so are two in
// octave 6 (the short one).
TEST(PitchCalc, NeighbouringSemitonesAreSeparatePeaks) {
    for (const auto& pair : {std::pair<double, double>{65.41, 69.30}, std::pair<double, double>{1046.50, 1108.73}}) {
        CalcPtr calc = makeCalc(44100);
        ASSERT_TRUE(calc);
        const std::size_t blockSamples = 8 * 1024;
        std::vector<float> x = zqx::test::sineTone(pair.first, 0.3, 44100, 6 * blockSamples);
        const std::vector<float> y = zqx::test::sineTone(pair.second, 0.3, 44100, x.size());
        for (std::size_t i = 0; i < x.size(); ++i) x[i] += y[i];
        const std::vector<PitchPeak> records = analyse(*calc, x, blockSamples);
        for (double hz : {pair.first, pair.second}) {
            const bool found = std::any_of(records.begin(), records.end(), [&](const PitchPeak& p) {
                return std::abs(p.pitchCents - expectedCents(hz)) < 10.0 && p.peakContribution > 0.2f;
            });
            EXPECT_TRUE(found) << hz;
        }
    }
}

TEST(PitchCalc, RecordsAreThoseOfTheStartsSinceTheLastRead) {
    CalcPtr calc = makeCalc(44100);
    ASSERT_TRUE(calc);
    const std::vector<float> x = zqx::test::sineTone(440.0, 0.5, 44100, 4 * 4096);

    // Two blocks of four B give three starts each; unread records of the first block stay.
    EXPECT_EQ(handOver(*calc, x.data(), 4096), 3u);
    EXPECT_EQ(handOver(*calc, x.data() + 4096, 4096), 3u);
    std::vector<PitchPeak> records = readRecords(*calc);
    std::vector<std::uint32_t> starts;
    for (const PitchPeak& p : records) starts.push_back(p.startIndex);
    ASSERT_FALSE(starts.empty());
    EXPECT_TRUE(std::is_sorted(starts.begin(), starts.end()));
    EXPECT_EQ(starts.front(), 0u);
    EXPECT_EQ(starts.back(), 5u);
    for (std::uint32_t s = 0; s < 6; ++s) EXPECT_NE(std::find(starts.begin(), starts.end(), s), starts.end()) << s;

    // After a read, the next block's starts make a fresh list; reading twice changes nothing.
    EXPECT_EQ(handOver(*calc, x.data() + 8192, 4096), 3u);
    records = readRecords(*calc);
    ASSERT_FALSE(records.empty());
    for (const PitchPeak& p : records) EXPECT_LT(p.startIndex, 3u);
    EXPECT_EQ(readRecords(*calc).size(), records.size());

    // Out-of-range reads leave the caller's record alone.
    PitchPeak untouched{};
    untouched.pitchCents = -7;
    calc->getPeak(calc->getPeakCount(), &untouched);
    EXPECT_EQ(untouched.pitchCents, -7);
    calc->getPeak(0, nullptr);
}

// The history is stitched from the starts whatever the caller's block length: the last start of
// a stream cut into blocks of 4096 or 8192 samples, or handed over in one block, sees the same
// newest samples, so its short-window peaks (levels 0 and 1, above 508 Hz) are the same.
TEST(PitchCalc, HistoryDoesNotDependOnTheCallersBlocks) {
    std::vector<float> x = zqx::test::sineTone(700.0, 0.3, 44100, 32768);
    const std::vector<float> y = zqx::test::sineTone(1500.0, 0.2, 44100, x.size());
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> uniform(-0.05f, 0.05f);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] += y[i] + uniform(rng);

    std::vector<std::vector<PitchPeak>> lastStart;
    for (std::size_t blockSamples : {std::size_t{4096}, std::size_t{8192}, x.size()}) {
        CalcPtr calc = makeCalc(44100);
        ASSERT_TRUE(calc);
        const std::vector<PitchPeak> records = analyse(*calc, x, blockSamples);
        ASSERT_FALSE(records.empty());
        std::vector<PitchPeak> peaks;
        for (const PitchPeak& p : records) {
            if (p.startIndex == records.back().startIndex && p.frequencyHz >= 508.4f) peaks.push_back(p);
        }
        std::sort(peaks.begin(), peaks.end(), [](const PitchPeak& a, const PitchPeak& b) { return a.frequencyHz < b.frequencyHz; });
        lastStart.push_back(peaks);
    }
    ASSERT_GE(lastStart[0].size(), 2u);
    for (std::size_t run = 1; run < lastStart.size(); ++run) {
        ASSERT_EQ(lastStart[run].size(), lastStart[0].size()) << run;
        for (std::size_t i = 0; i < lastStart[0].size(); ++i) {
            EXPECT_EQ(lastStart[run][i].frequencyHz, lastStart[0][i].frequencyHz) << run;
            EXPECT_EQ(lastStart[run][i].peakContribution, lastStart[0][i].peakContribution) << run;
        }
    }
}

TEST(PitchCalc, SilenceHasNoRecords) {
    CalcPtr calc = makeCalc(48000);
    ASSERT_TRUE(calc);
    const std::vector<float> x(16 * 1024, 0.0f);
    EXPECT_TRUE(analyse(*calc, x, 4096).empty());
}

// Noise puts peaks everywhere in the analysed range: all of them lie between the lowest and the
// highest frequency, so every pitchCents is positive and the shares add up to at most one.
TEST(PitchCalc, NoisePeaksStayInTheReportedRange) {
    CalcPtr calc = makeCalc(44100);
    ASSERT_TRUE(calc);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    std::vector<float> x(48 * 1024);
    for (float& v : x) v = uniform(rng);
    const std::vector<PitchPeak> records = analyse(*calc, x, 8192);
    ASSERT_GT(records.size(), 7u * 20u);
    std::vector<double> shares(7, 0.0);
    for (const PitchPeak& p : records) {
        EXPECT_GE(p.frequencyHz, kLowestFrequencyHz);
        EXPECT_LT(p.frequencyHz, kHighestFrequencyHz);
        EXPECT_GE(p.pitchCents, 2050);
        EXPECT_GT(p.peakContribution, 0.0f);
        ASSERT_LT(p.startIndex, 7u);
        shares[p.startIndex] += p.meanContribution;
    }
    for (double share : shares) EXPECT_LE(share, 1.0 + 1e-6);
}

}  // namespace
