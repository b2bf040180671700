// The extraction chain: instances created in table order, blocks cut as each entry says, and the
// feature streams they feed.
#include "host/feature_chain.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "host/stage_worker.h"
#include "summary/dynamics_level.h"

namespace zqx::host {

namespace {

int intParameter(const ParameterList& list, const std::string& name, int fallback) {
    for (const auto& [key, value] : list) {
        if (key != name) continue;
        if (const int* i = std::get_if<int>(&value)) return *i;
        if (const double* d = std::get_if<double>(&value)) return static_cast<int>(*d);
    }
    return fallback;
}

bool hasParameter(const ParameterList& list, const std::string& name) {
    return std::any_of(list.begin(), list.end(), [&](const auto& p) { return p.first == name; });
}

void setParameter(ParameterList& list, const std::string& name, ParameterMap::Value value) {
    for (auto& entry : list)
        if (entry.first == name) {
            entry.second = std::move(value);
            return;
        }
    list.emplace_back(name, std::move(value));
}

}  // namespace

// What the chain keeps for one stage that feeds a stream: its cut and the samples or frames that
// wait for the next block.
struct FeatureChain::Route {
    std::size_t stage = 0;
    std::size_t stream = 0;
    BlockCut cut = BlockCut::SampleBlocks;
    BandScale bandScale = BandScale::Logarithmic;
    std::size_t blockLength = 0;  // samples (SampleBlocks: the hop) or frames (BandFrameGroups)
    FrameCut frame;               // SampleBlocks
    ColumnNamer columns = nullptr;
    std::vector<float> pending;   // samples, or frames of band values, of the incomplete block
    std::int64_t blocks = 0;
    int padding = 0;
    std::unique_ptr<StageWorker> worker;  // SampleBlocks, when overlapped
};

void FeatureChainSettings::override(const std::string& stageText) {
    for (const ChainStage& given : parseChainSpec(stageText)) {
        const auto target = std::find_if(stages.begin(), stages.end(),
                                         [&](const ExtractStage& s) { return s.plugin == given.plugin; });
        if (target == stages.end()) {
            std::string names;
            for (const ExtractStage& s : stages) names += (names.empty() ? "" : ", ") + s.plugin;
            throw ChainSpecError("'" + given.plugin + "' is not part of the extract chain (" + names + ")");
        }
        for (const auto& [key, value] : given.parameters) setParameter(target->parameters, key, value);
    }
}

long long FeatureStream::fact(const std::string& key, long long fallback) const {
    for (const auto& [name, value] : facts)
        if (name == key) return value;
    return fallback;
}

FeatureChainPlan::FeatureChainPlan(FeatureChainSettings settings, const PluginLocator& locator)
    : m_settings(std::move(settings)) {
    for (const ExtractStage& stage : m_settings.stages)
        m_libraries.push_back(std::make_shared<const PluginLibrary>(locator.find(stage.plugin)));
}

RateConversion FeatureChainPlan::rateConversion(int inputRate) const {
    RateConversion conversion;
    conversion.fromHz = conversion.toHz = inputRate;
    const auto& stages = m_settings.stages;
    if (std::none_of(stages.begin(), stages.end(), [](const ExtractStage& s) { return s.cut == BlockCut::Resample; }))
        return conversion;
    if (m_settings.targetRate > 0) {
        conversion.active = true;
        conversion.toHz = m_settings.targetRate;
        conversion.reason = "asked for";
        return conversion;
    }
    for (const ExtractStage& stage : stages) {
        if (stage.cut == BlockCut::Resample || inputRate >= stage.lowestRate || stage.lowestRate <= conversion.toHz)
            continue;
        conversion.active = conversion.automatic = true;
        conversion.toHz = stage.lowestRate;
        conversion.reason = stage.plugin + " accepts " + std::to_string(stage.lowestRate) + " Hz and above";
    }
    return conversion;
}

FeatureChain::FeatureChain(const FeatureChainSettings& settings, int inputRate, const PluginLocator& locator)
    : FeatureChain(*std::make_unique<FeatureChainPlan>(settings, locator), inputRate) {}

FeatureChain::FeatureChain(const FeatureChainPlan& plan, int inputRate, FeatureListener* listener, bool keepRows)
    : m_listener(listener),
      m_keepRows(keepRows),
      m_inputRate(inputRate),
      m_conversion(plan.rateConversion(inputRate)),
      m_modules(defaultGlobalParams(inputRate)) {
    const FeatureChainSettings& settings = plan.settings();
    for (std::size_t i = 0; i < settings.stages.size(); ++i) {
        const ExtractStage& entry = settings.stages[i];
        if (entry.cut == BlockCut::Resample) {
            if (!m_conversion.active) continue;
        } else if (!m_frontEnd) {
            // Every stage after the resampler reads the stream at the rate it leaves in globalParams.
            m_analysisRate = m_modules.globalInt("samplingRate", -1);
            const int blockLength = m_modules.globalInt("windowSize", -1);
            if (m_analysisRate < 800 || blockLength < 1)
                throw ModuleError("the chain's sampling rate " + std::to_string(m_analysisRate) +
                                  " Hz and block length " + std::to_string(blockLength) + " cannot be analysed");
            m_frontEnd = std::make_unique<BandEnergyFrontEnd>(m_analysisRate);
            m_bands = m_frontEnd->bandCount();
            m_bandPool.assign(std::size_t(m_bands), 0.0);
            m_bandEnergy.name = "bandEnergy";
            m_bandEnergy.plugin = "(band-energy front-end)";
            m_bandEnergy.width = std::size_t(m_bands);
            for (int b = 0; b < m_bands; ++b) m_bandEnergy.columns.push_back("band_" + std::to_string(b));
        }

        ParameterList parameters = entry.parameters;
        for (const ChainParameter& p : entry.chainParameters) {
            if (!p.overridesUser && hasParameter(parameters, p.key)) continue;
            const int value = p.value == ChainValue::InputRate      ? m_inputRate
                              : p.value == ChainValue::AnalysisRate ? m_conversion.toHz
                                                                    : m_bands;
            setParameter(parameters, p.key, value);
        }
        Route route;
        route.cut = entry.cut;
        route.bandScale = entry.bandScale;
        route.columns = entry.columns;
        // A stage cuts its blocks by the frame size that stood when it was created.
        if (entry.cut == BlockCut::Resample || entry.cut == BlockCut::SampleBlocks)
            route.blockLength = std::size_t(std::max(m_modules.globalInt("windowSize", -1), 1));
        route.stage = m_modules.add(entry.plugin, plan.library(i), parameters);
        if (entry.cut == BlockCut::SampleBlocks) {
            route.frame = {route.blockLength, route.blockLength, route.blockLength};
            if (entry.frameCut) route.frame = entry.frameCut(route.blockLength, m_modules.stage(route.stage).moduleParams());
            route.blockLength = route.frame.hop;
        }
        if (entry.cut == BlockCut::BandFrameGroups)
            // The module accepted it, so it is at least 1.
            route.blockLength = std::size_t(std::max(intParameter(parameters, entry.framesParameter, 0), 1));
        if (entry.cut != BlockCut::Resample) {
            FeatureStream stream;
            stream.name = entry.stream;
            stream.plugin = entry.plugin;
            stream.stage = route.stage;
            stream.cut = entry.cut;
            stream.bandScale = entry.bandScale;
            // How sample blocks are cut is known now; finish() adds the padding of the last one.
            if (entry.cut == BlockCut::SampleBlocks)
                stream.facts = {{"frameLength", (long long)route.frame.analysed},
                                {"hop", (long long)route.frame.hop},
                                {"blockLength", (long long)route.frame.handed}};
            route.stream = m_streams.size();
            m_streams.push_back(std::move(stream));
        }
        m_routes.push_back(std::move(route));
    }
    if (!m_frontEnd) throw ModuleError("the extract chain has no stage that analyses the stream");
}

FeatureChain::~FeatureChain() = default;

const FeatureStream& FeatureChain::stream(const std::string& name) const {
    for (const FeatureStream& s : m_streams)
        if (s.name == name) return s;
    throw std::out_of_range("the extract chain has no stream '" + name + "'");
}

void FeatureChain::push(const float* samples, std::size_t n) {
    if (m_finished) throw std::logic_error("FeatureChain::push after finish");
    if (m_listener && n > 0) m_listener->inputSamples(samples, n);
    Route* resample = nullptr;
    for (Route& route : m_routes)
        if (route.cut == BlockCut::Resample) resample = &route;
    if (!resample) {
        analyse(samples, n);
        return;
    }
    const std::size_t block = resample->blockLength;
    std::vector<float>& input = resample->pending;
    ModuleStage& stage = m_modules.stage(resample->stage);
    while (n > 0) {
        const std::size_t take = std::min(n, block - input.size());
        input.insert(input.end(), samples, samples + take);
        samples += take;
        n -= take;
        if (input.size() == block) {
            const BlockView out = stage.process(input.data(), 1, std::uint32_t(block));
            // At equal rates the module hands back our own buffer: use it before refilling.
            analyse(out.data, out.size);
            input.clear();
        }
    }
}

void FeatureChain::analyse(const float* samples, std::size_t n) {
    m_analysisSamples += std::int64_t(n);
    if (m_listener && n > 0) m_listener->analysisSamples(samples, n);
    for (Route& route : m_routes) {
        if (route.cut != BlockCut::SampleBlocks) continue;
        // pending starts at the next frame; a block is run once it holds the whole handed length,
        // and the samples after the hop stay for the next one.
        const std::size_t block = route.frame.handed;
        for (std::size_t at = 0; at < n;) {
            // Whole blocks go to the module straight from the caller's samples, the next one a hop
            // later; only a block that straddles two pushes is gathered first.
            if (route.pending.empty() && n - at >= block) {
                runSampleBlock(route, samples + at);
                at += route.frame.hop;
                continue;
            }
            const std::size_t take = std::min(n - at, block - route.pending.size());
            route.pending.insert(route.pending.end(), samples + at, samples + at + take);
            at += take;
            if (route.pending.size() == block) {
                runSampleBlock(route, route.pending.data());
                route.pending.erase(route.pending.begin(), route.pending.begin() + std::ptrdiff_t(route.frame.hop));
            }
        }
    }
    m_newRows.clear();
    m_frontEnd->push(samples, n, m_newRows);
    runBandRows(m_newRows.data(), m_newRows.size() / std::size_t(m_bands), false);
}

void FeatureChain::overlapSampleStages() {
    if (m_analysisSamples > 0 || m_finished) throw std::logic_error("FeatureChain::overlapSampleStages after push");
    // Eight blocks in flight smooth out the two threads' uneven pace at 4096 x 8 floats of memory.
    constexpr std::size_t kBlocksInFlight = 8;
    for (Route& route : m_routes)
        if (route.cut == BlockCut::SampleBlocks && !route.worker)
            route.worker = std::make_unique<StageWorker>(m_modules.stage(route.stage), 1,
                                                         std::uint32_t(route.frame.handed), kBlocksInFlight);
}

void FeatureChain::collectFromWorker(Route& route, bool wait) {
    route.worker->collect(wait, [&](const std::vector<float>& values) {
        const double time = double(route.blocks) * double(route.frame.hop) / m_analysisRate;
        ++route.blocks;
        append(route, time, BlockView{values.data(), std::uint32_t(values.size())});
    });
}

void FeatureChain::runSampleBlock(Route& route, const float* block) {
    if (route.worker) {
        route.worker->submit(block);
        collectFromWorker(route, false);
        return;
    }
    // The chroma module reads a block as a matrix; one row of samples is its natural shape.
    const BlockView out = m_modules.stage(route.stage).process(block, 1, std::uint32_t(route.frame.handed));
    const double time = double(route.blocks) * double(route.frame.hop) / m_analysisRate;
    ++route.blocks;
    append(route, time, out);
}

void FeatureChain::runBandRows(const float* rows, std::size_t count, bool last) {
    const std::size_t bands = std::size_t(m_bands);
    if (m_listener && count > 0) m_listener->bandFrames(rows, count, m_bands);
    m_powerLawRow.resize(bands);
    for (std::size_t r = 0; r < count; ++r) {
        const float* logRow = rows + r * bands;
        for (std::size_t b = 0; b < bands; ++b) {
            const double energy = BandEnergyFrontEnd::energyOf(logRow[b]);
            m_powerLawRow[b] = static_cast<float>(energy);
            m_bandPool[b] += energy;
        }
        zqx::summary::powerLawLevels(m_powerLawRow.data(), bands, m_powerLawRow.data());
        for (Route& route : m_routes) {
            const float* row = route.bandScale == BandScale::PowerLaw ? m_powerLawRow.data() : logRow;
            if (route.cut == BlockCut::BandFramesToEnd) {
                // The latest frame is kept back, so that the last one meets setEndOfStream.
                if (!route.pending.empty())
                    append(route, 0.0, m_modules.stage(route.stage).process(route.pending.data(), 1, std::uint32_t(bands)));
                route.pending.assign(row, row + bands);
            } else if (route.cut == BlockCut::BandFrameGroups) {
                route.pending.insert(route.pending.end(), row, row + bands);
                if (route.pending.size() == route.blockLength * bands) {
                    const BlockView out = m_modules.stage(route.stage).process(
                        route.pending.data(), std::uint32_t(route.blockLength), std::uint32_t(bands));
                    const double time =
                        double(route.blocks) * double(route.blockLength) * BandEnergyFrontEnd::kFramePeriodSeconds;
                    ++route.blocks;
                    append(route, time, out);
                    route.pending.clear();
                }
            }
        }
        ++m_bandFrames;
        if (++m_bandPoolCount == kBandPoolFrames) flushBandPool();
    }
    if (!last) return;
    flushBandPool();
    for (Route& route : m_routes) {
        if (route.cut != BlockCut::BandFramesToEnd || route.pending.empty()) continue;
        // The module summarises the stream only in calls made after the end has been announced.
        ModuleStage& stage = m_modules.stage(route.stage);
        stage.setEndOfStream();
        append(route, 0.0, stage.process(route.pending.data(), 1, std::uint32_t(bands)));
        route.pending.clear();
    }
}

// Appends a returned block as one row; the first block fixes the width and the column names.
void FeatureChain::append(Route& route, double time, const BlockView& block) {
    if (block.size == 0) return;
    FeatureStream& stream = m_streams[route.stream];
    if (stream.width == 0) {
        stream.width = block.size;
        if (route.columns)
            stream.columns = route.columns(block.size, m_bands, m_modules.stage(route.stage).moduleParams());
        if (stream.columns.size() != stream.width) {
            stream.columns.clear();
            for (std::size_t i = 0; i < stream.width; ++i) stream.columns.push_back("v" + std::to_string(i));
        }
    } else if (block.size != stream.width) {
        throw ModuleError(stream.plugin + ": returned " + std::to_string(block.size) + " values at " +
                          std::to_string(time) + " s after " + std::to_string(stream.width) + " before");
    }
    if (!m_keepRows) {
        stream.times.clear();
        stream.values.clear();
    }
    stream.times.push_back(time);
    stream.values.insert(stream.values.end(), block.data, block.data + block.size);
    if (m_listener) m_listener->streamRow(stream, stream.rows() - 1);
}

void FeatureChain::flushBandPool() {
    if (m_bandPoolCount == 0) return;
    const std::int64_t firstFrame = m_bandFrames - m_bandPoolCount;
    if (!m_keepRows) {
        m_bandEnergy.times.clear();
        m_bandEnergy.values.clear();
    }
    m_bandEnergy.times.push_back(double(firstFrame) * BandEnergyFrontEnd::kFramePeriodSeconds);
    for (double& sum : m_bandPool) {
        m_bandEnergy.values.push_back(float(std::log1p(BandEnergyFrontEnd::kCompression * sum / m_bandPoolCount)));
        sum = 0.0;
    }
    m_bandPoolCount = 0;
    if (m_listener) m_listener->bandEnergyRow(m_bandEnergy, m_bandEnergy.rows() - 1);
}

void FeatureChain::finish() {
    if (m_finished) return;
    for (Route& route : m_routes) {
        if (route.cut != BlockCut::Resample || route.pending.empty()) continue;
        const BlockView out =
            m_modules.stage(route.stage).process(route.pending.data(), 1, std::uint32_t(route.pending.size()));
        analyse(out.data, out.size);
        route.pending.clear();
    }
    m_finished = true;
    for (Route& route : m_routes) {
        if (route.cut != BlockCut::SampleBlocks || route.pending.empty()) continue;
        // Every block of an instance must have the same length, so the tail is padded with silence.
        route.padding = std::max(0, int(route.frame.analysed) - int(route.pending.size()));
        route.pending.resize(route.frame.handed, 0.0f);
        runSampleBlock(route, route.pending.data());
        route.pending.clear();
    }
    for (Route& route : m_routes)
        if (route.worker) collectFromWorker(route, true);
    m_newRows.clear();
    m_frontEnd->finish(m_newRows);
    runBandRows(m_newRows.data(), m_newRows.size() / std::size_t(m_bands), true);

    for (Route& route : m_routes) {
        if (route.cut == BlockCut::Resample) continue;
        auto& facts = m_streams[route.stream].facts;
        if (route.cut == BlockCut::SampleBlocks)
            facts = {{"frameLength", (long long)route.frame.analysed},
                     {"hop", (long long)route.frame.hop},
                     {"blockLength", (long long)route.frame.handed},
                     {"lastBlockZeroPadding", route.padding}};
        else if (route.cut == BlockCut::BandFrameGroups)
            facts = {{"framesPerGroup", (long long)route.blockLength},
                     {"framesAfterLastGroup", (long long)(route.pending.size() / std::size_t(m_bands))}};
    }
}

}  // namespace zqx::host
