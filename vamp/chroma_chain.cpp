// The chroma chain: parameters, preferred block, resampling below the module's lowest rate.
#include "vamp/chroma_chain.h"

#include "vamp/module_locator.h"

namespace zqx::vamp {

namespace {

std::vector<host::ChainStage> chromaStages(int sampleRate, const host::ParameterList& moduleParameters) {
    std::vector<host::ChainStage> stages;
    if (sampleRate < kChromaResampledRate)
        stages.push_back({"zqx_ratefold",
                          {{"inSampRate", sampleRate}, {"outSampRate", kChromaResampledRate}, {"antiAliasFilter", true}}});
    stages.push_back({"zqx_tonewheel", moduleParameters});
    return stages;
}

host::ParameterMap chromaGlobals(int sampleRate, size_t blockSize) {
    host::ParameterMap globals = host::defaultGlobalParams(sampleRate);
    globals.set("windowSize", int(blockSize));
    return globals;
}

}  // namespace

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
                                                  "", 0, 1, 1),
                             "useMRFFT", ModuleValueKind::Bool};
        mode.descriptor.valueNames = {"FFT", "MRFFT"};
        t.push_back(mode);
        return t;
    }();
    return table;
}

ChromaCut preferredChromaCut(int sampleRate, bool mrfft) {
    const size_t frame = sampleRate < 1 ? 4096 : size_t(host::defaultGlobalParams(sampleRate).getInt("windowSize", 4096));
    if (mrfft || sampleRate < kChromaResampledRate) return {frame, frame};
    return {frame + 1, frame};
}

std::string chromaSizeProblem(int sampleRate, size_t stepSize, size_t blockSize) {
    if (sampleRate < kChromaResampledRate && stepSize != blockSize)
        return "below " + std::to_string(kChromaResampledRate) +
               " Hz the audio is resampled block by block, so the step size must equal the block size (" +
               std::to_string(blockSize) + ")";
    return {};
}

ChromaChain::ChromaChain(int sampleRate, size_t blockSize, const host::ParameterList& moduleParameters)
    : m_chain(chromaStages(sampleRate, moduleParameters), chromaGlobals(sampleRate, blockSize), modulePluginLocator()),
      m_blockSize(blockSize) {}

host::BlockView ChromaChain::process(const float* block) { return m_chain.process(block, 1, std::uint32_t(m_blockSize)); }

}  // namespace zqx::vamp
