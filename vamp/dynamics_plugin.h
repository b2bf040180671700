// zqx-dynamics: zqx_swellgrid fed, as by the zqx command, power-law levels (E^0.3) of the band
// energies every 10 ms (it averages each row into a level), and the loudness of the stream (EBU
// R128, every channel) from the summary library; the values of the whole stream come at its end.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/module_chain.h"
#include "summary/loudness_meter.h"
#include "vamp/adapted_plugin.h"
#include "vamp/band_frames.h"

namespace zqx::vamp {

class DynamicsPlugin : public AdaptedPlugin {
public:
    explicit DynamicsPlugin(float inputSampleRate);
    ~DynamicsPlugin() override;

    std::string getIdentifier() const override { return "zqx-dynamics"; }
    std::string getName() const override { return "zqx Dynamics"; }
    std::string getDescription() const override;

    // Any block works (see zqx-rhythm); these match zqx-chroma's.
    size_t getPreferredBlockSize() const override;
    size_t getPreferredStepSize() const override { return getPreferredBlockSize(); }
    OutputList getOutputDescriptors() const override;

    bool initialise(size_t channels, size_t stepSize, size_t blockSize) override;
    void reset() override;
    FeatureSet process(const float* const* inputBuffers, Vamp::RealTime timestamp) override;
    FeatureSet getRemainingFeatures() override;

private:
    bool start();
    void takeRows(bool last, FeatureSet& features);
    void measure(const float* const* inputBuffers);
    Feature wholeStream(float value, const std::string& label) const;

    size_t m_stepSize = 0;
    size_t m_blockSize = 0;
    std::unique_ptr<BandFrames> m_frames;
    std::unique_ptr<host::ModuleChain> m_swellgrid;  // the one stage zqx_swellgrid
    std::vector<float> m_rows;
    std::vector<float> m_heldRow;
    size_t m_channels = 1;
    std::unique_ptr<summary::LoudnessMeter> m_meter;
    std::vector<float> m_interleaved;
};

}  // namespace zqx::vamp
