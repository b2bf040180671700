// zqx-dynamics: parameters, the level rows handed to zqx_swellgrid and the value at the end.
#include "vamp/dynamics_plugin.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "summary/dynamics_level.h"
#include "vamp/module_locator.h"

namespace zqx::vamp {

namespace {

enum Output { kDynamicRange, kIntegratedLoudness, kLoudnessRange, kSamplePeak };

// Band frames are 10 ms apart; the module is told so.
constexpr double kFrameDurationMs = 10.0;

// The defaults are those of `zqx extract`; the end-to-end test compares the two with them.
const std::vector<MappedParameter>& dynamicsParameters() {
    // Built once, on first use; lives until the library is unloaded.
    static const std::vector<MappedParameter> table = [] {
        std::vector<MappedParameter> t;
        t.push_back({wholeNumberParameter("hanningLen", "Smoothing length",
                                          "Length of the Hann window that smooths the level contour", "frames", 1,
                                          1000, 50),
                     "hanningLen", ModuleValueKind::Int});
        t.push_back({wholeNumberParameter("offset", "First band", "First band of the level average (0: lowest)", "",
                                          0, 23, 0),
                     "offset", ModuleValueKind::Int});
        MappedParameter size{wholeNumberParameter("size", "Bands averaged",
                                                  "How many bands from the first make the level (all: every band "
                                                  "from the first)",
                                                  "", 0, 24, 0),
                             "size", ModuleValueKind::Int};
        size.descriptor.valueNames.push_back("all");
        for (int n = 1; n <= 24; ++n) size.descriptor.valueNames.push_back(std::to_string(n));
        t.push_back(size);
        return t;
    }();
    return table;
}

}  // namespace

DynamicsPlugin::DynamicsPlugin(float inputSampleRate) : AdaptedPlugin(inputSampleRate, dynamicsParameters()) {}

DynamicsPlugin::~DynamicsPlugin() = default;

std::string DynamicsPlugin::getDescription() const {
    return "Dynamic range of the whole stream from zqx_swellgrid: the spread of the smoothed band-energy level "
           "relative to its geometric mean";
}

size_t DynamicsPlugin::getPreferredBlockSize() const {
    const int rate = sampleRate();
    if (rate < 1) return 4096;
    return size_t(host::defaultGlobalParams(rate).getInt("windowSize", 4096));
}

Vamp::Plugin::OutputList DynamicsPlugin::getOutputDescriptors() const {
    Vamp::Plugin::OutputDescriptor d;
    d.identifier = "dynamic_range";
    d.name = "Dynamic range";
    d.description = "One value for the whole stream (at most 30 s of it), given at its end";
    d.hasFixedBinCount = true;
    d.binCount = 1;
    d.hasKnownExtents = false;
    d.isQuantized = false;
    d.sampleType = Vamp::Plugin::OutputDescriptor::VariableSampleRate;
    d.sampleRate = 0.0f;
    d.hasDuration = true;
    OutputList outputs{d};
    // The loudness figures: one value each for the whole stream, minus infinity for audio below
    // the measurement's absolute gate (silence) or, for the peak, all zeros.
    const struct {
        const char* identifier;
        const char* name;
        const char* unit;
        const char* description;
    } loudness[] = {
        {"integrated_lufs", "Integrated loudness", "LUFS", "EBU R128 integrated loudness of every channel"},
        {"range_lu", "Loudness range", "LU", "EBU Tech 3342 loudness range (0 when too little passes its gates)"},
        {"sample_peak_dbfs", "Sample peak", "dBFS", "The largest absolute sample of any channel"},
    };
    for (const auto& figure : loudness) {
        d.identifier = figure.identifier;
        d.name = figure.name;
        d.unit = figure.unit;
        d.description = figure.description;
        outputs.push_back(d);
    }
    return outputs;
}

bool DynamicsPlugin::initialise(size_t channels, size_t stepSize, size_t blockSize) {
    m_frames.reset();
    m_swellgrid.reset();
    if (!checkSizes(channels, stepSize, blockSize, 800, 1)) return false;
    m_stepSize = stepSize;
    m_blockSize = blockSize;
    m_channels = channels;
    return start();
}

bool DynamicsPlugin::start() {
    m_rows.clear();
    m_heldRow.clear();
    try {
        m_frames = std::make_unique<BandFrames>(sampleRate(), m_stepSize, m_blockSize);
        const int bands = m_frames->bandCount();
        const int offset = parameters().moduleInt("offset", 0);
        int size = parameters().moduleInt("size", 0);
        if (size == 0) size = bands - offset;
        if (offset >= bands || offset + size > bands)
            throw std::invalid_argument("bands " + std::to_string(offset) + " to " + std::to_string(offset + size - 1) +
                                        " do not exist at this rate, which has " + std::to_string(bands));
        host::ParameterList moduleParams = parameters().moduleParameters();
        for (auto& [name, value] : moduleParams)
            if (name == "size") value = size;
        moduleParams.emplace_back("frameDuration", kFrameDurationMs);
        m_meter = std::make_unique<summary::LoudnessMeter>(unsigned(m_channels), (unsigned long)sampleRate());
        m_swellgrid = std::make_unique<host::ModuleChain>(
            std::vector<host::ChainStage>{{"zqx_swellgrid", moduleParams}}, host::defaultGlobalParams(sampleRate()),
            modulePluginLocator());
    } catch (const std::exception& error) {
        m_frames.reset();
        m_swellgrid.reset();
        m_meter.reset();
        return refuse(error.what());
    }
    return true;
}

void DynamicsPlugin::measure(const float* const* inputBuffers) {
    // The samples this block adds to the stream, interleaved as the meter reads them.
    const std::size_t start = m_frames->newSamplesStart();
    const std::size_t frames = m_blockSize - start;
    m_interleaved.resize(frames * m_channels);
    for (std::size_t i = 0; i < frames; ++i)
        for (std::size_t c = 0; c < m_channels; ++c) m_interleaved[i * m_channels + c] = inputBuffers[c][start + i];
    m_meter->add(m_interleaved.data(), frames);
}

Vamp::Plugin::Feature DynamicsPlugin::wholeStream(float value, const std::string& label) const {
    Feature feature;
    feature.hasTimestamp = true;
    feature.timestamp = Vamp::RealTime::zeroTime;
    feature.hasDuration = true;
    feature.duration = Vamp::RealTime::frame2RealTime(long(m_frames->samples()), unsigned(sampleRate()));
    feature.values.push_back(value);
    feature.label = label;
    return feature;
}

void DynamicsPlugin::reset() {
    if (m_frames) (void)start();
}

void DynamicsPlugin::takeRows(bool last, FeatureSet& features) {
    const std::size_t bands = std::size_t(m_frames->bandCount());
    try {
        // The latest row is held back, so that the last one meets setEndOfStream.
        for (std::size_t at = 0; at + bands <= m_rows.size(); at += bands) {
            if (!m_heldRow.empty()) (void)m_swellgrid->process(m_heldRow.data(), 1, std::uint32_t(bands));
            // The module reads power-law levels of the band energies, as in the zqx command, so
            // that its dynamic range does not change with gain.
            m_heldRow.resize(bands);
            for (std::size_t b = 0; b < bands; ++b)
                m_heldRow[b] = static_cast<float>(host::BandEnergyFrontEnd::energyOf(m_rows[at + b]));
            summary::powerLawLevels(m_heldRow.data(), bands, m_heldRow.data());
        }
        m_rows.clear();
        if (!last || m_heldRow.empty()) return;
        // The module summarises the stream only in calls made after the end has been announced.
        m_swellgrid->setEndOfStream();
        const host::BlockView out = m_swellgrid->process(m_heldRow.data(), 1, std::uint32_t(bands));
        m_heldRow.clear();
        if (out.size > 0) features[kDynamicRange].push_back(wholeStream(out.data[0], ""));
        const summary::Loudness loudness = m_meter->result();
        const struct {
            int output;
            double value;
            const char* unit;
        } figures[] = {{kIntegratedLoudness, loudness.integratedLufs, "LUFS"},
                       {kLoudnessRange, loudness.rangeLu, "LU"},
                       {kSamplePeak, loudness.samplePeakDbfs, "dBFS"}};
        for (const auto& figure : figures) {
            char label[48];
            if (std::isfinite(figure.value)) std::snprintf(label, sizeof label, "%.1f %s", figure.value, figure.unit);
            else std::snprintf(label, sizeof label, "silence");
            features[figure.output].push_back(wholeStream(float(figure.value), label));
        }
    } catch (const std::exception& error) {
        m_frames.reset();
        m_swellgrid.reset();
        m_meter.reset();
        m_rows.clear();
        (void)refuse(error.what());
    }
}

Vamp::Plugin::FeatureSet DynamicsPlugin::process(const float* const* inputBuffers, Vamp::RealTime) {
    FeatureSet features;
    if (!m_frames) return features;
    try {
        measure(inputBuffers);
    } catch (const std::exception& error) {
        m_frames.reset();
        (void)refuse(error.what());
        return features;
    }
    m_frames->push(mono(inputBuffers), m_rows);
    takeRows(false, features);
    return features;
}

Vamp::Plugin::FeatureSet DynamicsPlugin::getRemainingFeatures() {
    FeatureSet features;
    if (!m_frames) return features;
    m_frames->finish(m_rows);
    takeRows(true, features);
    return features;
}

}  // namespace zqx::vamp
