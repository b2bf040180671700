// zqx-chroma: zqx_tonewheel as a Vamp plug-in. Per block of audio, the module's 24 values as two
// outputs of twelve pitch classes, "peak" and "mean"; below 22050 Hz, which the module refuses,
// zqx_ratefold brings each block to 22050 Hz first.
#pragma once

#include <memory>
#include <string>

#include "vamp/adapted_plugin.h"
#include "vamp/chroma_chain.h"

namespace zqx::vamp {

class ChromaPlugin : public AdaptedPlugin {
public:
    explicit ChromaPlugin(float inputSampleRate);
    ~ChromaPlugin() override;

    std::string getIdentifier() const override { return "zqx-chroma"; }
    std::string getName() const override { return "zqx Chroma"; }
    std::string getDescription() const override;

    // The blocks the zqx command gives the module at this rate and mode (preferredChromaCut).
    size_t getPreferredBlockSize() const override { return preferredChromaCut(sampleRate(), mrfft()).block; }
    size_t getPreferredStepSize() const override { return preferredChromaCut(sampleRate(), mrfft()).step; }
    OutputList getOutputDescriptors() const override;

    // Any block length; any step up to the block, except when resampling (chromaSizeProblem).
    bool initialise(size_t channels, size_t stepSize, size_t blockSize) override;
    void reset() override;
    FeatureSet process(const float* const* inputBuffers, Vamp::RealTime timestamp) override;
    FeatureSet getRemainingFeatures() override;

private:
    bool mrfft() const { return parameters().get("mode") >= 0.5f; }
    bool start();

    std::unique_ptr<ChromaChain> m_chain;
    size_t m_blockSize = 0;
};

// The descriptor of a chroma output: 12 bins named by pitch class, one row per step.
Vamp::Plugin::OutputDescriptor chromaOutput(const char* identifier, const char* name, const char* description);

}  // namespace zqx::vamp
