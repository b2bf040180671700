// RhythmFeatureExtractor: turns a matrix of per-frame band values into one vector of rhythm
// features; and the scores and statistics it is built from.
#pragma once

#include <cstdint>

#include "kernels/kernel_buffer.h"
#include "qvt/base_vector.h"

namespace zqx::pulsegrid {

// The lag range of the periodicity profile, in frames.
struct RhythmLags {
    std::int32_t minLag;    // the fastest tempo's beat period
    std::int32_t maxLag;    // the slowest tempo's beat period, at most groupFrames
    std::int32_t lagCount;  // maxLag - minLag
};

// minLag = trunc(60 / hiBPM / framePeriod), maxLag likewise from loBPM and lowered to groupFrames.
// Evaluated in double with framePeriod as the float it is; since the float nearest 0.01 lies just
// below 0.01, whole tempo values give the integer quotients 6000 / bpm. The result is meaningful
// only for positive tempi (the module refuses the others).
RhythmLags rhythmLags(std::int32_t groupFrames, float framePeriod, float loBPM, float hiBPM);

// Computes the feature vector of one band matrix (rows: frames framePeriod apart, columns: bands).
// For B bands the vector holds B + 15 + lagCount values:
//   [0, B)          peakCorrelation of each band (smoothed, half-wave rectified)
//   B .. B+4        mean, sample standard deviation, normalizedCentroid, powerMeanContrast and
//                   rmsToPeak of the band scores
//   B+5 .. B+10     normalizedCentroid, powerMeanContrast, rmsToPeak, zeroFraction, mean and
//                   sample standard deviation of the periodicity profile
//   B+11 .. B+14    onset rates (strict local peaks of the log-envelope's slope per frame) above
//                   1, 2, 3 and 4 times onsetThresh
//   B+15 ..         the periodicity profile: the normalised autocorrelation of the onset
//                   envelope's first difference at lags minLag .. maxLag - 1, clipped at 0;
//                   lags at or beyond the input's row count are 0
// Each call depends on its input alone. Buffers persist between calls and grow only when a larger
// input needs it; scratch space comes from kernelAlloc and is released before the call returns.
// Kernel statuses are not examined: a statistic the kernels refuse (a length below their minimum)
// keeps the 0 prepared for it. One caller at a time.
class RhythmFeatureExtractor {
public:
    // Expects hanningLen >= 1 and a configuration with lagCount >= 1 and minLag >= 0; the module
    // refuses everything else before it gets here. Builds the Hann window of hanningLen values
    // (all ones when hanningLen is below 3, which the window kernel refuses).
    RhythmFeatureExtractor(std::int32_t groupFrames, std::int32_t hanningLen, float onsetThresh,
                           float framePeriod, float loBPM, float hiBPM);

    RhythmFeatureExtractor(const RhythmFeatureExtractor&) = delete;
    RhythmFeatureExtractor& operator=(const RhythmFeatureExtractor&) = delete;

    // `input` has at least one row and one column and is only read. Returns a new vector that the
    // caller owns.
    Vector<float> computeFeatures(const BaseMatrix<float>& input);

    std::int32_t groupFrames() const { return m_groupFrames; }
    float framePeriod() const { return m_framePeriod; }
    std::int32_t minLag() const { return m_lags.minLag; }
    std::int32_t maxLag() const { return m_lags.maxLag; }
    std::int32_t lagCount() const { return m_lags.lagCount; }
    // groupFrames until the first call, then the row count of the latest input.
    std::int32_t frameCount() const { return m_frameCount; }
    const float* hannWindow() const { return m_hannWindow.data(); }

private:
    void smoothBands();
    void scoreBands(std::int32_t bandCount);
    void computePeriodicityProfile();
    void computeOnsetRates();

    std::int32_t m_groupFrames;
    std::int32_t m_hanningLen;
    float m_onsetThresh;
    float m_framePeriod;
    RhythmLags m_lags;
    std::int32_t m_frameCount;

    Matrix<float> m_bandEnvelopes;  // row b: the time series of band b
    KernelBuffer m_hannWindow;
    KernelBuffer m_onsetEnvelope;
    KernelBuffer m_bandWork;
    KernelBuffer m_autoCorrelation;
    KernelBuffer m_periodicityProfile;
    KernelBuffer m_bandScores;  // B scores, then their five statistics
    KernelBuffer m_periodicityStats;
    KernelBuffer m_onsetRates;
    KernelBuffer m_result;
};

// The scores and statistics, on n floats at x. Results are floats; quotients and square roots are
// evaluated in double and rounded once. None keeps a pointer; scratch comes from kernelAlloc.

// Scales an autocorrelation (n lags) so that lag 0 becomes 1, when lag 0 is positive; otherwise
// leaves it alone. Multiplies by the float 1 / lag 0, or divides by lag 0 when that reciprocal
// overflows (a subnormal lag 0).
void normalizeToLagZero(float* lags, std::int32_t n);
// Onset counting on the slope g of the log-envelope (n + 1 values for an envelope of n frames):
// counts[k - 1] = the number of strict local maxima g[t], t = 2 .. n - 2, with k * onsetThresh < g[t]
// (the product exact in double), for k = 1 .. 4. No t at all when n <= 3.
void countOnsetPeaks(const float* g, std::int32_t n, float onsetThresh, float* counts);
// Correlation of x[1 .. n-1] with the same stretch of its rectified negative second difference
// 2x[i] - x[i-1] - x[i+1] (x taken as 0 outside 0 .. n-1); a negative correlation gives 0, and so
// does n < 3 (nothing to correlate).
float peakCorrelation(const float* x, std::int32_t n);
// Pearson correlation of a and b (m values each); 0 when m <= 0 or either is constant.
float pearsonCorrelation(const float* a, const float* b, std::int32_t m);
// Centre of mass of x on the positions 1 .. n, divided by n; x is normalised to sum 1 when its sum
// is positive. 0 when n <= 0.
float normalizedCentroid(const float* x, std::int32_t n);
// 1 - mean(sqrt x)^2 / sqrt(mean(x^2)), for x >= 0; 0 when mean(x^2) is 0 or n <= 0.
float powerMeanContrast(const float* x, std::int32_t n);
// sqrt(mean(x^2)) / max(x); 0 when the maximum is not positive or n <= 0.
float rmsToPeak(const float* x, std::int32_t n);
// The share of x equal to zero (either sign); 0 when n <= 0.
float zeroFraction(const float* x, std::int32_t n);

}  // namespace zqx::pulsegrid
