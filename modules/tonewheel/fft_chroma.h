// The steps of FFT-mode chroma analysis: frame sizing, the per-bin tables (ear-transfer weights,
// bin-to-pitch-class map), harmonic summation, peak picking and sorting, and the folding of peaks
// and spectrum onto the twelve pitch classes. CChromaModule runs them in order on every block.
//
// Bins: for a frame of N samples the spectrum has M = N/2 bins, bin k standing for
// k * samplingRate / N Hz. Nothing here allocates except where a Vector is resized as stated.
#pragma once

#include <cstdint>
#include <vector>

#include "qvt/base_vector.h"

namespace zqx::tonewheel {

constexpr std::uint32_t kNumPitches = 480;
constexpr std::uint32_t kNumPitchClasses = 12;

// Equal-tempered pitch i has 8.175799 * 2^(i/12) Hz (pitch 69 is 440 Hz, pitch 60 middle C) and
// pitch class i mod 12, class 0 being C. Writes kNumPitches floats.
void fillPitchFrequencies(float* frequencies);

struct FrameSize {
    std::uint32_t frameLength;  // samples analysed: the largest power of two below n, 1 for n <= 2
    std::uint32_t fftOrder;     // log2(frameLength)
};
// The part of an n-sample block that is analysed: its leading frameLength samples.
FrameSize analysedFrameSize(std::uint32_t n);

// Hz per bin, samplingRate / frameLength rounded once to float.
float binWidthFor(std::uint32_t samplingRate, std::uint32_t frameLength);

// One weight per bin (frameLength/2 of them) into `weights`, resized to fit. With earTransfer,
// 10^(A(x)/10) of an outer-ear transfer curve A, x being twice the bin frequency in kHz, and 0 for
// bin 0; otherwise every weight is 1.
void computeEarWeights(bool earTransfer, std::uint32_t samplingRate, std::uint32_t frameLength,
                       Vector<float>& weights);

// Pitch class of the pitch nearest to each bin's frequency (frameLength/2 bins) into
// `binToPitchClass`, resized to fit; of two equally near pitches the lower wins. `pitchFrequencies`
// holds kNumPitches values.
void computeBinToPitchClass(const float* pitchFrequencies, float binWidth, std::uint32_t frameLength,
                            Vector<std::uint32_t>& binToPitchClass);

// Reinforces fundamentals in place: bins 50..399 each receive their harmonics 2..14 (those below
// `bins`) with weights 1 - (h/15)^2. Every harmonic read is a value from before the call.
void addHarmonics(float* magnitude, std::uint32_t bins);

// Peak candidates are the bins k with lo <= k < hi; hi <= lo means none. lo comes from loedge and
// hi from hiedge, and hi never exceeds bins - 1, so each candidate has two neighbours in range.
struct PeakSearchRange {
    std::uint32_t lo;
    std::uint32_t hi;
};
PeakSearchRange peakSearchRange(float binWidth, std::uint32_t loedge, std::uint32_t hiedge,
                                std::uint32_t bins);

// Strict local maxima above 0 among the candidates, in ascending bin order: their magnitudes into
// `peakValues` and their bins into `peakBins`, each with room for range.hi - range.lo entries.
// Returns how many peaks were written; allocates nothing.
std::uint32_t pickPeaks(const float* magnitude, PeakSearchRange range, float* peakValues,
                        std::uint32_t* peakBins);

// Sorts `peakValues` into descending order and applies the same permutation to `peakBins`
// (same size). The order of equal values is that of the quicksort in the implementation, which
// callers rely on; do not swap it for another sort.
void sortPeaksDescending(BaseVector<float>& peakValues, BaseVector<std::uint32_t>& peakBins);

// Adds the first min(numMaxima, peak count) sorted peaks to the class of their bin in
// `peakChroma` (kNumPitchClasses floats).
void foldPeaks(const BaseVector<float>& peakValues, const BaseVector<std::uint32_t>& peakBins,
               std::uint32_t numMaxima, const std::uint32_t* binToPitchClass, float* peakChroma);

// The same sums as sortPeaksDescending then foldPeaks, bit for bit, without sorting every peak when
// only the strongest min(numMaxima, count) are folded: which peaks make that cut is unique unless
// the weakest kept one ties with the strongest dropped one (then the quicksort decides, as above),
// and the order among the kept ones only matters per class, where equal values are the same
// float. `order` has room for count indices. May reorder peakValues and peakBins.
void foldStrongestPeaks(float* peakValues, std::uint32_t* peakBins, std::uint32_t count, std::uint32_t numMaxima,
                        const std::uint32_t* binToPitchClass, std::uint32_t* order, float* peakChroma);

// The bins of each pitch class in ascending order, interleaved so that the mean fold keeps twelve
// sums side by side in registers instead of scattering through memory: the j-th bin of class c at
// j * 12 + c. A class with fewer bins than the largest is padded with `bins`, the index of a slot
// that holds zero.
struct ClassBins {
    std::uint32_t bins = 0;                      // bins grouped (frameLength / 2)
    std::uint32_t rows = 0;                      // the largest class's bin count
    std::vector<std::uint32_t> interleaved;      // rows * kNumPitchClasses bin indices
    std::uint32_t count[kNumPitchClasses] = {};  // bins of each class
};
// Groups the `bins` entries of `binToPitchClass` (values below kNumPitchClasses) by class.
// Allocates `groups.interleaved`.
void groupBinsByClass(const std::uint32_t* binToPitchClass, std::uint32_t bins, ClassBins& groups);

// meanChroma[c] = mean over the bins of class c of earWeights[k] * magnitude[k], accumulated in
// float in ascending bin order; a class without bins gets 0. Writes kNumPitchClasses floats and
// the products into `weighted` (groups.bins + 1 floats, the last set to zero).
void foldMeanSpectrum(const float* magnitude, const float* earWeights, const ClassBins& groups, float* weighted,
                      float* meanChroma);

}  // namespace zqx::tonewheel
