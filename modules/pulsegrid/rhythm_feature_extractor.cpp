// Rhythm features of a band matrix: Hann smoothing, band scores, periodicity profile, onset rates.
//
// Kernel statuses are dropped on purpose throughout: every statistic is prepared as 0 beforehand,
// so a kernel that refuses a length (a single band score, a one-frame series) leaves that 0.
#include "modules/pulsegrid/rhythm_feature_extractor.h"

#include <algorithm>
#include <cmath>

#include "kernels/convolution.h"
#include "kernels/elementwise.h"
#include "kernels/hann_window.h"
#include "kernels/reductions.h"

namespace zqx::pulsegrid {

namespace {

// First difference e[t] - e[t-1] as a convolution kernel.
const float kFirstDifference[2] = {1.0f, -1.0f};
// Negative second difference 2x[t] - x[t-1] - x[t+1].
const float kNegativeSecondDifference[3] = {-1.0f, 2.0f, -1.0f};
// Keeps the logarithm of a silent envelope finite.
constexpr float kLogFloor = 0.00001f;
// Hint argument of the reductions; it selects nothing.
constexpr int kHint = 1;

float meanSquare(const float* x, std::int32_t n) {
    KernelBuffer squares(n);
    (void)vecSqr(x, squares.data(), n);
    float result = 0.0f;
    (void)vecMean(squares.data(), n, &result, kHint);
    return result;
}

}  // namespace

RhythmLags rhythmLags(std::int32_t groupFrames, float framePeriod, float loBPM, float hiBPM) {
    const double framesPerSecond = 1.0 / static_cast<double>(framePeriod);
    RhythmLags lags{};
    lags.minLag = static_cast<std::int32_t>((60.0 / static_cast<double>(hiBPM)) * framesPerSecond);
    lags.maxLag = static_cast<std::int32_t>((60.0 / static_cast<double>(loBPM)) * framesPerSecond);
    if (lags.maxLag > groupFrames) lags.maxLag = groupFrames;
    lags.lagCount = lags.maxLag - lags.minLag;
    return lags;
}

RhythmFeatureExtractor::RhythmFeatureExtractor(std::int32_t groupFrames, std::int32_t hanningLen,
                                               float onsetThresh, float framePeriod, float loBPM,
                                               float hiBPM)
    : m_groupFrames(groupFrames),
      m_hanningLen(hanningLen),
      m_onsetThresh(onsetThresh),
      m_framePeriod(framePeriod),
      m_lags(rhythmLags(groupFrames, framePeriod, loBPM, hiBPM)),
      m_frameCount(groupFrames),
      m_hannWindow(hanningLen),
      m_periodicityProfile(m_lags.lagCount),
      m_periodicityStats(6),
      m_onsetRates(4) {
    (void)vecSet(1.0f, m_hannWindow.data(), m_hanningLen);
    // Below three values the window kernel refuses and the window stays all ones.
    (void)windowHannInPlace(m_hannWindow.data(), m_hanningLen);
}

Vector<float> RhythmFeatureExtractor::computeFeatures(const BaseMatrix<float>& input) {
    m_bandEnvelopes = input;
    m_frameCount = static_cast<std::int32_t>(input.rows);
    const auto bandCount = static_cast<std::int32_t>(input.cols);

    smoothBands();
    scoreBands(bandCount);
    computePeriodicityProfile();

    // Statistics of the profile, in result order.
    const std::int32_t lagCount = m_lags.lagCount;
    const float* profile = m_periodicityProfile.data();
    float* stats = m_periodicityStats.data();
    (void)vecZero(stats, 6);
    stats[0] = normalizedCentroid(profile, lagCount);
    stats[1] = powerMeanContrast(profile, lagCount);
    stats[2] = rmsToPeak(profile, lagCount);
    stats[3] = zeroFraction(profile, lagCount);
    (void)vecMean(profile, lagCount, &stats[4], kHint);
    (void)vecStdDev(profile, lagCount, &stats[5], kHint);

    computeOnsetRates();

    const std::int64_t resultCount = static_cast<std::int64_t>(bandCount) + 15 + lagCount;
    m_result.reserve(resultCount);
    float* out = m_result.data();
    (void)vecCopy(m_bandScores.data(), out, bandCount + 5);
    out += bandCount + 5;
    (void)vecCopy(stats, out, 6);
    out += 6;
    (void)vecCopy(m_onsetRates.data(), out, 4);
    out += 4;
    (void)vecCopy(profile, out, lagCount);
    return Vector<float>(BaseVector<float>(m_result.data(), static_cast<std::uint32_t>(resultCount)));
}

// Transposes the copied input so that each band's time series is one contiguous row, then smooths
// every row with the Hann window, centred by the offset h = hanningLen / 2.
void RhythmFeatureExtractor::smoothBands() {
    m_bandEnvelopes = Matrix<float>::transpose(m_bandEnvelopes);
    const std::int32_t n = m_frameCount;
    const std::int32_t h = m_hanningLen / 2;
    KernelBuffer smoothed(static_cast<std::int64_t>(n) + m_hanningLen);
    (void)vecZero(smoothed.data(), n + m_hanningLen);
    for (std::uint32_t b = 0; b < m_bandEnvelopes.rows; ++b) {
        float* band = m_bandEnvelopes.row(b).data;
        (void)convolve(band, n, m_hannWindow.data(), m_hanningLen, smoothed.data());
        (void)vecCopy(smoothed.data() + h, band, n);
    }
}

// Scores every rectified band and sums the bands, each scaled to a peak equal to its score, into
// the onset envelope; then appends the five statistics of the scores.
void RhythmFeatureExtractor::scoreBands(std::int32_t bandCount) {
    const std::int32_t n = m_frameCount;
    m_onsetEnvelope.reserve(n);
    m_bandWork.reserve(n);
    m_bandScores.reserve(static_cast<std::int64_t>(bandCount) + 5);
    float* envelope = m_onsetEnvelope.data();
    float* y = m_bandWork.data();
    float* scores = m_bandScores.data();
    (void)vecZero(envelope, n);

    for (std::int32_t b = 0; b < bandCount; ++b) {
        (void)vecCopy(m_bandEnvelopes.row(static_cast<std::uint32_t>(b)).data, y, n);
        (void)vecThreshold(y, n, 0.0f, kThresholdLessThan);
        const float score = peakCorrelation(y, n);
        scores[b] = score;
        float peak = 0.0f;
        (void)vecMax(y, n, &peak);
        if (peak > 0.0f) {
            (void)vecScaleInPlace(score / peak, y, n);
            (void)vecAddInPlace(y, envelope, n);
        }
    }

    float* stats = scores + bandCount;
    (void)vecZero(stats, 5);
    (void)vecMean(scores, bandCount, &stats[0], kHint);
    (void)vecStdDev(scores, bandCount, &stats[1], kHint);
    stats[2] = normalizedCentroid(scores, bandCount);
    stats[3] = powerMeanContrast(scores, bandCount);
    stats[4] = rmsToPeak(scores, bandCount);
}

// Autocorrelation of the envelope's first difference, normalised to lag 0, sliced to the tempo
// range and clipped at 0.
void RhythmFeatureExtractor::computePeriodicityProfile() {
    const std::int32_t n = m_frameCount;
    KernelBuffer difference(static_cast<std::int64_t>(n) + 1);
    (void)convolve(m_onsetEnvelope.data(), n, kFirstDifference, 2, difference.data());
    // difference[0] is the envelope's first value itself, not a change; it is left out.
    m_autoCorrelation.reserve(n);
    float* lags = m_autoCorrelation.data();
    (void)autoCorrelate(difference.data() + 1, n, lags, n);

    normalizeToLagZero(lags, n);

    // Lags at or beyond the row count have no terms: their sum is 0.
    const std::int32_t lagCount = m_lags.lagCount;
    const std::int32_t available = std::max(0, std::min(lagCount, n - m_lags.minLag));
    float* profile = m_periodicityProfile.data();
    if (available > 0) (void)vecCopy(lags + m_lags.minLag, profile, available);
    if (available < lagCount) (void)vecZero(profile + available, lagCount - available);
    (void)vecThreshold(profile, lagCount, 0.0f, kThresholdLessThan);
}

// Counts strict local maxima of the log-envelope's slope above 1, 2, 3 and 4 times onsetThresh,
// per frame. Consumes the onset envelope.
void RhythmFeatureExtractor::computeOnsetRates() {
    const std::int32_t n = m_frameCount;
    float* envelope = m_onsetEnvelope.data();
    (void)vecAddConstInPlace(kLogFloor, envelope, n);
    KernelBuffer logEnvelope(n);
    (void)vecLn(envelope, logEnvelope.data(), n);
    KernelBuffer slope(static_cast<std::int64_t>(n) + 1);
    (void)convolve(logEnvelope.data(), n, kFirstDifference, 2, slope.data());
    float* rates = m_onsetRates.data();
    countOnsetPeaks(slope.data(), n, m_onsetThresh, rates);
    (void)vecDivConstInPlace(static_cast<float>(n), rates, 4);
}

void normalizeToLagZero(float* lags, std::int32_t n) {
    if (n < 1) return;
    const float lagZero = lags[0];
    if (!(lagZero > 0.0f)) return;
    const float reciprocal = 1.0f / lagZero;
    if (std::isfinite(reciprocal)) {
        (void)vecScaleInPlace(reciprocal, lags, n);
        return;
    }
    // A subnormal lag 0 (near silence) overflows the reciprocal; dividing keeps every lag finite,
    // since no lag of an autocorrelation exceeds lag 0 in magnitude.
    for (std::int32_t k = 0; k < n; ++k) lags[k] = static_cast<float>(static_cast<double>(lags[k]) / lagZero);
}

void countOnsetPeaks(const float* g, std::int32_t n, float onsetThresh, float* counts) {
    std::int32_t found[4] = {0, 0, 0, 0};
    for (std::int32_t t = 2; t <= n - 2; ++t) {
        if (!(g[t - 1] < g[t] && g[t + 1] < g[t])) continue;
        // k * onsetThresh is exact in double, so a peak equal to the float product is not counted
        // by accident of rounding.
        for (int k = 1; k <= 4; ++k)
            if (static_cast<double>(k) * static_cast<double>(onsetThresh) < static_cast<double>(g[t]))
                ++found[k - 1];
    }
    for (int k = 0; k < 4; ++k) counts[k] = static_cast<float>(found[k]);
}

float peakCorrelation(const float* x, std::int32_t n) {
    if (n < 1) return 0.0f;
    KernelBuffer curvature(static_cast<std::int64_t>(n) + 2);
    (void)convolve(x, n, kNegativeSecondDifference, 3, curvature.data());
    // Element i + 1 of the full convolution is centred on x[i].
    float* y = curvature.data() + 1;
    (void)vecThreshold(y, n, 0.0f, kThresholdLessThan);
    const float r = pearsonCorrelation(x + 1, y + 1, n - 1);
    return r < 0.0f ? 0.0f : r;
}

float pearsonCorrelation(const float* a, const float* b, std::int32_t m) {
    if (m <= 0) return 0.0f;
    float meanA = 0.0f;
    float meanB = 0.0f;
    (void)vecMean(a, m, &meanA, kHint);
    (void)vecMean(b, m, &meanB, kHint);
    KernelBuffer centredA(m);
    KernelBuffer centredB(m);
    KernelBuffer products(m);
    (void)vecSubConst(a, meanA, centredA.data(), m);
    (void)vecSubConst(b, meanB, centredB.data(), m);
    (void)vecMul(centredA.data(), centredB.data(), products.data(), m);
    float sab = 0.0f;
    float saa = 0.0f;
    float sbb = 0.0f;
    (void)vecSum(products.data(), m, &sab, kHint);
    (void)vecSqrInPlace(centredA.data(), m);
    (void)vecSum(centredA.data(), m, &saa, kHint);
    (void)vecSqrInPlace(centredB.data(), m);
    (void)vecSum(centredB.data(), m, &sbb, kHint);
    if (!(saa > 0.0f && sbb > 0.0f)) return 0.0f;
    return static_cast<float>(sab / std::sqrt(static_cast<double>(sbb) * saa));
}

float normalizedCentroid(const float* x, std::int32_t n) {
    if (n <= 0) return 0.0f;
    float sum = 0.0f;
    (void)vecSum(x, n, &sum, kHint);
    KernelBuffer weighted(n);
    if (sum > 0.0f)
        (void)vecDivConst(x, sum, weighted.data(), n);
    else
        (void)vecCopy(x, weighted.data(), n);
    KernelBuffer positions(n);
    (void)vecRamp(positions.data(), n, 1.0f, 1.0f);
    (void)vecMulInPlace(positions.data(), weighted.data(), n);
    float moment = 0.0f;
    (void)vecSum(weighted.data(), n, &moment, kHint);
    return static_cast<float>(static_cast<double>(moment) / n);
}

float powerMeanContrast(const float* x, std::int32_t n) {
    if (n <= 0) return 0.0f;
    const float power = meanSquare(x, n);
    if (!(power > 0.0f)) return 0.0f;
    KernelBuffer roots(n);
    (void)vecSqrt(x, roots.data(), n);
    float rootMean = 0.0f;
    (void)vecMean(roots.data(), n, &rootMean, kHint);
    const double r = rootMean;
    return static_cast<float>(1.0 - r * r / std::sqrt(static_cast<double>(power)));
}

float rmsToPeak(const float* x, std::int32_t n) {
    if (n <= 0) return 0.0f;
    float peak = 0.0f;
    (void)vecMax(x, n, &peak);
    if (!(peak > 0.0f)) return 0.0f;
    return static_cast<float>(std::sqrt(static_cast<double>(meanSquare(x, n))) / peak);
}

float zeroFraction(const float* x, std::int32_t n) {
    if (n <= 0) return 0.0f;
    std::int64_t zeros = 0;
    for (std::int32_t i = 0; i < n; ++i)
        if (x[i] == 0.0f) ++zeros;
    return static_cast<float>(static_cast<double>(zeros) / n);
}

}  // namespace zqx::pulsegrid
