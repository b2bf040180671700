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
#include <string>
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

// The chroma module's fold: class 0 is C.
int pitchClass(std::int32_t cents) { return ((cents + 350) % 1200) / 100; }

// Class sums of both halves over every block of `signal` (blocks of 4096 at 44.1 kHz).
struct ClassSums {
    double peak[12] = {};
    double mean[12] = {};
};
ClassSums foldBlocks(const std::vector<float>& signal) {
    CalcPtr calc = makeCalc(44100);
    ClassSums sums;
    if (!calc) return sums;
    for (std::size_t at = 0; at + 4096 <= signal.size(); at += 4096) {
        handOver(*calc, signal.data() + at, 4096);
        for (const PitchPeak& p : readRecords(*calc)) {
            sums.peak[pitchClass(p.pitchCents)] += p.peakContribution;
            sums.mean[pitchClass(p.pitchCents)] += p.meanContribution;
        }
    }
    return sums;
}

// Largest departure of a class from the mean of the twelve.
double classSpread(const double (&sums)[12]) {
    double mean = 0.0;
    for (double v : sums) mean += v / 12.0;
    double spread = 0.0;
    for (double v : sums) spread = std::max(spread, std::abs(v / mean - 1.0));
    return spread;
}

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
// band edges (a quarter tone from the notes, so edge notes are included), at 44.1 kHz and, for
// the top and bottom notes of the levels read from decimated copies, at every rate class (each
// reads its levels at its own decimation, so the tops of the bands meet the filters' passband
// edges differently). Tolerances: the Hann neighbour ratio gives a lone tone's offset exactly;
// what is left is the leakage of its image below 0 Hz (C1 sits 6 bins up in the 8B window), the
// filters' ripple (1e-5) and float rounding, well under 3 cents.
TEST(PitchCalc, ToneIsReportedWithinAFewCentsAtEveryLevel) {
    struct Case {
        int rate;
        double hz;
    };
    std::vector<Case> cases = {{44100, 32.70},  {44100, 41.20},   {44100, 65.41},   {44100, 123.47},
                               {44100, 130.81}, {44100, 246.94},  {44100, 261.63},  {44100, 440.00},
                               {44100, 493.88}, {44100, 523.25},  {44100, 987.77},  {44100, 1046.50},
                               {44100, 1500.00}, {44100, 3951.07}, {48000, 77.78},  {22050, 3520.00}};
    for (const int rate : {8000, 11025, 16000, 22050, 32000, 48000, 96000, 192000}) {
        for (const double hz : {65.41, 246.94, 493.88, 523.25, 987.77}) cases.push_back({rate, hz});
    }
    for (const auto& c : cases) {
        CalcPtr calc = makeCalc(c.rate);
        ASSERT_TRUE(calc);
        const std::size_t blockSamples = 8 * calc->getBlockLength();
        const std::vector<float> x = zqx::test::sineTone(c.hz, 0.5, c.rate, 6 * blockSamples);
        const std::vector<PitchPeak> records = analyse(*calc, x, blockSamples);
        ASSERT_FALSE(records.empty()) << c.rate << " Hz rate, tone " << c.hz;
        const PitchPeak& top = strongest(records);
        EXPECT_NEAR(top.pitchCents, expectedCents(c.hz), 3.0) << c.rate << " Hz rate, tone " << c.hz;
        EXPECT_NEAR(top.frequencyHz, c.hz, c.hz * 0.002) << c.rate << " Hz rate, tone " << c.hz;
        EXPECT_NEAR(top.peakContribution, 0.5, 0.025) << c.rate << " Hz rate, tone " << c.hz;
        // Within 2 bins of a band edge part of the lobe lies in the next band (0.86 at 123.47 Hz).
        EXPECT_GT(top.meanContribution, 0.8f) << c.rate << " Hz rate, tone " << c.hz;
        EXPECT_LE(top.meanContribution, 1.0f) << c.rate << " Hz rate, tone " << c.hz;
    }
}

// Two notes a semitone apart in octave 4 are told apart (the longest window, 8B: 15.5 Hz apart
// is 2.9 bins), and so are two in octave 6 (the shortest).
TEST(PitchCalc, NeighbouringSemitonesAreSeparatePeaks) {
    for (const auto& pair : {std::pair<double, double>{261.63, 277.18}, std::pair<double, double>{1046.50, 1108.73}}) {
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

// Notes that change every two blocks, over more blocks than the history buffers hold before
// their newest samples move back to the front. The last start of each block sees, in its longest
// window (8B, two blocks), the notes of this pair and, in a pair's first block, of the one before;
// a pair's second block finds its own notes. Nothing of the other pairs may show: catches a
// history, or a decimated copy of it, that loses its place when its samples move.
TEST(PitchCalc, NotesAreFollowedAcrossAStreamOfChangingTones) {
    const double bass[] = {110.00, 146.83, 98.00, 130.81};
    const double treble[] = {880.00, 659.26, 783.99, 1046.50};
    for (const int rate : {44100, 16000}) {
        CalcPtr calc = makeCalc(rate);
        ASSERT_TRUE(calc);
        const std::size_t block = 4 * calc->getBlockLength();
        for (int pair = 0; pair < 24; ++pair) {
            const int n = pair % 4;
            std::vector<float> x = zqx::test::sineTone(bass[n], 0.3, rate, 2 * block);
            const std::vector<float> y = zqx::test::sineTone(treble[n], 0.2, rate, x.size());
            for (std::size_t i = 0; i < x.size(); ++i) x[i] += y[i];
            for (int half = 0; half < 2; ++half) {
                const std::uint32_t starts = handOver(*calc, x.data() + half * block, block);
                std::vector<PitchPeak> last;
                for (const PitchPeak& p : readRecords(*calc)) {
                    if (p.startIndex == starts - 1) last.push_back(p);
                }
                // Within `cents` of hz and stronger than `least`. A window across two pairs reads
                // their notes up to 25 cents off, so absence is checked within a quarter tone.
                const auto near = [&](double hz, double cents, float least) {
                    return std::any_of(last.begin(), last.end(), [&](const PitchPeak& p) {
                        return std::abs(p.pitchCents - expectedCents(hz)) <= cents && p.peakContribution > least;
                    });
                };
                const std::string where = std::to_string(rate) + " Hz rate, pair " + std::to_string(pair);
                if (half == 1) {
                    EXPECT_TRUE(near(bass[n], 3.0, 0.25f)) << where;
                    EXPECT_TRUE(near(treble[n], 3.0, 0.15f)) << where;
                }
                for (int other = 0; other < 4; ++other) {
                    if (other == n || (half == 0 && other == (pair + 3) % 4)) continue;
                    EXPECT_FALSE(near(bass[other], 50.0, 0.003f)) << where << ", bass of pair " << other;
                    EXPECT_FALSE(near(treble[other], 50.0, 0.002f)) << where << ", treble of pair " << other;
                }
            }
        }
    }
}

// The levels of the longer windows read copies at a quarter and an eighth of the rate: a
// full-scale tone above the analysed range, where it would fold onto 440 Hz (at an eighth of
// 44.1 kHz) or 800 Hz (at a quarter), leaves no record there. A filter 100 dB down would leave
// one above the -120 dB floor.
TEST(PitchCalc, ToneAboveTheRangeFoldsOntoNoLowerLevel) {
    const struct {
        double toneHz, foldHz;
    } cases[] = {{44100.0 / 8 - 440.0, 440.0}, {44100.0 / 4 - 800.0, 800.0}, {44100.0 / 8 + 300.0, 300.0}};
    for (const auto& c : cases) {
        CalcPtr calc = makeCalc(44100);
        ASSERT_TRUE(calc);
        const std::vector<float> x = zqx::test::sineTone(c.toneHz, 1.0, 44100, 12 * 4096);
        const std::vector<PitchPeak> records = analyse(*calc, x, 4096);
        for (const PitchPeak& p : records) {
            EXPECT_GT(std::abs(p.pitchCents - expectedCents(c.foldHz)), 50.0) << c.toneHz << " Hz read as " << p.frequencyHz;
        }
    }
}

// A note whose third harmonic (a fifth up) is stronger than itself, as in a clarinet's low
// register: half of each harmonic's strength also counts for the fundamental, so the note's own
// class leads. A chord tone that lies on a bass note's harmonic (G4 over C2, the sixth harmonic
// within 2 cents) keeps its whole strength in its own class.
TEST(PitchCalc, HarmonicsAlsoCountForTheirFundamental) {
    const struct {
        double lowHz, lowAmplitude, highHz, highAmplitude;
        int lowClass, highClass;
    } cases[] = {{196.00, 0.2, 588.00, 0.3, 7, 2},    // G3 and its third harmonic (D)
                 {65.41, 0.2, 392.00, 0.3, 0, 7},     // C2 under G4
                 {110.00, 0.3, 550.00, 0.2, 9, 1}};   // A2 and its fifth harmonic (C#)
    for (const auto& c : cases) {
        std::vector<float> x = zqx::test::sineTone(c.lowHz, c.lowAmplitude, 44100, 12 * 4096);
        const std::vector<float> y = zqx::test::sineTone(c.highHz, c.highAmplitude, 44100, x.size());
        for (std::size_t i = 0; i < x.size(); ++i) x[i] += y[i];
        CalcPtr calc = makeCalc(44100);
        ASSERT_TRUE(calc);
        const std::vector<PitchPeak> records = analyse(*calc, x, 4096);
        double low = 0.0, high = 0.0;
        for (const PitchPeak& p : records) {
            if (p.startIndex != 0) continue;
            if (pitchClass(p.pitchCents) == c.lowClass) low += p.peakContribution;
            if (pitchClass(p.pitchCents) == c.highClass) high += p.peakContribution;
        }
        EXPECT_NEAR(high, c.highAmplitude, 0.05 * c.highAmplitude) << c.highHz;
        EXPECT_NEAR(low, c.lowAmplitude + 0.5 * c.highAmplitude, 0.05 * c.highAmplitude) << c.lowHz;
        EXPECT_GT(low, high) << c.lowHz;
    }
}

// White and pink noise favour no pitch class: every class within 12 % of the mean
// of the twelve over 200 blocks (18.6 s); 10 % is the aim, the rest allows for the scatter of so
// short a signal. Before whitening and density weighting, white noise read C at 0.75 and B at
// 1.35 of the mean.
TEST(PitchCalc, NoiseFavoursNoPitchClass) {
    const std::vector<float> white = zqx::test::uniformNoise(200 * 4096, 11);
    // Pink by Paul Kellet's economy filter on the white noise (within 0.5 dB of -3 dB per octave).
    std::vector<float> pink(white.size());
    double b0 = 0.0, b1 = 0.0, b2 = 0.0;
    for (std::size_t i = 0; i < white.size(); ++i) {
        b0 = 0.99765 * b0 + white[i] * 0.0990460;
        b1 = 0.96300 * b1 + white[i] * 0.2965164;
        b2 = 0.57000 * b2 + white[i] * 1.0526913;
        pink[i] = static_cast<float>(0.1 * (b0 + b1 + b2 + white[i] * 0.1848));
    }
    const std::pair<const char*, const std::vector<float>*> signals[] = {{"white", &white}, {"pink", &pink}};
    for (const auto& [name, signal] : signals) {
        const ClassSums sums = foldBlocks(*signal);
        EXPECT_LT(classSpread(sums.peak), 0.12) << name;
        EXPECT_LT(classSpread(sums.mean), 0.12) << name;
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
