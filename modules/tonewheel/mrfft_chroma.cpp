// MRFFT mode of the chroma module: block starts, and the fold of reported pitches into classes.
#include "modules/tonewheel/mrfft_chroma.h"

#include "tonalscan/pitch_calc.h"

namespace zqx::tonewheel {

const PitchCalcBinding& tonalscanBinding() {
    static const PitchCalcBinding binding{&InitPitchCalc, &DestroyPitchCalc};
    return binding;
}

std::uint32_t handOverBlockStarts(CPitchCalc& calc, const float* samples, std::uint32_t n,
                                  std::uint32_t blockLength) {
    // Each start reads 2B samples, so the last start of a block is 2B before its end; in 64-bit,
    // so that neither a short block nor a large B wraps the bound.
    const std::uint64_t b = blockLength;
    std::uint32_t starts = 0;
    if (b == 0) return 0;
    for (std::uint64_t o = 0; o + 2 * b <= n; o += b, ++starts) calc.processBlock(samples + o);
    return starts;
}

int pitchClassOfCents(std::int32_t cents) {
    const std::int64_t shifted = std::int64_t{cents} + 350;
    return static_cast<int>((shifted % 1200) / 100);
}

void foldPitchRecords(CPitchCalc& calc, float* peakChroma, float* meanChroma) {
    PitchPeak record{};
    // The count is asked again before every record, as the library may offer more as it goes.
    for (std::uint32_t i = 0; i < calc.getPeakCount(); ++i) {
        calc.getPeak(i, &record);
        const int pitchClass = pitchClassOfCents(record.pitchCents);
        if (pitchClass < 0) continue;
        peakChroma[pitchClass] += record.peakContribution;
        meanChroma[pitchClass] += record.meanContribution;
    }
}

}  // namespace zqx::tonewheel
