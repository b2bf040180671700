// zqx-chroma: the two chroma outputs of each block.
#include "vamp/chroma_plugin.h"

#include <exception>

#include "summary/pitch_names.h"

namespace zqx::vamp {

namespace {

enum Output { kPeak, kMean };

}  // namespace

Vamp::Plugin::OutputDescriptor chromaOutput(const char* identifier, const char* name, const char* description) {
    Vamp::Plugin::OutputDescriptor d;
    d.identifier = identifier;
    d.name = name;
    d.description = description;
    d.hasFixedBinCount = true;
    d.binCount = 12;
    for (int pitchClass = 0; pitchClass < 12; ++pitchClass) d.binNames.push_back(summary::pitchClassName(pitchClass));
    d.hasKnownExtents = false;
    d.isQuantized = false;
    d.sampleType = Vamp::Plugin::OutputDescriptor::OneSamplePerStep;
    d.hasDuration = false;
    return d;
}

ChromaPlugin::ChromaPlugin(float inputSampleRate) : AdaptedPlugin(inputSampleRate, chromaParameters()) {}

ChromaPlugin::~ChromaPlugin() = default;

std::string ChromaPlugin::getDescription() const {
    return "Chroma per block from zqx_tonewheel: spectral peaks and the whole spectrum folded onto the twelve "
           "pitch classes";
}

Vamp::Plugin::OutputList ChromaPlugin::getOutputDescriptors() const {
    return {chromaOutput("peak", "Peak chroma",
                         "The strongest spectral peaks of the block, folded onto the pitch classes (FFT mode); "
                         "pitched components as the multi-resolution analysis weighs them (MRFFT mode)"),
            chromaOutput("mean", "Mean chroma",
                         "The whole spectrum of the block folded onto the pitch classes (FFT mode); the "
                         "multi-resolution analysis's mean contributions (MRFFT mode)")};
}

bool ChromaPlugin::initialise(size_t channels, size_t stepSize, size_t blockSize) {
    m_chain.reset();
    if (!checkSizes(channels, stepSize, blockSize, 1, 1)) return false;
    const std::string problem = chromaSizeProblem(sampleRate(), stepSize, blockSize);
    if (!problem.empty()) return refuse(problem);
    m_blockSize = blockSize;
    return start();
}

bool ChromaPlugin::start() {
    try {
        m_chain = std::make_unique<ChromaChain>(sampleRate(), m_blockSize, parameters().moduleParameters());
    } catch (const std::exception& error) {
        m_chain.reset();
        return refuse(error.what());
    }
    return true;
}

void ChromaPlugin::reset() {
    if (m_chain) (void)start();
}

Vamp::Plugin::FeatureSet ChromaPlugin::process(const float* const* inputBuffers, Vamp::RealTime) {
    FeatureSet features;
    if (!m_chain) return features;
    try {
        const host::BlockView out = m_chain->process(mono(inputBuffers));
        if (out.size != 24) return features;
        Feature peak, mean;
        peak.values.assign(out.data, out.data + 12);
        mean.values.assign(out.data + 12, out.data + 24);
        features[kPeak].push_back(std::move(peak));
        features[kMean].push_back(std::move(mean));
    } catch (const std::exception& error) {
        // Vamp has no error path from process(): the outputs end here rather than skip blocks.
        m_chain.reset();
        (void)refuse(error.what());
    }
    return features;
}

Vamp::Plugin::FeatureSet ChromaPlugin::getRemainingFeatures() { return {}; }

}  // namespace zqx::vamp
