// Tempo from the autocorrelation of the onset envelope.
//
// The envelope's slow level changes (a crescendo, a quiet passage) are removed with a 3 s moving
// mean, so the autocorrelation measures recurrence of onsets, not loudness. Each period between
// the tempo limits, on a grid of a tenth of a frame, is scored by its comb (its own peak, capped
// by the mean of the peaks at its first four multiples) times the tempo prior. A true beat recurs
// at all its multiples; a dotted or triplet relative, or the half period of a slow beat, misses
// some. Among a period and its half or third the prior decides only when the faster pulse is
// clearly weaker: an isochronous pulse at 240 BPM is 240 BPM, not 120. The click-train and
// accented-pulse cases of the summary tests pin these choices.
#include "summary/tempo_estimate.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace zqx::summary {

namespace {

constexpr int kCombMultiples = 4;
constexpr double kDetrendSeconds = 3.0;
constexpr std::size_t kMaxCandidates = 5;
constexpr double kGridStep = 0.1;
// Two periods closer than this (relative) are one metrical level.
constexpr double kSameLevel = 0.04;

class PeriodScorer {
public:
    PeriodScorer(std::vector<double> acf, double framePeriod, const TempoSettings& settings)
        : m_acf(std::move(acf)), m_framePeriod(framePeriod), m_settings(settings) {
        m_zeroMass = 1.0 + 2.0 * std::max(0.0, m_acf.size() > 1 ? m_acf[1] : 0.0);
    }

    double bpm(double period) const { return 60.0 / (period * m_framePeriod); }

    // The positive autocorrelation on the lag nearest `centre` and its two neighbours, relative to
    // the same sum at lag 0: a peak that falls between two lags keeps its whole height. -1 when
    // the lags do not reach.
    double mass(double centre) const {
        const long at = long(std::lround(centre)), last = long(m_acf.size()) - 1;
        if (at < 1 || at + 1 > last) return -1.0;
        double sum = 0.0;
        for (long j = at - 1; j <= at + 1; ++j) sum += std::max(0.0, m_acf[std::size_t(j)]);
        return sum / m_zeroMass;
    }

    // How strongly the onsets recur with this period: its own peak, but no more than the mean of
    // the peaks at its first multiples, so a period recurs only as well as its whole comb does.
    // A half period of a slow beat has a strong second multiple but no peak of its own; a dotted
    // or triplet relative misses some multiples.
    double comb(double period) const {
        const double own = mass(period);
        if (own <= 0.0) return 0.0;
        double sum = 0.0;
        int used = 0;
        for (int k = 1; k <= kCombMultiples; ++k) {
            const double value = mass(k * period);
            if (value < 0.0) break;
            sum += value;
            ++used;
        }
        return std::min(own, sum / used);
    }

    double prior(double period) const {
        const double octaves = std::log2(bpm(period) / m_settings.priorCentreBpm) / m_settings.priorWidthOctaves;
        return std::exp(-0.5 * octaves * octaves);
    }

    double score(double period) const { return comb(period) * prior(period); }

    // The period read from the autocorrelation peaks near its multiples, each located to a
    // fraction of a frame by a parabola through the peak and its neighbours; later multiples pin
    // the period more finely and weigh more.
    double refine(double period) const {
        const long last = long(m_acf.size()) - 1;
        double sum = 0.0, weight = 0.0;
        for (int k = 1; k <= kCombMultiples; ++k) {
            const long lo = std::max(1L, long(std::lround(k * (period - 1.0))));
            const long hi = std::min(last - 1, long(std::lround(k * (period + 1.0))));
            if (lo > hi) break;
            long peak = lo;
            for (long j = lo + 1; j <= hi; ++j)
                if (m_acf[std::size_t(j)] > m_acf[std::size_t(peak)]) peak = j;
            const double centre = m_acf[std::size_t(peak)];
            if (!(centre > 0.0)) continue;
            const double left = m_acf[std::size_t(peak - 1)], right = m_acf[std::size_t(peak + 1)];
            // Only a true local maximum is interpolated; an edge of the search range is not one.
            if (!(centre >= left && centre >= right)) continue;
            const double curvature = left - 2.0 * centre + right;
            const double offset = curvature < 0.0 ? std::clamp(0.5 * (left - right) / curvature, -0.5, 0.5) : 0.0;
            sum += k * centre * ((double(peak) + offset) / k);
            weight += k * centre;
        }
        return weight > 0.0 ? sum / weight : period;
    }

private:
    std::vector<double> m_acf;
    double m_framePeriod;
    const TempoSettings& m_settings;
    double m_zeroMass = 1.0;
};

struct Level {
    double period;  // frames, refined
    double score;   // comb times prior
};

bool sameLevel(double a, double b) { return std::fabs(a - b) <= kSameLevel * std::min(a, b); }

void checkSettings(double framePeriodSeconds, const TempoSettings& settings) {
    if (!(framePeriodSeconds > 0.0) || !std::isfinite(framePeriodSeconds))
        throw std::invalid_argument("tempo: the frame period must be a positive number of seconds");
    if (!(settings.minBpm > 0.0) || !(settings.maxBpm > settings.minBpm) || !std::isfinite(settings.maxBpm) ||
        !(settings.priorCentreBpm > 0.0) || !(settings.priorWidthOctaves > 0.0))
        throw std::invalid_argument("tempo: the tempo range and prior must be positive, the range increasing");
}

// The lags the tempo range needs: every multiple of the slowest period the comb looks at.
std::size_t lagsNeeded(double framePeriodSeconds, const TempoSettings& settings) {
    const double lagMax = std::ceil(60.0 / (settings.minBpm * framePeriodSeconds));
    return std::size_t(kCombMultiples * (lagMax + 1.0)) + 1;
}

}  // namespace

TempoTracker::TempoTracker(double framePeriodSeconds, const TempoSettings& settings)
    : m_framePeriod((checkSettings(framePeriodSeconds, settings), framePeriodSeconds)),
      m_settings(settings),
      m_autocorrelation(std::size_t(0.5 * kDetrendSeconds / framePeriodSeconds), lagsNeeded(framePeriodSeconds, settings)) {}

TempoEstimate estimateTempo(const float* onset, std::size_t frames, double framePeriodSeconds,
                            const TempoSettings& settings) {
    TempoTracker tracker(framePeriodSeconds, settings);
    if (onset != nullptr)
        for (std::size_t t = 0; t < frames; ++t) tracker.add(onset[t]);
    return tracker.estimate();
}

TempoEstimate TempoTracker::estimate() const {
    const TempoSettings& settings = m_settings;
    const double framePeriodSeconds = m_framePeriod;
    const std::size_t frames = m_autocorrelation.frames();
    TempoEstimate estimate;
    if (frames == 0) return estimate;

    const double lagMin = std::max(2.0, std::floor(60.0 / (settings.maxBpm * framePeriodSeconds)));
    const double lagMax = std::ceil(60.0 / (settings.minBpm * framePeriodSeconds));
    // Lags beyond half the stream rest on too few products to compare with the others.
    const std::size_t usable = frames / 2;
    if (double(usable) < lagMin + 1.0) return estimate;

    std::vector<double> acf = m_autocorrelation.normalised(std::min(usable, lagsNeeded(framePeriodSeconds, settings)));
    if (acf.empty()) return estimate;
    const PeriodScorer scorer(std::move(acf), framePeriodSeconds, settings);

    // Periods on a grid of a tenth of a frame, so that every multiple lands on its own lag.
    const double last = std::min(lagMax, double(usable) - 1.0);
    std::vector<double> periods, score;
    for (double p = lagMin; p <= last + 1e-9; p += kGridStep) {
        periods.push_back(p);
        score.push_back(scorer.score(p));
    }
    std::vector<Level> peaks;
    for (std::size_t i = 0; i < score.size(); ++i) {
        const double left = i > 0 ? score[i - 1] : 0.0, right = i + 1 < score.size() ? score[i + 1] : 0.0;
        if (score[i] > 0.0 && score[i] >= left && score[i] > right) peaks.push_back({scorer.refine(periods[i]), score[i]});
    }
    // Strongest first; a weaker peak at the period of a stronger one is the same level.
    std::sort(peaks.begin(), peaks.end(), [](const Level& a, const Level& b) { return a.score > b.score; });
    std::vector<Level> levels;
    for (const Level& peak : peaks)
        if (std::none_of(levels.begin(), levels.end(), [&](const Level& l) { return sameLevel(l.period, peak.period); }))
            levels.push_back(peak);
    if (levels.empty()) return estimate;

    // The faster relative of the winner replaces it when its pulse is as strong.
    Level chosen = levels.front();
    for (bool moved = true; moved;) {
        moved = false;
        for (int divisor : {2, 3}) {
            const double period = chosen.period / divisor;
            if (period < lagMin - 0.5) continue;
            if (scorer.mass(period) < settings.subdivisionRatio * scorer.mass(chosen.period)) continue;
            const auto it = std::find_if(levels.begin(), levels.end(),
                                         [&](const Level& l) { return sameLevel(l.period, period); });
            if (it != levels.end()) {
                chosen = *it;
            } else {
                const double refined = scorer.refine(period);
                levels.push_back({refined, scorer.score(refined)});
                chosen = levels.back();
            }
            moved = true;
            break;
        }
    }

    // At least three levels: the winner's metrical relatives fill in when the autocorrelation
    // shows fewer peaks.
    for (double factor : {2.0, 0.5, 3.0, 1.0 / 3.0}) {
        if (levels.size() >= 3) break;
        const double period = chosen.period * factor;
        if (period < lagMin - 0.5 || period > lagMax + 0.5) continue;
        if (std::any_of(levels.begin(), levels.end(), [&](const Level& l) { return sameLevel(l.period, period); }))
            continue;
        levels.push_back({period, scorer.score(period)});
    }

    double total = 0.0;
    for (const Level& level : levels) total += level.score;
    std::stable_sort(levels.begin(), levels.end(), [&](const Level& a, const Level& b) {
        const bool aChosen = sameLevel(a.period, chosen.period), bChosen = sameLevel(b.period, chosen.period);
        if (aChosen != bChosen) return aChosen;
        return a.score > b.score;
    });
    if (levels.size() > kMaxCandidates) levels.resize(kMaxCandidates);

    const double periodicity = scorer.comb(chosen.period);
    estimate.bpm = scorer.bpm(chosen.period);
    estimate.confidence = std::clamp(periodicity, 0.0, 1.0);
    estimate.steady = periodicity >= settings.steadyThreshold;
    for (const Level& level : levels)
        estimate.candidates.push_back({scorer.bpm(level.period), total > 0.0 ? level.score / total : 0.0});
    return estimate;
}

}  // namespace zqx::summary
