// The summary of one input from its streams.
#include "host/result_summary.h"

#include <algorithm>

namespace zqx::host {

namespace {

const FeatureStream* findStream(const FeatureChain& chain, const char* name) {
    for (const FeatureStream& stream : chain.streams())
        if (stream.name == name) return &stream;
    return nullptr;
}

}  // namespace

ResultSummariser::ResultSummariser(int channels, int sampleRate, bool loudnessThread)
    : m_tempo(BandEnergyFrontEnd::kFramePeriodSeconds), m_loudness(channels, sampleRate, loudnessThread) {}

void ResultSummariser::reserveFor(const FeatureChain& chain, double seconds) {
    if (!(seconds > 0.0)) return;
    seconds = std::min(seconds, kMostReservedSeconds);
    if (const FeatureStream* chroma = findStream(chain, "chroma")) {
        const long long hop = chroma->fact("hop");
        if (hop <= 0) return;
        const std::size_t rows = std::size_t(seconds * chain.analysisRate() / double(hop)) + 2;
        m_chromaPeaks.reserve(rows * 12);
        m_chromaTimes.reserve(rows);
    }
}

void ResultSummariser::addInputAudio(const float* interleaved, std::size_t frames) { m_loudness.add(interleaved, frames); }

void ResultSummariser::bandFrames(const float* rows, std::size_t count, int bands) {
    for (std::size_t r = 0; r < count; ++r) m_tempo.add(m_onset.nextFrame(rows + r * std::size_t(bands), std::size_t(bands)));
}

void ResultSummariser::streamRow(const FeatureStream& stream, std::size_t row) {
    if (stream.name != "chroma" || stream.width < 12) return;
    m_chromaPeaks.insert(m_chromaPeaks.end(), stream.row(row), stream.row(row) + 12);
    m_chromaTimes.push_back(stream.times[row]);
}

ResultSummary ResultSummariser::summarise(const FeatureChain& chain) {
    ResultSummary result;
    result.tempo = m_tempo.estimate();
    if (const FeatureStream* chroma = findStream(chain, "chroma"); chroma && chroma->width >= 12) {
        const summary::FeatureRows peaks{m_chromaPeaks.data(), m_chromaTimes.size(), 12};
        result.key = summary::estimateKey(peaks);
        // Each row stands for its hop: the rows tile the stream.
        const double blockSeconds = double(chroma->fact("hop")) / chain.analysisRate();
        if (blockSeconds > 0.0) result.chords = summary::labelChords(peaks, m_chromaTimes.data(), blockSeconds);
        // The last frame is completed with zeros; the chords end where the audio does.
        const double end = double(chain.analysedSamples()) / chain.analysisRate();
        while (!result.chords.empty() && result.chords.back().start >= end) result.chords.pop_back();
        if (!result.chords.empty()) result.chords.back().end = std::min(result.chords.back().end, end);
    }
    if (const FeatureStream* dynamics = findStream(chain, "dynamics"); dynamics && dynamics->rows() > 0)
        result.dynamicRange = dynamics->row(dynamics->rows() - 1)[0];
    result.loudness = m_loudness.finish();
    result.tuningCents = m_loudness.tuningCents();
    return result;
}

}  // namespace zqx::host
