// The musical answers of one analysed input: tempo, key, chords, loudness and dynamic range,
// computed by the summary library from the chain's streams and the input audio.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "host/background_loudness.h"
#include "host/feature_chain.h"
#include "summary/chord_labels.h"
#include "summary/key_estimate.h"
#include "summary/loudness_meter.h"
#include "summary/onset_envelope.h"
#include "summary/tempo_estimate.h"

namespace zqx::host {

struct ResultSummary {
    summary::TempoEstimate tempo;
    summary::KeyEstimate key;
    std::vector<summary::ChordSegment> chords;
    summary::Loudness loudness;
    double tuningCents = 0.0;  // offset from A4 = 440 Hz equal temperament; NaN when unknown
    std::optional<float> dynamicRange;  // the dynamics stream's value; none without that stream
};

// Collects what the summary needs while a chain runs: the onset envelope of its band-energy
// frames (as the chain's listener) and the loudness of the input audio as it was read (measured
// on a thread of its own, BackgroundLoudness).
//
// Lifecycle: construct with the input's channels and rate, pass it to the FeatureChain as its
// listener, give every block of input audio to addInputAudio() as it is read, finish the chain,
// then summarise() once. One input, driven from one thread.
class ResultSummariser : public FeatureListener {
public:
    // Throws std::invalid_argument for channels < 1 or a rate below 16 Hz, std::system_error when
    // the loudness thread cannot be started. loudnessThread false: the loudness and tuning are
    // measured in addInputAudio() itself, on the caller's thread.
    ResultSummariser(int channels, int sampleRate, bool loudnessThread = true);

    // Room for the answers' inputs of an input of about `seconds` (its header's length) on this
    // chain: memory then grows once, not by doubling. Lengths beyond kMostReservedSeconds (a
    // header can claim anything) reserve that much and grow from there.
    void reserveFor(const FeatureChain& chain, double seconds);
    static constexpr double kMostReservedSeconds = 4.0 * 3600.0;

    // frames frames of the input's channels, interleaved, before any mixing or resampling.
    void addInputAudio(const float* interleaved, std::size_t frames);
    void bandFrames(const float* rows, std::size_t count, int bands) override;
    // Keeps the peak half of each "chroma" row and its time, so that the answers do not need a
    // chain that keeps its rows.
    void streamRow(const FeatureStream& stream, std::size_t row) override;

    // The answers from the chain's "chroma" stream (its first 12 columns: the peak half) and
    // "dynamics" stream, and what was collected. Streams the chain lacks leave their answers empty.
    // Waits for the loudness thread; rethrows its failure.
    ResultSummary summarise(const FeatureChain& chain);

private:
    summary::OnsetEnvelope m_onset;
    summary::TempoTracker m_tempo;
    BackgroundLoudness m_loudness;
    std::vector<float> m_chromaPeaks;  // twelve values per chroma row
    std::vector<double> m_chromaTimes;
};

}  // namespace zqx::host
