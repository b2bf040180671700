// The tempo of a stream from its onset envelope (OnsetEnvelope): the beat rate in beats per
// minute, how sure the estimate is, the other metrical levels a listener might tap, and whether
// the stream has a steady beat at all.
#pragma once

#include <cstddef>
#include <vector>

#include "summary/onset_autocorrelation.h"

namespace zqx::summary {

struct TempoCandidate {
    double bpm = 0.0;
    double weight = 0.0;  // share of the evidence, 0..1; the weights of all candidates sum to at most 1
};

struct TempoEstimate {
    double bpm = 0.0;         // 0 when the stream has no periodicity to measure (silence, too short)
    double confidence = 0.0;  // 0..1: how periodic the onsets are at the chosen period
    std::vector<TempoCandidate> candidates;  // ranked, the chosen tempo first; empty when bpm is 0
    bool steady = false;      // false for speech, rubato and silence: no periodicity worth a tempo
};

struct TempoSettings {
    double minBpm = 40.0;   // slowest tempo reported
    double maxBpm = 240.0;  // fastest tempo reported
    // Preference among metrically related periods: a log-normal weight over tempo, centred where
    // listeners tap most readily, one octave wide.
    double priorCentreBpm = 120.0;
    double priorWidthOctaves = 1.0;
    // A slower level wins over its half or third only when that faster pulse is clearly weaker
    // (autocorrelation below this share of the slower level's).
    double subdivisionRatio = 0.9;
    // Periodicity at the chosen period (its comb, relative to the autocorrelation at lag 0) below
    // which the stream is not steady. Noise and speech measure 0.03 to 0.05 on the evaluation
    // set, music with soft onsets (sustained strings) 0.13 and up, music with attacks 0.5 and up.
    double steadyThreshold = 0.1;
};

// Estimates the tempo from `frames` onset-envelope values, one every `framePeriodSeconds`
// (finite, above 0; 0.01 for the host's band energies). Uses the whole envelope: its
// autocorrelation after removing the slow level changes, a comb over the first four multiples
// of each period, the prior above, sub-frame precision from the peaks at those multiples.
// Throws std::invalid_argument for a bad frame period or tempo range; allocates.
TempoEstimate estimateTempo(const float* onset, std::size_t frames, double framePeriodSeconds,
                            const TempoSettings& settings = {});

// The same estimate for an envelope that arrives value by value, in memory that does not grow with
// its length: add() the values in order, estimate() at any time (exactly estimateTempo's answer
// for the values so far). The constructor throws std::invalid_argument as estimateTempo does.
class TempoTracker {
public:
    explicit TempoTracker(double framePeriodSeconds, const TempoSettings& settings = {});
    void add(float onset) { m_autocorrelation.add(onset); }
    TempoEstimate estimate() const;

private:
    double m_framePeriod;
    TempoSettings m_settings;
    OnsetAutocorrelation m_autocorrelation;
};

}  // namespace zqx::summary
