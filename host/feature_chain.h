// The extraction chain that `zqx extract` and `zqx demo` run on one stream of audio, built from the
// extract table (host/extract_table.h): optional resampling, then each stage fed the blocks its
// table entry names (sample blocks, groups of band-energy frames, every frame to the end), each
// feeding one feature stream. Running the chain gives streams in memory; writing them to files is
// feature_report's business.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/band_energy.h"
#include "host/extract_table.h"
#include "host/module_chain.h"
#include "host/plugin_locator.h"

namespace zqx::host {

// The table with the user's changes. The defaults are the documented ones (README, "zqx extract").
struct FeatureChainSettings {
    // 0: analyse at the input rate, or at the lowest rate every stage accepts when the input is
    // below it (the Resample stage then runs on its own).
    int targetRate = 0;
    std::vector<ExtractStage> stages = standardExtractTable();

    // Replaces or adds parameters of one plug-in from "name:key=value,..." text; throws
    // ChainSpecError for a bad text or a plug-in that is not part of the chain.
    void override(const std::string& stageText);
};

// One feature stream: a row of values with a time stamp (seconds from the start of the stream)
// per block the module returned. The row width is that of the first returned block.
struct FeatureStream {
    std::string name;
    std::string plugin;
    std::size_t stage = 0;  // index of the stage in FeatureChain::modules()
    BlockCut cut = BlockCut::SampleBlocks;
    BandScale bandScale = BandScale::Logarithmic;  // of the band values a band-fed stage read
    std::vector<std::string> columns;
    std::vector<double> times;
    std::vector<float> values;
    std::size_t width = 0;
    // How the blocks were cut: "frameLength", "hop" and "blockLength" from the start, and after
    // finish() "lastBlockZeroPadding" (SampleBlocks); "framesPerGroup" and "framesAfterLastGroup"
    // after finish() (BandFrameGroups).
    std::vector<std::pair<std::string, long long>> facts;

    std::size_t rows() const { return times.size(); }
    const float* row(std::size_t r) const { return values.data() + r * width; }
    // The named fact, or fallback.
    long long fact(const std::string& key, long long fallback = 0) const;
};

// Receives what a chain produces as it produces it, in stream order, on the chain's thread.
class FeatureListener {
public:
    virtual ~FeatureListener() = default;
    // The mono samples as pushed, at the input rate (before any resampling).
    virtual void inputSamples(const float* samples, std::size_t n) { (void)samples, (void)n; }
    // The samples every stage analyses (after resampling).
    virtual void analysisSamples(const float* samples, std::size_t n) { (void)samples, (void)n; }
    // count rows of bands band-energy values, one row per 10 ms frame.
    virtual void bandFrames(const float* rows, std::size_t count, int bands) { (void)rows, (void)count, (void)bands; }
    // A row just appended to stream (its columns are set).
    virtual void streamRow(const FeatureStream& stream, std::size_t row) { (void)stream, (void)row; }
    // A row just appended to the pooled band energies (FeatureChain::bandEnergy()).
    virtual void bandEnergyRow(const FeatureStream& pooled, std::size_t row) { (void)pooled, (void)row; }
};

// Hands every callback to first, then to second (the summariser and the report writer, say).
class ListenerPair : public FeatureListener {
public:
    ListenerPair(FeatureListener& first, FeatureListener& second) : m_first(first), m_second(second) {}
    void inputSamples(const float* samples, std::size_t n) override {
        m_first.inputSamples(samples, n);
        m_second.inputSamples(samples, n);
    }
    void analysisSamples(const float* samples, std::size_t n) override {
        m_first.analysisSamples(samples, n);
        m_second.analysisSamples(samples, n);
    }
    void bandFrames(const float* rows, std::size_t count, int bands) override {
        m_first.bandFrames(rows, count, bands);
        m_second.bandFrames(rows, count, bands);
    }
    void streamRow(const FeatureStream& stream, std::size_t row) override {
        m_first.streamRow(stream, row);
        m_second.streamRow(stream, row);
    }
    void bandEnergyRow(const FeatureStream& pooled, std::size_t row) override {
        m_first.bandEnergyRow(pooled, row);
        m_second.bandEnergyRow(pooled, row);
    }

private:
    FeatureListener& m_first;
    FeatureListener& m_second;
};

// Why and how the stream was resampled before the analysis.
struct RateConversion {
    bool active = false;
    bool automatic = false;  // not asked for: a stage refuses the input rate
    int fromHz = 0;
    int toHz = 0;
    std::string reason;
};

// The settings with every plug-in library loaded once. Read-only after construction: one plan
// serves any number of chains, on any number of threads, for files of any rate.
class FeatureChainPlan {
public:
    // Loads every plug-in of the table, so none is ever left out quietly; throws PluginNotFoundError
    // or LoaderError naming a missing or broken one.
    FeatureChainPlan(FeatureChainSettings settings, const PluginLocator& locator);

    const FeatureChainSettings& settings() const { return m_settings; }
    const std::shared_ptr<const PluginLibrary>& library(std::size_t stage) const { return m_libraries[stage]; }
    // The rate a stream of inputRate is analysed at, and whether and why it is converted.
    RateConversion rateConversion(int inputRate) const;

private:
    FeatureChainSettings m_settings;
    std::vector<std::shared_ptr<const PluginLibrary>> m_libraries;
};

// Runs the chain on one stream. Instances belong to this object alone: one chain per thread.
//
// Lifecycle: construct (creates every instance in table order; throws ModuleError), push() the
// mono samples in order, finish() once, then read the results. A module failing on a block throws
// ModuleError from push() or finish().
class FeatureChain {
public:
    // keepRows false: each stream, and the pooled band energies, keep only their latest row (rows()
    // is then 0 or 1), for callers
    // whose listener takes every row as it comes, so that memory stays flat in the input's length.
    FeatureChain(const FeatureChainPlan& plan, int inputRate, FeatureListener* listener = nullptr,
                 bool keepRows = true);
    // Builds a plan of its own (loading the plug-ins) for a single stream.
    FeatureChain(const FeatureChainSettings& settings, int inputRate, const PluginLocator& locator);
    ~FeatureChain();
    FeatureChain(const FeatureChain&) = delete;
    FeatureChain& operator=(const FeatureChain&) = delete;

    // Runs every stage fed sample blocks (the chroma module) on a thread of its own, so that it
    // overlaps the rest of the chain on a second core. The streams, their rows and the order of
    // each stream's rows do not change; a stream's rows reach the listener a few blocks late.
    // Call before the first push(). Throws std::system_error when no thread can be started.
    void overlapSampleStages();

    void push(const float* samples, std::size_t n);
    void finish();

    int inputRate() const { return m_inputRate; }
    int analysisRate() const { return m_analysisRate; }
    const RateConversion& rateConversion() const { return m_conversion; }
    const BandEnergyFrontEnd& frontEnd() const { return *m_frontEnd; }
    std::int64_t analysedSamples() const { return m_analysisSamples; }
    std::int64_t bandFrames() const { return m_bandFrames; }

    const ModuleChain& modules() const { return m_modules; }
    const ParameterMap& globalParams() const { return m_modules.globalParams(); }
    const std::vector<FeatureStream>& streams() const { return m_streams; }
    // The stream of that name; throws std::out_of_range naming it when the chain has none.
    const FeatureStream& stream(const std::string& name) const;
    // The band energies pooled over kBandPoolFrames frames, for pictures of the energy over time:
    // per band ln(1 + 1e6 * mean E) on the front-end's scale (E recovered from each frame's value),
    // time = start of the first frame; the last row pools the frames that remain.
    const FeatureStream& bandEnergy() const { return m_bandEnergy; }
    static constexpr int kBandPoolFrames = 10;

private:
    struct Route;

    void analyse(const float* samples, std::size_t n);
    void runSampleBlock(Route& route, const float* block);
    // Appends what the route's worker has finished; wait: everything handed to it so far.
    void collectFromWorker(Route& route, bool wait);
    void runBandRows(const float* rows, std::size_t count, bool last);
    void append(Route& route, double time, const BlockView& block);
    void flushBandPool();

    FeatureListener* m_listener = nullptr;
    bool m_keepRows = true;
    int m_inputRate;
    int m_analysisRate = 0;
    RateConversion m_conversion;
    bool m_finished = false;
    ModuleChain m_modules;
    std::unique_ptr<BandEnergyFrontEnd> m_frontEnd;
    int m_bands = 0;

    std::vector<Route> m_routes;
    std::vector<FeatureStream> m_streams;
    std::int64_t m_analysisSamples = 0;
    std::int64_t m_bandFrames = 0;
    std::vector<float> m_newRows;
    std::vector<float> m_powerLawRow;
    // Sum of E per band over the frames of the open pooled row: energies are averaged, not their
    // logarithms, so that a pooled row has the energy of its frames.
    std::vector<double> m_bandPool;
    int m_bandPoolCount = 0;
    FeatureStream m_bandEnergy;
};

}  // namespace zqx::host
