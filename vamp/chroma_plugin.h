// zqx-chroma: zqx_tonewheel as a Vamp plug-in. Per block of audio, the module's 24 values as two
// outputs of twelve pitch classes, "peak" and "mean"; below 22050 Hz, which the module refuses,
// zqx_ratefold brings each block to 22050 Hz first.
#pragma once

#include <memory>
#include <string>

#include "host/module_chain.h"
#include "vamp/adapted_plugin.h"

namespace zqx::vamp {

class ChromaPlugin : public AdaptedPlugin {
public:
    explicit ChromaPlugin(float inputSampleRate);
    ~ChromaPlugin() override;

    std::string getIdentifier() const override { return "zqx-chroma"; }
    std::string getName() const override { return "zqx Chroma"; }
    std::string getDescription() const override;

    // The block the zqx command gives the module at this rate: the power of two nearest 93 ms
    // (4096 at 44.1 and 48 kHz, 2048 at 22.05 kHz); steps of one block.
    size_t getPreferredBlockSize() const override;
    size_t getPreferredStepSize() const override;
    OutputList getOutputDescriptors() const override;

    // Any block length; any step up to the block, except when resampling (below 22050 Hz), where
    // the resampler's filter runs on from block to block and so the step must equal the block.
    bool initialise(size_t channels, size_t stepSize, size_t blockSize) override;
    void reset() override;
    FeatureSet process(const float* const* inputBuffers, Vamp::RealTime timestamp) override;
    FeatureSet getRemainingFeatures() override;

    // The rate the module analyses when the host's rate is below what it accepts.
    static constexpr int kResampledRate = 22050;

private:
    bool createChain();

    std::unique_ptr<host::ModuleChain> m_chain;
    size_t m_blockSize = 0;
};

}  // namespace zqx::vamp
