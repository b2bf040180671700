// MRFFT mode of the chroma module: handing a block's starts to the multi-resolution pitch library
// (tonalscan) and folding the pitches it reports into the twelve pitch classes.
#pragma once

#include <cstdint>

class CPitchCalc;

namespace zqx::tonewheel {

// How a module creates and releases its CPitchCalc: tonalscan's two functions, or a test's own.
struct PitchCalcBinding {
    bool (*init)(CPitchCalc*& calc, int samplingRate);
    bool (*destroy)(CPitchCalc* calc);
};

// InitPitchCalc and DestroyPitchCalc of tonalscan.
const PitchCalcBinding& tonalscanBinding();

// Calls calc.processBlock at samples + o for o = 0, B, 2B, ... (B = blockLength >= 1) as long as
// the 2B samples that a start reads lie inside the n samples; returns how many starts were handed
// over. A block of kB samples gives the k - 1 starts 0 .. (k - 2)B; a block shorter than 2B none.
std::uint32_t handOverBlockStarts(CPitchCalc& calc, const float* samples, std::uint32_t n,
                                  std::uint32_t blockLength);

// The pitch class of a pitch in cents: r = (cents + 350) rem 1200, then r / 100, both truncating
// toward zero, in 64-bit so that no cents value overflows. Non-negative sums give the nearest
// semitone after a shift of 300 cents (0 -> 3, 850 -> 0, 849 -> 11); negative ones give -11..0,
// and a negative result means "no class".
int pitchClassOfCents(std::int32_t cents);

// Reads the records that calc offers, asking getPeakCount before each, and adds the peak and mean
// contributions of each record to peakChroma and meanChroma (12 floats each) at its pitch class;
// records without a class are skipped.
void foldPitchRecords(CPitchCalc& calc, float* peakChroma, float* meanChroma);

}  // namespace zqx::tonewheel
