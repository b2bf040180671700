// zqx-key-chords: the key of the stream and its chords as labelled segments, from the peak half of
// zqx_tonewheel's chroma (run as zqx-chroma runs it) and the summary library's estimateKey and
// labelChords.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vamp/adapted_plugin.h"
#include "vamp/chroma_chain.h"

namespace zqx::vamp {

class KeyChordsPlugin : public AdaptedPlugin {
public:
    explicit KeyChordsPlugin(float inputSampleRate);
    ~KeyChordsPlugin() override;

    std::string getIdentifier() const override { return "zqx-key-chords"; }
    std::string getName() const override { return "zqx Key and Chords"; }
    std::string getDescription() const override;

    // As zqx-chroma: the command's chroma blocks (preferredChromaCut).
    size_t getPreferredBlockSize() const override { return preferredChromaCut(sampleRate(), mrfft()).block; }
    size_t getPreferredStepSize() const override { return preferredChromaCut(sampleRate(), mrfft()).step; }
    OutputList getOutputDescriptors() const override;

    bool initialise(size_t channels, size_t stepSize, size_t blockSize) override;
    void reset() override;
    // Collects the chroma; the answers come from getRemainingFeatures(), which need the whole stream.
    FeatureSet process(const float* const* inputBuffers, Vamp::RealTime timestamp) override;
    FeatureSet getRemainingFeatures() override;

private:
    bool mrfft() const { return parameters().get("mode") >= 0.5f; }
    bool start();

    std::unique_ptr<ChromaChain> m_chain;
    size_t m_stepSize = 0;
    size_t m_blockSize = 0;
    std::vector<float> m_chroma;  // 12 peak values per block
    std::size_t m_blocks = 0;
};

}  // namespace zqx::vamp
