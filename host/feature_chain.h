// The standard extraction chain that `zqx extract` and `zqx demo` run on one stream of audio:
// optional resampling (zqx_ratefold), chroma per block (zqx_tonewheel), critical-band energies
// every 10 ms (the host's front-end), rhythm per group of frames (zqx_pulsegrid) and the dynamic
// range of the whole stream (zqx_swellgrid).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/band_energy.h"
#include "host/chain_spec.h"
#include "host/module_chain.h"
#include "host/plugin_locator.h"

namespace zqx::host {

// The parameters of the chain. The defaults are the documented ones (README, "zqx extract").
struct FeatureChainSettings {
    int targetRate = 0;  // 0: analyse at the input rate without zqx_ratefold
    ParameterList ratefold{{"antiAliasFilter", true}};
    ParameterList tonewheel{{"loedge", 100}, {"hiedge", 5000}, {"earTransfer", true}, {"numMaxima", 10},
                            {"useMRFFT", false}};
    ParameterList pulsegrid{{"groupFrames", 400}, {"hanningLen", 5}, {"onsetThresh", 0.1}, {"loBPM", 60},
                            {"hiBPM", 200}};
    // "size" defaults to the number of bands, so the level is the mean over all bands.
    ParameterList swellgrid{{"hanningLen", 50}, {"offset", 0}, {"frameDuration", 10.0}};

    // Replaces or adds parameters of one plug-in from "name:key=value,..." text; throws
    // ChainSpecError for a bad text or a plug-in that is not part of the chain.
    void override(const std::string& stageText);
};

// The plug-ins the chain needs with these settings, in creation order.
std::vector<std::string> featureChainPlugins(const FeatureChainSettings& settings);

// One feature stream: a row of values with a time stamp (seconds from the start of the stream)
// per block the module returned. The row width is that of the first returned block.
struct FeatureStream {
    std::string name;
    std::string plugin;
    std::vector<std::string> columns;
    std::vector<double> times;
    std::vector<float> values;
    std::size_t width = 0;

    std::size_t rows() const { return times.size(); }
    const float* row(std::size_t r) const { return values.data() + r * width; }
};

// Runs the chain on one stream. Instances belong to this object alone: one chain per thread.
//
// Lifecycle: construct (creates every instance in order; throws PluginNotFoundError,
// LoaderError or ModuleError), push() the mono samples in order, finish() once, then read the
// results. A module failing on a block throws ModuleError from push() or finish().
class FeatureChain {
public:
    FeatureChain(const FeatureChainSettings& settings, int inputRate, const PluginLocator& locator);
    ~FeatureChain();
    FeatureChain(const FeatureChain&) = delete;
    FeatureChain& operator=(const FeatureChain&) = delete;

    void push(const float* samples, std::size_t n);
    void finish();

    int inputRate() const { return m_inputRate; }
    int analysisRate() const { return m_analysisRate; }
    int chromaBlockLength() const { return m_chromaBlock; }
    int groupFrames() const { return m_groupFrames; }
    int hiBPM() const { return m_hiBPM; }
    const BandEnergyFrontEnd& frontEnd() const { return *m_frontEnd; }
    std::int64_t analysedSamples() const { return m_analysisSamples; }
    std::int64_t bandFrames() const { return m_bandFrames; }
    // Frames after the last whole group, which no rhythm vector covers.
    std::int64_t framesWithoutRhythm() const { return std::int64_t(m_groupRows.size() / std::size_t(m_bands)); }
    // Samples of zeros appended to complete the last chroma block.
    int chromaPadding() const { return m_chromaPadding; }

    const std::vector<ModuleStage>& stages() const { return m_stages; }
    const ParameterMap& globalParams() const { return m_globalParams; }
    const FeatureStream& chroma() const { return m_chroma; }
    const FeatureStream& rhythm() const { return m_rhythm; }
    const FeatureStream& dynamics() const { return m_dynamics; }
    // The band energies pooled over kBandPoolFrames frames: per band ln(1 + 1e6 * mean E) on the
    // front-end's scale (E recovered from each frame's value), time = start of the first frame.
    // The last row pools the frames that remain.
    const FeatureStream& bandEnergy() const { return m_bandEnergy; }
    static constexpr int kBandPoolFrames = 10;

private:
    ModuleStage* stage(const std::string& name);
    void analyse(const float* samples, std::size_t n);
    void runChroma(const float* block);
    void runRows(bool last);
    void poolBandRow(const float* row);
    void flushBandPool();

    int m_inputRate;
    int m_analysisRate = 0;
    int m_resampleBlock = 0;
    int m_chromaBlock = 0;
    int m_groupFrames = 0;
    int m_hiBPM = 0;
    int m_bands = 0;
    int m_chromaPadding = 0;
    bool m_finished = false;
    ParameterMap m_globalParams;
    std::vector<ModuleStage> m_stages;
    ModuleStage* m_ratefold = nullptr;
    ModuleStage* m_tonewheel = nullptr;
    ModuleStage* m_pulsegrid = nullptr;
    ModuleStage* m_swellgrid = nullptr;
    std::unique_ptr<BandEnergyFrontEnd> m_frontEnd;

    std::vector<float> m_resampleInput;
    std::vector<float> m_chromaInput;
    std::int64_t m_chromaBlocks = 0;
    std::int64_t m_analysisSamples = 0;
    std::vector<float> m_newRows;
    std::vector<float> m_heldRow;   // the latest row, kept back so the last one meets setEndOfStream
    std::vector<float> m_groupRows;
    std::int64_t m_bandFrames = 0;
    std::int64_t m_groups = 0;

    std::vector<double> m_bandPool;  // sum of E per band over the frames of the open pooled row
    int m_bandPoolCount = 0;

    FeatureStream m_chroma, m_rhythm, m_dynamics, m_bandEnergy;
};

}  // namespace zqx::host
