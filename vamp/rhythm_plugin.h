// zqx-rhythm: the band energies of the zqx command's front-end (a row of critical-band values
// every 10 ms), zqx_pulsegrid on groups of those rows (the rhythm feature vector and its
// periodicity profile per group), and the tempo of the stream from the summary library.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/module_chain.h"
#include "host/band_energy.h"
#include "summary/onset_envelope.h"
#include "summary/tempo_estimate.h"
#include "vamp/adapted_plugin.h"
#include "vamp/band_frames.h"

namespace zqx::vamp {

class RhythmPlugin : public AdaptedPlugin {
public:
    explicit RhythmPlugin(float inputSampleRate);
    ~RhythmPlugin() override;

    std::string getIdentifier() const override { return "zqx-rhythm"; }
    std::string getName() const override { return "zqx Rhythm"; }
    std::string getDescription() const override;

    // The band frames are cut from the stream itself, so any block works; these are the sizes
    // the chroma plug-in prefers, so that a host runs both on the same blocks.
    size_t getPreferredBlockSize() const override;
    size_t getPreferredStepSize() const override { return getPreferredBlockSize(); }
    OutputList getOutputDescriptors() const override;

    bool initialise(size_t channels, size_t stepSize, size_t blockSize) override;
    void reset() override;
    FeatureSet process(const float* const* inputBuffers, Vamp::RealTime timestamp) override;
    FeatureSet getRemainingFeatures() override;

private:
    bool start();
    void takeRows(FeatureSet& features);

    size_t m_stepSize = 0;
    size_t m_blockSize = 0;
    std::unique_ptr<BandFrames> m_frames;
    std::unique_ptr<host::ModuleChain> m_pulsegrid;  // the one stage zqx_pulsegrid
    int m_groupFrames = 0;
    std::vector<float> m_rows;
    std::vector<float> m_group;
    std::int64_t m_frame = 0;
    std::int64_t m_groupIndex = 0;
    summary::OnsetEnvelope m_onset;
    summary::TempoTracker m_tempo{host::BandEnergyFrontEnd::kFramePeriodSeconds};
};

}  // namespace zqx::vamp
