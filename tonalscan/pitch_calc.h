// tonalscan: multi-resolution FFT pitch analysis of a mono sample stream. The public interface:
// the analysis object CPitchCalc, the PitchPeak record it reports, and the two exported functions
// that create and release it.
//
// Lifecycle of one analysis object:
//   1. InitPitchCalc(calc, samplingRate) creates it; getBlockLength() gives the hop B.
//   2. The caller hands over the starts of a block with processBlock(p), p, p + B, p + 2B, ...;
//      each call reads the 2B samples p[0 .. 2B-1], during the call only.
//   3. getPeakCount() and getPeak(i, &record) offer the records of the starts handed over since the
//      records were last read; the first processBlock after a read starts a fresh list.
//   4. DestroyPitchCalc(calc) releases it. Never delete the object yourself.
// One object is driven by one thread at a time; separate objects share nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#if defined(TONALSCAN_BUILDING)
#define TONALSCAN_EXPORT extern "C" __declspec(dllexport)
#else
#define TONALSCAN_EXPORT extern "C" __declspec(dllimport)
#endif
#else
#define TONALSCAN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// One pitched component found at one start. Pitches are in cents above the fixed zero point
// kPitchZeroHz (1200 per octave), so every reported pitchCents is positive; the chroma fold
// ((cents + 350) mod 1200) / 100 then gives pitch class 0 for C and 9 for A.
struct PitchPeak {
    // Index of the start, counted from the first start of the current list, that found the peak.
    std::uint32_t startIndex;
    // Peak strength: the amplitude of the sinusoid that the peak stands for (a full-scale sine of
    // amplitude 1 gives about 1), read from the interpolated spectral peak. A peak that does not
    // rise above the local noise floor is whitened instead, and a harmonic's second record (at its
    // fundamental's pitch) carries half of it; the README gives the rules.
    float peakContribution;
    // The peak's share (0..1) of the energy of everything that start analysed.
    float meanContribution;
    // Interpolated frequency in Hz.
    float frequencyHz;
    // Rounded 1200 * log2(frequencyHz / kPitchZeroHz).
    std::int32_t pitchCents;
};
static_assert(sizeof(PitchPeak) == 20, "PitchPeak is a 20-byte record");
static_assert(offsetof(PitchPeak, peakContribution) == 4, "peakContribution at byte 4");
static_assert(offsetof(PitchPeak, meanContribution) == 8, "meanContribution at byte 8");
static_assert(offsetof(PitchPeak, pitchCents) == 16, "pitchCents at byte 16");

// The zero point of pitchCents: the E-flat five octaves below E-flat 4 (MIDI note 3), 9.72 Hz,
// far below the lowest frequency analysed.
inline constexpr double kPitchZeroHz = 9.722718241315029;
// Range of the reported frequencies, in Hz: from a quarter tone below C1 (2050 cents) up to a
// quarter tone below C8 (10450 cents) or 0.45 times the sampling rate, whichever is lower. Whole
// octaves from C to C, so every pitch class is analysed over the same number of octaves.
inline constexpr double kLowestFrequencyHz = 31.77219916398751;
inline constexpr double kHighestFrequencyHz = 4066.841608677614;

// The analysis object. Only tonalscan creates and destroys it; the caller uses the four operations.
class CPitchCalc {
public:
    // Hop B in samples; processBlock reads 2B samples. At least 1, fixed for the object's life.
    virtual std::uint32_t getBlockLength() = 0;
    // Analyses the 2B samples at `samples` as the next start. Not null; read during the call only.
    virtual void processBlock(const float* samples) = 0;
    // Number of records offered (those of the starts since the last read).
    virtual std::uint32_t getPeakCount() = 0;
    // Copies record `index` (< getPeakCount()) to *peak; an index out of range or a null `peak`
    // leaves *peak untouched.
    virtual void getPeak(std::uint32_t index, PitchPeak* peak) = 0;
    virtual ~CPitchCalc() = default;
};

// Creates an analysis object for `samplingRate` Hz into `calc`. False, with `calc` untouched, when
// the rate is outside 8000..192000 Hz or memory runs out. Never throws.
TONALSCAN_EXPORT bool InitPitchCalc(CPitchCalc*& calc, int samplingRate);
// Releases an object made by InitPitchCalc. False for null. Never throws.
TONALSCAN_EXPORT bool DestroyPitchCalc(CPitchCalc* calc);
