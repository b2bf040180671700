// FFT-mode chroma analysis steps.
#include "modules/tonewheel/fft_chroma.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "kernels/elementwise.h"

namespace zqx::tonewheel {

namespace {

// The harmonic summation covers fixed bins, whatever the rate or frame length.
constexpr std::uint32_t kFirstFundamental = 50;
constexpr std::uint32_t kEndFundamental = 400;
constexpr std::uint32_t kFirstHarmonic = 2;
constexpr std::uint32_t kEndHarmonic = 15;

// g(h) = 1 - (h/15)^2 as the chroma definition fixes it: h = 2..9 are the float constants of its
// weight table; h = 10..14 are 1 - (h * 0.0666667f)^2 in double, where 0.0666667f is 1/15 written to
// seven digits and then rounded to float (0.0666666999, four float steps above 1/15's own float), so
// these five sit about 1e-6 below 1 - (h/15)^2. FftChroma.HarmonicWeights pins all thirteen floats.
constexpr double harmonicWeightFrom15th(int h) {
    const double x = h * static_cast<double>(0.0666667f);
    return 1.0 - x * x;
}
constexpr double kHarmonicWeight[kEndHarmonic] = {
    0.0, 0.0,
    0.9822222f, 0.96f, 0.9288889f, 0.8888889f, 0.84f, 0.7822222f, 0.71555555f, 0.64f,
    harmonicWeightFrom15th(10), harmonicWeightFrom15th(11), harmonicWeightFrom15th(12),
    harmonicWeightFrom15th(13), harmonicWeightFrom15th(14),
};

// Outer-ear transfer in dB at x = twice the frequency in kHz. The 1.82 (not 3.64) and the x scale
// (500, not 1000, in the caller) are part of the chroma definition: its reference weights at 44.1 kHz
// and 2048-sample frames (0.0055992 at bin 1, 0.44419 at bin 10, the maximum 3.69873 at bin 77,
// 0.26128 at bin 200) follow from them, and FftChroma.EarTransferWeights checks those.
double earTransferDb(double x) {
    const double d = x - 3.3;
    const double x2 = x * x;
    return 6.5 * std::exp(-0.6 * d * d) - 0.001 * x2 * x2 - 1.82 * std::pow(x, -0.8);
}

// Hoare-style quicksort into descending order; the exact pivot choice and scan rules decide where
// equal peaks end up, and the chroma output depends on that through numMaxima.
void quicksortDescending(float* values, std::uint32_t* bins, std::int64_t lo, std::int64_t hi) {
    for (;;) {
        const float pivot = values[(lo + hi) / 2];
        std::int64_t i = lo;
        std::int64_t j = hi;
        do {
            while (values[i] > pivot) ++i;
            while (values[j] < pivot) --j;
            if (i > j) break;
            std::swap(values[i], values[j]);
            std::swap(bins[i], bins[j]);
            ++i;
            --j;
        } while (i < j);
        if (lo < j) quicksortDescending(values, bins, lo, j);
        if (i >= hi) return;
        lo = i;
    }
}

}  // namespace

void fillPitchFrequencies(float* frequencies) {
    const double base = 8.175799f;
    const double semitone = 0.083333336f;
    for (std::uint32_t i = 0; i < kNumPitches; ++i)
        frequencies[i] = static_cast<float>(base * std::pow(2.0, i * semitone));
}

FrameSize analysedFrameSize(std::uint32_t n) {
    // 64 bits so that a block above 2^31 samples cannot wrap the doubling into an endless loop.
    std::uint64_t u = 2;
    std::uint32_t order = 0;
    while (u < n) {
        u *= 2;
        ++order;
    }
    return {static_cast<std::uint32_t>(u / 2), order};
}

float binWidthFor(std::uint32_t samplingRate, std::uint32_t frameLength) {
    return static_cast<float>(static_cast<double>(samplingRate) / static_cast<double>(frameLength));
}

void computeEarWeights(bool earTransfer, std::uint32_t samplingRate, std::uint32_t frameLength,
                       Vector<float>& weights) {
    const std::uint32_t bins = frameLength / 2;
    weights.setSize(bins);
    if (!earTransfer) {
        // An empty table (frame of one sample) is the only way this fails; nothing to fill then.
        (void)vecSet(1.0f, weights.data, static_cast<std::int32_t>(bins));
        return;
    }
    if (bins == 0) return;
    weights.data[0] = 0.0f;
    const double xPerBin = static_cast<double>(samplingRate) / (static_cast<double>(frameLength) * 500.0);
    for (std::uint32_t k = 1; k < bins; ++k)
        weights.data[k] = static_cast<float>(std::pow(10.0, 0.1 * earTransferDb(k * xPerBin)));
}

void computeBinToPitchClass(const float* pitchFrequencies, float binWidth, std::uint32_t frameLength,
                            Vector<std::uint32_t>& binToPitchClass) {
    const std::uint32_t bins = frameLength / 2;
    binToPitchClass.setSize(bins);
    // Far above any distance that occurs, so that pitch 0 is taken at the latest.
    const float initialDistance = static_cast<float>(10.0 * frameLength);
    for (std::uint32_t k = 0; k < bins; ++k) {
        const double f = static_cast<float>(static_cast<double>(k) * binWidth);
        float best = initialDistance;
        std::uint32_t nearest = 0;
        for (std::uint32_t i = 0; i < kNumPitches; ++i) {
            const double d = std::fabs(static_cast<double>(pitchFrequencies[i]) - f);
            // Strictly less: of two equally near pitches the lower keeps the bin. The running best
            // is a float, so distances that round alike count as equal.
            if (d < best) {
                best = static_cast<float>(d);
                nearest = i;
            }
        }
        binToPitchClass.data[k] = nearest % kNumPitchClasses;
    }
}

void addHarmonics(float* magnitude, std::uint32_t bins) {
    // Bins 100..399 are read as harmonics and also changed as fundamentals; every read must see the
    // value from before the call, so those are kept aside. Bins from 400 on never change.
    constexpr std::uint32_t kFirstRead = kFirstHarmonic * kFirstFundamental;
    float before[kEndFundamental - kFirstRead];
    for (std::uint32_t k = kFirstRead; k < kEndFundamental && k < bins; ++k) before[k - kFirstRead] = magnitude[k];
    // Harmonic after harmonic over all fundamentals: each bin still receives its terms in ascending
    // h, each added into the float bin and rounded there, but the fundamentals no longer wait for
    // one another.
    for (std::uint32_t h = kFirstHarmonic; h < kEndHarmonic; ++h) {
        const double weight = kHarmonicWeight[h];
        // Fundamentals b < end have h * b < bins; those below split read a bin below 400.
        const std::uint32_t end = std::min(kEndFundamental, (bins + h - 1) / h);
        const std::uint32_t split = std::min(end, (kEndFundamental + h - 1) / h);
        std::uint32_t b = kFirstFundamental;
        for (; b < split; ++b)
            magnitude[b] = static_cast<float>(magnitude[b] + weight * before[h * b - kFirstRead]);
        for (; b < end; ++b) magnitude[b] = static_cast<float>(magnitude[b] + weight * magnitude[h * b]);
    }
}

PeakSearchRange peakSearchRange(float binWidth, std::uint32_t loedge, std::uint32_t hiedge,
                                std::uint32_t bins) {
    // In double, so that an unset hiedge (4294967295 Hz) or a tiny frame cannot overflow or wrap.
    const double perHz = 1.0 / static_cast<double>(binWidth);
    const double lo = std::trunc(loedge * perHz + 1.0);
    const double hi = std::min(std::trunc(hiedge * perHz - 1.0), static_cast<double>(bins) - 1.0);
    if (!(hi > lo)) return {0, 0};
    return {static_cast<std::uint32_t>(lo), static_cast<std::uint32_t>(hi)};
}

std::uint32_t pickPeaks(const float* magnitude, PeakSearchRange range, float* peakValues,
                        std::uint32_t* peakBins) {
    // Every candidate is written and the count advanced only for peaks: no branch to mispredict on
    // the irregular pattern of peaks in a spectrum.
    std::uint32_t count = 0;
    for (std::uint32_t k = range.lo; k < range.hi; ++k) {
        const float m = magnitude[k];
        peakValues[count] = m;
        peakBins[count] = k;
        count += (magnitude[k - 1] < m) & (magnitude[k + 1] < m) & (m > 0.0f);
    }
    return count;
}

void sortPeaksDescending(BaseVector<float>& peakValues, BaseVector<std::uint32_t>& peakBins) {
    if (peakValues.size < 2) return;
    quicksortDescending(peakValues.data, peakBins.data, 0, static_cast<std::int64_t>(peakValues.size) - 1);
}

void foldPeaks(const BaseVector<float>& peakValues, const BaseVector<std::uint32_t>& peakBins,
               std::uint32_t numMaxima, const std::uint32_t* binToPitchClass, float* peakChroma) {
    const std::uint32_t top = std::min(numMaxima, peakValues.size);
    for (std::uint32_t j = 0; j < top; ++j) peakChroma[binToPitchClass[peakBins.data[j]]] += peakValues.data[j];
}

void foldStrongestPeaks(float* peakValues, std::uint32_t* peakBins, std::uint32_t count, std::uint32_t numMaxima,
                        const std::uint32_t* binToPitchClass, std::uint32_t* order, float* peakChroma) {
    const std::uint32_t top = std::min(numMaxima, count);
    if (top == 0) return;
    BaseVector<float> values(peakValues, count);
    BaseVector<std::uint32_t> bins(peakBins, count);
    if (top < count) {
        for (std::uint32_t i = 0; i < count; ++i) order[i] = i;
        const auto stronger = [peakValues](std::uint32_t a, std::uint32_t b) { return peakValues[a] > peakValues[b]; };
        std::nth_element(order, order + top, order + count, stronger);
        // The last of the kept ones in `stronger` order is the weakest; order[top] is the strongest
        // of the rest.
        const float weakestKept = peakValues[*std::max_element(order, order + top, stronger)];
        if (weakestKept != peakValues[order[top]]) {
            std::sort(order, order + top, stronger);
            for (std::uint32_t j = 0; j < top; ++j)
                peakChroma[binToPitchClass[peakBins[order[j]]]] += peakValues[order[j]];
            return;
        }
    }
    sortPeaksDescending(values, bins);
    foldPeaks(values, bins, numMaxima, binToPitchClass, peakChroma);
}

void groupBinsByClass(const std::uint32_t* binToPitchClass, std::uint32_t bins, ClassBins& groups) {
    groups.bins = bins;
    std::fill(groups.count, groups.count + kNumPitchClasses, 0u);
    for (std::uint32_t k = 0; k < bins; ++k) ++groups.count[binToPitchClass[k]];
    groups.rows = *std::max_element(groups.count, groups.count + kNumPitchClasses);
    groups.interleaved.assign(std::size_t{groups.rows} * kNumPitchClasses, bins);
    std::uint32_t seen[kNumPitchClasses] = {};
    for (std::uint32_t k = 0; k < bins; ++k) {
        const std::uint32_t c = binToPitchClass[k];
        groups.interleaved[std::size_t{seen[c]++} * kNumPitchClasses + c] = k;
    }
}

void foldMeanSpectrum(const float* magnitude, const float* earWeights, const ClassBins& groups, float* weighted,
                      float* meanChroma) {
    // A frame without bins is the only refusal; the zero slot is set either way.
    (void)vecMul(earWeights, magnitude, weighted, static_cast<std::int32_t>(groups.bins));
    weighted[groups.bins] = 0.0f;
    // Twelve float sums, each over its class's bins in ascending order. The padding adds +0, which
    // leaves every sum as it is: a sum starts at +0 and can never become -0 by adding.
    float sums[kNumPitchClasses] = {};
    const std::uint32_t* bins = groups.interleaved.data();
    for (std::uint32_t j = 0; j < groups.rows; ++j, bins += kNumPitchClasses) {
        for (std::uint32_t c = 0; c < kNumPitchClasses; ++c) sums[c] += weighted[bins[c]];
    }
    for (std::uint32_t c = 0; c < kNumPitchClasses; ++c) {
        if (groups.count[c] > 1) sums[c] *= static_cast<float>(1.0 / groups.count[c]);
        meanChroma[c] = sums[c];
    }
}

}  // namespace zqx::tonewheel
