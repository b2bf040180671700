// zqx-key-chords: chroma collected per block, key and chord segments at the end of the stream.
#include "vamp/key_chords_plugin.h"

#include <cstdio>
#include <exception>

#include "summary/chord_labels.h"
#include "summary/key_estimate.h"

namespace zqx::vamp {

namespace {

enum Output { kKey, kChords };

}  // namespace

KeyChordsPlugin::KeyChordsPlugin(float inputSampleRate) : AdaptedPlugin(inputSampleRate, chromaParameters()) {}

KeyChordsPlugin::~KeyChordsPlugin() = default;

std::string KeyChordsPlugin::getDescription() const {
    return "The key of the stream and its major and minor chords (MIREX labels, N for none) from zqx_tonewheel's "
           "peak chroma";
}

Vamp::Plugin::OutputList KeyChordsPlugin::getOutputDescriptors() const {
    Vamp::Plugin::OutputDescriptor key;
    key.identifier = "key";
    key.name = "Key";
    key.description = "The key of the whole stream, given at its end: 0-11 for C to B major, 12-23 for C to B "
                      "minor, -1 when there is no pitched energy; the label names it with the confidence";
    key.hasFixedBinCount = true;
    key.binCount = 1;
    key.hasKnownExtents = true;
    key.minValue = -1.0f;
    key.maxValue = 23.0f;
    key.isQuantized = true;
    key.quantizeStep = 1.0f;
    key.sampleType = Vamp::Plugin::OutputDescriptor::VariableSampleRate;
    key.sampleRate = 0.0f;
    key.hasDuration = true;

    Vamp::Plugin::OutputDescriptor chords;
    chords.identifier = "chords";
    chords.name = "Chords";
    chords.description = "Segments labelled with a major or minor triad (C:maj, A:min) or N for no chord";
    chords.hasFixedBinCount = true;
    chords.binCount = 0;
    chords.hasKnownExtents = false;
    chords.isQuantized = false;
    chords.sampleType = Vamp::Plugin::OutputDescriptor::VariableSampleRate;
    chords.sampleRate = 0.0f;
    chords.hasDuration = true;
    return {key, chords};
}

bool KeyChordsPlugin::initialise(size_t channels, size_t stepSize, size_t blockSize) {
    m_chain.reset();
    if (!checkSizes(channels, stepSize, blockSize, 1, 1)) return false;
    const std::string problem = chromaSizeProblem(sampleRate(), stepSize, blockSize);
    if (!problem.empty()) return refuse(problem);
    m_stepSize = stepSize;
    m_blockSize = blockSize;
    return start();
}

bool KeyChordsPlugin::start() {
    m_chroma.clear();
    m_blocks = 0;
    try {
        m_chain = std::make_unique<ChromaChain>(sampleRate(), m_blockSize, parameters().moduleParameters());
    } catch (const std::exception& error) {
        m_chain.reset();
        return refuse(error.what());
    }
    return true;
}

void KeyChordsPlugin::reset() {
    if (m_chain) (void)start();
}

Vamp::Plugin::FeatureSet KeyChordsPlugin::process(const float* const* inputBuffers, Vamp::RealTime) {
    if (!m_chain) return {};
    try {
        const host::BlockView out = m_chain->process(mono(inputBuffers));
        // A block the module answers with nothing counts as one without pitched energy, so that
        // row r keeps starting at block r.
        if (out.size == 24) m_chroma.insert(m_chroma.end(), out.data, out.data + 12);
        else m_chroma.insert(m_chroma.end(), 12, 0.0f);
        ++m_blocks;
    } catch (const std::exception& error) {
        m_chain.reset();
        (void)refuse(error.what());
    }
    return {};
}

Vamp::Plugin::FeatureSet KeyChordsPlugin::getRemainingFeatures() {
    FeatureSet features;
    if (!m_chain || m_blocks == 0) return features;
    const double step = double(m_stepSize) / sampleRate();
    const summary::FeatureRows rows{m_chroma.data(), m_blocks, 12};
    try {
        const summary::KeyEstimate key = summary::estimateKey(rows);
        Feature answer;
        answer.hasTimestamp = true;
        answer.timestamp = Vamp::RealTime::zeroTime;
        answer.hasDuration = true;
        answer.duration = Vamp::RealTime::fromSeconds(step * double(m_blocks));
        if (key.found) {
            answer.values.push_back(float(key.tonic + (key.minor ? 12 : 0)));
            char label[64];
            std::snprintf(label, sizeof label, "%s, confidence %.2f", key.name.c_str(), key.confidence);
            answer.label = label;
        } else {
            answer.values.push_back(-1.0f);
            answer.label = "no key: no pitched energy";
        }
        features[kKey].push_back(std::move(answer));

        for (const summary::ChordSegment& segment : summary::labelChords(rows, nullptr, step)) {
            Feature chord;
            chord.hasTimestamp = true;
            chord.timestamp = Vamp::RealTime::fromSeconds(segment.start);
            chord.hasDuration = true;
            chord.duration = Vamp::RealTime::fromSeconds(segment.end - segment.start);
            chord.label = segment.label;
            features[kChords].push_back(std::move(chord));
        }
    } catch (const std::exception& error) {
        (void)refuse(error.what());
    }
    return features;
}

}  // namespace zqx::vamp
