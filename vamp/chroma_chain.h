// The chroma module as the adapter runs it, shared by zqx-chroma and zqx-key-chords: its Vamp
// parameters, the block the zqx command would give it, and zqx_tonewheel on each block, behind
// zqx_ratefold when the host's rate is below what the module accepts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/module_chain.h"
#include "vamp/adapted_plugin.h"

namespace zqx::vamp {

// The rate the module analyses when the host's rate is below what it accepts.
constexpr int kChromaResampledRate = 22050;

// The module's parameters as Vamp parameters, with the defaults of `zqx extract`. Built once.
const std::vector<MappedParameter>& chromaParameters();

// The blocks `zqx extract` hands the module, so that a host's default run gives its numbers. The
// frame is the power of two nearest 93 ms (4096 at 44.1 and 48 kHz, 2048 at 22.05 kHz; 4096 for a
// rate below 1). MRFFT mode analyses whole blocks: block = step = frame. FFT mode analyses the
// largest power of two strictly below the block, so it gets one sample more than the frame, a
// frame apart. Below kChromaResampledRate every block is resampled on its own: block = step = frame.
struct ChromaCut {
    size_t block = 0;
    size_t step = 0;
};
ChromaCut preferredChromaCut(int sampleRate, bool mrfft);

// Checks what only the chroma chain needs beyond AdaptedPlugin::checkSizes: below
// kChromaResampledRate the resampler's filter runs on from block to block, so the step must equal
// the block. Returns "" or the reason.
std::string chromaSizeProblem(int sampleRate, size_t stepSize, size_t blockSize);

// Lifecycle: construct (loads and creates the instances; throws PluginNotFoundError, LoaderError
// or ModuleError with the module's message), process() per block in order. One caller.
class ChromaChain {
public:
    ChromaChain(int sampleRate, size_t blockSize, const host::ParameterList& moduleParameters);

    // The module's 24 values for one block of blockSize mono samples (peak half, then mean half),
    // or an empty view; valid until the next call. Throws ModuleError.
    host::BlockView process(const float* block);

private:
    host::ModuleChain m_chain;
    size_t m_blockSize;
};

}  // namespace zqx::vamp
