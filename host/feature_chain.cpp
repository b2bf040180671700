// The standard extraction chain: instance creation in order, block cutting and feature streams.
#include "host/feature_chain.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace zqx::host {

namespace {

const char* const kPitchClassNames[12] = {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};

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

std::vector<std::string> chromaColumns(std::size_t width) {
    std::vector<std::string> names;
    if (width == 24 || width == 12) {
        for (std::size_t i = 0; i < width; ++i)
            names.push_back(width == 12 ? kPitchClassNames[i]
                                        : std::string(i < 12 ? "peak_" : "mean_") + kPitchClassNames[i % 12]);
    }
    return names;
}

std::vector<std::string> rhythmColumns(std::size_t width, int bands, int hiBPM) {
    const long lagCount = long(width) - bands - 15;
    if (lagCount <= 0 || hiBPM <= 0) return {};
    std::vector<std::string> names;
    for (int b = 0; b < bands; ++b) names.push_back("band_score_" + std::to_string(b));
    for (const char* name : {"score_mean", "score_std", "score_centroid", "score_contrast", "score_rms_to_peak",
                             "profile_centroid", "profile_contrast", "profile_rms_to_peak", "profile_zero_fraction",
                             "profile_mean", "profile_std", "onset_rate_1T", "onset_rate_2T", "onset_rate_3T",
                             "onset_rate_4T"})
        names.push_back(name);
    const int minLag = 6000 / hiBPM;
    for (long i = 0; i < lagCount; ++i) names.push_back("lag_" + std::to_string(minLag + i));
    return names;
}

// Appends a returned block as one row; the first block fixes the width.
void append(FeatureStream& stream, double time, const BlockView& block, std::vector<std::string> columns) {
    if (block.size == 0) return;
    if (stream.rows() == 0) {
        stream.width = block.size;
        stream.columns = std::move(columns);
        if (stream.columns.size() != stream.width) {
            stream.columns.clear();
            for (std::size_t i = 0; i < stream.width; ++i) stream.columns.push_back("v" + std::to_string(i));
        }
    } else if (block.size != stream.width) {
        throw ModuleError(stream.plugin + ": returned " + std::to_string(block.size) + " values at " +
                          std::to_string(time) + " s after " + std::to_string(stream.width) + " before");
    }
    stream.times.push_back(time);
    stream.values.insert(stream.values.end(), block.data, block.data + block.size);
}

}  // namespace

void FeatureChainSettings::override(const std::string& stageText) {
    for (const ChainStage& stage : parseChainSpec(stageText)) {
        ParameterList* target = stage.plugin == "zqx_ratefold"    ? &ratefold
                                : stage.plugin == "zqx_tonewheel" ? &tonewheel
                                : stage.plugin == "zqx_pulsegrid" ? &pulsegrid
                                : stage.plugin == "zqx_swellgrid" ? &swellgrid
                                                                  : nullptr;
        if (!target)
            throw ChainSpecError("'" + stage.plugin + "' is not part of the extract chain (zqx_ratefold, "
                                 "zqx_tonewheel, zqx_pulsegrid, zqx_swellgrid)");
        for (const auto& [key, value] : stage.parameters) setParameter(*target, key, value);
    }
}

std::vector<std::string> featureChainPlugins(const FeatureChainSettings& settings) {
    std::vector<std::string> names;
    if (settings.targetRate > 0) names.push_back("zqx_ratefold");
    for (const char* name : {"zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid"}) names.push_back(name);
    return names;
}

FeatureChain::FeatureChain(const FeatureChainSettings& settings, int inputRate, const PluginLocator& locator)
    : m_inputRate(inputRate), m_globalParams(defaultGlobalParams(inputRate)) {
    m_chroma.name = "chroma";
    m_chroma.plugin = "zqx_tonewheel";
    m_rhythm.name = "rhythm";
    m_rhythm.plugin = "zqx_pulsegrid";
    m_dynamics.name = "dynamics";
    m_dynamics.plugin = "zqx_swellgrid";
    m_bandEnergy.name = "bandEnergy";
    m_bandEnergy.plugin = "(band-energy front-end)";

    auto globalInt = [this](const char* name) {
        const int value = m_globalParams.getInt(name, -1);
        m_globalParams.clearReadLog();
        return value;
    };
    m_stages.reserve(4);
    // zqx_ratefold first: it rewrites the rate and frame sizes that the later modules read.
    if (settings.targetRate > 0) {
        ParameterList parameters = settings.ratefold;
        setParameter(parameters, "inSampRate", inputRate);
        setParameter(parameters, "outSampRate", settings.targetRate);
        m_resampleBlock = globalInt("windowSize");
        m_stages.push_back(createStage("zqx_ratefold", parameters, m_globalParams, locator));
        m_ratefold = &m_stages.back();
    }
    m_analysisRate = globalInt("samplingRate");
    m_chromaBlock = globalInt("windowSize");
    if (m_analysisRate < 800 || m_chromaBlock < 1)
        throw ModuleError("the chain's sampling rate " + std::to_string(m_analysisRate) + " Hz and block length " +
                          std::to_string(m_chromaBlock) + " cannot be analysed");
    m_frontEnd = std::make_unique<BandEnergyFrontEnd>(m_analysisRate);
    m_bands = m_frontEnd->bandCount();
    m_bandPool.assign(std::size_t(m_bands), 0.0);
    for (int b = 0; b < m_bands; ++b) m_bandEnergy.columns.push_back("band_" + std::to_string(b));
    m_bandEnergy.width = std::size_t(m_bands);

    m_stages.push_back(createStage("zqx_tonewheel", settings.tonewheel, m_globalParams, locator));
    m_tonewheel = &m_stages.back();
    m_stages.push_back(createStage("zqx_pulsegrid", settings.pulsegrid, m_globalParams, locator));
    m_pulsegrid = &m_stages.back();
    ParameterList swell = settings.swellgrid;
    if (!hasParameter(swell, "size")) setParameter(swell, "size", m_bands);
    m_stages.push_back(createStage("zqx_swellgrid", swell, m_globalParams, locator));
    m_swellgrid = &m_stages.back();

    m_groupFrames = intParameter(settings.pulsegrid, "groupFrames", 0);
    m_hiBPM = intParameter(settings.pulsegrid, "hiBPM", 0);
    // The module accepted it, so it is at least 1.
    m_groupFrames = std::max(m_groupFrames, 1);
}

FeatureChain::~FeatureChain() = default;

void FeatureChain::push(const float* samples, std::size_t n) {
    if (m_finished) throw std::logic_error("FeatureChain::push after finish");
    if (!m_ratefold) {
        analyse(samples, n);
        return;
    }
    const std::size_t block = std::size_t(m_resampleBlock);
    while (n > 0) {
        const std::size_t take = std::min(n, block - m_resampleInput.size());
        m_resampleInput.insert(m_resampleInput.end(), samples, samples + take);
        samples += take;
        n -= take;
        if (m_resampleInput.size() == block) {
            const BlockView out = processBlock(*m_ratefold->instance, m_ratefold->name, m_resampleInput.data(), 1,
                                               std::uint32_t(block));
            // At equal rates the module hands back our own buffer: use it before refilling.
            analyse(out.data, out.size);
            m_resampleInput.clear();
        }
    }
}

void FeatureChain::analyse(const float* samples, std::size_t n) {
    m_analysisSamples += std::int64_t(n);
    const std::size_t block = std::size_t(m_chromaBlock);
    for (std::size_t at = 0; at < n;) {
        const std::size_t take = std::min(n - at, block - m_chromaInput.size());
        m_chromaInput.insert(m_chromaInput.end(), samples + at, samples + at + take);
        at += take;
        if (m_chromaInput.size() == block) {
            runChroma(m_chromaInput.data());
            m_chromaInput.clear();
        }
    }
    m_newRows.clear();
    m_frontEnd->push(samples, n, m_newRows);
    runRows(false);
}

void FeatureChain::runChroma(const float* block) {
    // The chroma module reads a block as a matrix; one row of samples is its natural shape.
    const BlockView out =
        processBlock(*m_tonewheel->instance, m_tonewheel->name, block, 1, std::uint32_t(m_chromaBlock));
    const double time = double(m_chromaBlocks) * m_chromaBlock / m_analysisRate;
    ++m_chromaBlocks;
    append(m_chroma, time, out, chromaColumns(out.size));
}

void FeatureChain::runRows(bool last) {
    const std::size_t bands = std::size_t(m_bands);
    for (std::size_t r = 0; r * bands < m_newRows.size(); ++r) {
        const float* row = m_newRows.data() + r * bands;
        if (!m_heldRow.empty())
            append(m_dynamics, 0.0,
                   processBlock(*m_swellgrid->instance, m_swellgrid->name, m_heldRow.data(), 1, std::uint32_t(bands)),
                   {"dynamic_range"});
        m_heldRow.assign(row, row + bands);

        m_groupRows.insert(m_groupRows.end(), row, row + bands);
        ++m_bandFrames;
        poolBandRow(row);
        if (m_groupRows.size() == std::size_t(m_groupFrames) * bands) {
            const BlockView out = processBlock(*m_pulsegrid->instance, m_pulsegrid->name, m_groupRows.data(),
                                               std::uint32_t(m_groupFrames), std::uint32_t(bands));
            const double time = double(m_groups) * m_groupFrames * BandEnergyFrontEnd::kFramePeriodSeconds;
            ++m_groups;
            append(m_rhythm, time, out, rhythmColumns(out.size, m_bands, m_hiBPM));
            m_groupRows.clear();
        }
    }
    if (last) flushBandPool();
    if (last && !m_heldRow.empty()) {
        // The module summarises the stream only in calls made after the end has been announced.
        m_swellgrid->instance->setEndOfStream();
        append(m_dynamics, 0.0,
               processBlock(*m_swellgrid->instance, m_swellgrid->name, m_heldRow.data(), 1, std::uint32_t(bands)),
               {"dynamic_range"});
        m_heldRow.clear();
    }
}

void FeatureChain::poolBandRow(const float* row) {
    // Energies are averaged, not their logarithms, so that a pooled row has the energy of its frames.
    for (int b = 0; b < m_bands; ++b)
        m_bandPool[std::size_t(b)] += std::expm1(double(row[b])) / BandEnergyFrontEnd::kCompression;
    if (++m_bandPoolCount == kBandPoolFrames) flushBandPool();
}

void FeatureChain::flushBandPool() {
    if (m_bandPoolCount == 0) return;
    const std::int64_t firstFrame = m_bandFrames - m_bandPoolCount;
    m_bandEnergy.times.push_back(double(firstFrame) * BandEnergyFrontEnd::kFramePeriodSeconds);
    for (double& sum : m_bandPool) {
        m_bandEnergy.values.push_back(float(std::log1p(BandEnergyFrontEnd::kCompression * sum / m_bandPoolCount)));
        sum = 0.0;
    }
    m_bandPoolCount = 0;
}

void FeatureChain::finish() {
    if (m_finished) return;
    if (m_ratefold && !m_resampleInput.empty()) {
        const BlockView out = processBlock(*m_ratefold->instance, m_ratefold->name, m_resampleInput.data(), 1,
                                           std::uint32_t(m_resampleInput.size()));
        analyse(out.data, out.size);
        m_resampleInput.clear();
    }
    m_finished = true;
    if (!m_chromaInput.empty()) {
        // Every block of an instance must have the same length, so the tail is padded with silence.
        m_chromaPadding = m_chromaBlock - int(m_chromaInput.size());
        m_chromaInput.resize(std::size_t(m_chromaBlock), 0.0f);
        runChroma(m_chromaInput.data());
        m_chromaInput.clear();
    }
    m_newRows.clear();
    m_frontEnd->finish(m_newRows);
    runRows(true);
}

}  // namespace zqx::host
