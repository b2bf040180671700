// zqx-chroma: parameters, block sizes and the two chroma outputs.
#include "vamp/chroma_plugin.h"

#include <exception>

#include "vamp/module_locator.h"
#include "vamp/pitch_class_names.h"

namespace zqx::vamp {

namespace {

enum Output { kPeak, kMean };

// The defaults are those of `zqx extract`; the end-to-end test compares the two with them.
const std::vector<MappedParameter>& chromaParameters() {
    // Built once, on first use; lives until the library is unloaded.
    static const std::vector<MappedParameter> table = [] {
        std::vector<MappedParameter> t;
        t.push_back({wholeNumberParameter("loedge", "Lowest peak frequency",
                                          "Lower edge of the spectral peak search (FFT mode)", "Hz", 0, 20000, 100),
                     "loedge", ModuleValueKind::Int});
        t.push_back({wholeNumberParameter("hiedge", "Highest peak frequency",
                                          "Upper edge of the spectral peak search (FFT mode); must exceed the "
                                          "lowest",
                                          "Hz", 1, 24000, 5000),
                     "hiedge", ModuleValueKind::Int});
        t.push_back({wholeNumberParameter("earTransfer", "Outer-ear weighting",
                                          "Weight the spectrum with an outer-ear transfer curve (FFT mode)", "", 0,
                                          1, 1),
                     "earTransfer", ModuleValueKind::Bool});
        t.push_back({wholeNumberParameter("numMaxima", "Peaks per block",
                                          "How many of the strongest spectral peaks make the peak chroma (FFT mode)",
                                          "", 1, 480, 10),
                     "numMaxima", ModuleValueKind::Int});
        MappedParameter mode{wholeNumberParameter("mode", "Analysis",
                                                  "FFT: one windowed FFT per block; MRFFT: the multi-resolution "
                                                  "pitch analysis (the peak settings do not apply)",
                                                  "", 0, 1, 0),
                             "useMRFFT", ModuleValueKind::Bool};
        mode.descriptor.valueNames = {"FFT", "MRFFT"};
        t.push_back(mode);
        return t;
    }();
    return table;
}

Vamp::Plugin::OutputDescriptor chromaOutput(const char* identifier, const char* name, const char* description) {
    Vamp::Plugin::OutputDescriptor d;
    d.identifier = identifier;
    d.name = name;
    d.description = description;
    d.hasFixedBinCount = true;
    d.binCount = 12;
    for (const char* pitchClass : kPitchClassNames) d.binNames.push_back(pitchClass);
    d.hasKnownExtents = false;
    d.isQuantized = false;
    d.sampleType = Vamp::Plugin::OutputDescriptor::OneSamplePerStep;
    d.hasDuration = false;
    return d;
}

}  // namespace

ChromaPlugin::ChromaPlugin(float inputSampleRate) : AdaptedPlugin(inputSampleRate, chromaParameters()) {}

ChromaPlugin::~ChromaPlugin() = default;

std::string ChromaPlugin::getDescription() const {
    return "Chroma per block from zqx_tonewheel: spectral peaks and the whole spectrum folded onto the twelve "
           "pitch classes";
}

size_t ChromaPlugin::getPreferredBlockSize() const {
    const int rate = sampleRate();
    if (rate < 1) return 4096;
    return size_t(host::defaultGlobalParams(rate).getInt("windowSize", 4096));
}

size_t ChromaPlugin::getPreferredStepSize() const { return getPreferredBlockSize(); }

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
    if (sampleRate() < kResampledRate && stepSize != blockSize)
        return refuse("below " + std::to_string(kResampledRate) + " Hz the audio is resampled block by block, "
                      "so the step size must equal the block size (" + std::to_string(blockSize) + ")");
    m_blockSize = blockSize;
    return createChain();
}

bool ChromaPlugin::createChain() {
    const int rate = sampleRate();
    host::ParameterMap globals = host::defaultGlobalParams(rate);
    globals.set("windowSize", int(m_blockSize));
    std::vector<host::ChainStage> stages;
    if (rate < kResampledRate)
        stages.push_back({"zqx_ratefold",
                          {{"inSampRate", rate}, {"outSampRate", kResampledRate}, {"antiAliasFilter", true}}});
    stages.push_back({"zqx_tonewheel", parameters().moduleParameters()});
    try {
        m_chain = std::make_unique<host::ModuleChain>(stages, std::move(globals), modulePluginLocator());
    } catch (const std::exception& error) {
        m_chain.reset();
        return refuse(error.what());
    }
    return true;
}

void ChromaPlugin::reset() {
    if (m_chain) (void)createChain();
}

Vamp::Plugin::FeatureSet ChromaPlugin::process(const float* const* inputBuffers, Vamp::RealTime) {
    FeatureSet features;
    if (!m_chain) return features;
    try {
        const host::BlockView out = m_chain->process(mono(inputBuffers), 1, std::uint32_t(m_blockSize));
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
