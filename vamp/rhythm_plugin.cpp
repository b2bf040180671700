// zqx-rhythm: parameters, the band rows and the groups handed to zqx_pulsegrid.
#include "vamp/rhythm_plugin.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "summary/tempo_estimate.h"
#include "vamp/module_locator.h"

namespace zqx::vamp {

namespace {

enum Output { kBands, kFeatures, kPeriodicity, kTempo };

// The defaults are those of `zqx extract`; the end-to-end test compares the two with them.
const std::vector<MappedParameter>& rhythmParameters() {
    // Built once, on first use; lives until the library is unloaded.
    static const std::vector<MappedParameter> table = {
        {wholeNumberParameter("groupFrames", "Group length",
                              "Band frames (10 ms each) per rhythm vector; frames after the last whole group "
                              "give none",
                              "frames", 50, 6000, 400),
         "groupFrames", ModuleValueKind::Int},
        {wholeNumberParameter("hanningLen", "Smoothing length",
                              "Length of the Hann window that smooths each band's series", "frames", 1, 100, 5),
         "hanningLen", ModuleValueKind::Int},
        {[] {
             Vamp::PluginBase::ParameterDescriptor d;
             d.identifier = "onsetThresh";
             d.name = "Onset threshold";
             d.description = "Rise of the log onset envelope that counts as an onset (the four onset rates use "
                             "1 to 4 times this)";
             d.minValue = 0.0f;
             d.maxValue = 2.0f;
             d.defaultValue = 0.1f;
             return d;
         }(),
         "onsetThresh", ModuleValueKind::Double},
        {wholeNumberParameter("loBPM", "Slowest tempo", "Slowest tempo of the periodicity profile", "BPM", 20, 300,
                              60),
         "loBPM", ModuleValueKind::Int},
        {wholeNumberParameter("hiBPM", "Fastest tempo", "Fastest tempo of the periodicity profile", "BPM", 30, 600,
                              200),
         "hiBPM", ModuleValueKind::Int},
    };
    return table;
}

struct Lags {
    int first = 0;
    int count = 0;
};

// The lags of the periodicity profile in 10 ms frames: 6000 / hiBPM up to but not including
// 6000 / loBPM, cut at the group length; the module's own arithmetic gives the same for whole
// tempi.
Lags profileLags(int loBPM, int hiBPM, int groupFrames) {
    if (loBPM < 1 || hiBPM < 1) return {};
    const int first = 6000 / hiBPM;
    const int end = std::min(6000 / loBPM, groupFrames);
    return {first, std::max(0, end - first)};
}

std::string lagName(int lag) {
    char text[48];
    std::snprintf(text, sizeof text, "lag %d (%.1f BPM)", lag, 6000.0 / lag);
    return text;
}

Vamp::Plugin::OutputDescriptor groupOutput(const char* identifier, const char* name, const char* description,
                                           int groupFrames) {
    Vamp::Plugin::OutputDescriptor d;
    d.identifier = identifier;
    d.name = name;
    d.description = description;
    d.hasFixedBinCount = true;
    d.hasKnownExtents = false;
    d.isQuantized = false;
    d.sampleType = Vamp::Plugin::OutputDescriptor::FixedSampleRate;
    d.sampleRate = groupFrames > 0 ? float(100.0 / groupFrames) : 1.0f;
    d.hasDuration = false;
    return d;
}

}  // namespace

RhythmPlugin::RhythmPlugin(float inputSampleRate) : AdaptedPlugin(inputSampleRate, rhythmParameters()) {}

RhythmPlugin::~RhythmPlugin() = default;

std::string RhythmPlugin::getDescription() const {
    return "Critical-band energies every 10 ms and zqx_pulsegrid's rhythm features and periodicity profile per "
           "group of frames";
}

size_t RhythmPlugin::getPreferredBlockSize() const {
    const int rate = sampleRate();
    if (rate < 1) return 4096;
    return size_t(host::defaultGlobalParams(rate).getInt("windowSize", 4096));
}

Vamp::Plugin::OutputList RhythmPlugin::getOutputDescriptors() const {
    const int rate = sampleRate();
    OutputList outputs;

    Vamp::Plugin::OutputDescriptor bands;
    bands.identifier = "bands";
    bands.name = "Band energies";
    bands.description = "ln(1 + 1e6 E) of the energy E in each critical band, one row every 10 ms";
    bands.hasFixedBinCount = true;
    if (rate >= 800) {
        const host::BandEnergyFrontEnd frontEnd(rate);
        const std::vector<double>& edges = frontEnd.bandEdges();
        bands.binCount = size_t(frontEnd.bandCount());
        for (int b = 0; b < frontEnd.bandCount(); ++b) {
            char text[48];
            std::snprintf(text, sizeof text, "%.0f-%.0f Hz", edges[b], edges[b + 1]);
            bands.binNames.push_back(text);
        }
    }
    bands.hasKnownExtents = false;
    bands.isQuantized = false;
    bands.sampleType = Vamp::Plugin::OutputDescriptor::FixedSampleRate;
    bands.sampleRate = 100.0f;
    bands.hasDuration = false;
    outputs.push_back(bands);

    const int groupFrames = parameters().moduleInt("groupFrames", 400);
    const Lags lags = profileLags(parameters().moduleInt("loBPM", 60), parameters().moduleInt("hiBPM", 200),
                                  groupFrames);

    Vamp::Plugin::OutputDescriptor features =
        groupOutput("features", "Rhythm features",
                    "Per group: a score per band, five statistics of the scores, six of the periodicity profile, "
                    "onset rates at 1 to 4 times the threshold, and the profile",
                    groupFrames);
    for (std::size_t b = 0; b < bands.binCount; ++b) features.binNames.push_back("band " + std::to_string(b) + " score");
    for (const char* name : {"score mean", "score std", "score centroid", "score contrast", "score rms/peak",
                             "profile centroid", "profile contrast", "profile rms/peak", "profile zero fraction",
                             "profile mean", "profile std", "onset rate 1T", "onset rate 2T", "onset rate 3T",
                             "onset rate 4T"})
        features.binNames.push_back(name);
    for (int i = 0; i < lags.count; ++i) features.binNames.push_back(lagName(lags.first + i));
    features.binCount = features.binNames.size();
    outputs.push_back(features);

    Vamp::Plugin::OutputDescriptor periodicity =
        groupOutput("periodicity", "Periodicity profile",
                    "Per group: the normalised autocorrelation of the onset envelope's rise at each lag of 10 ms, "
                    "fastest tempo first",
                    groupFrames);
    for (int i = 0; i < lags.count; ++i) periodicity.binNames.push_back(lagName(lags.first + i));
    periodicity.binCount = size_t(lags.count);
    outputs.push_back(periodicity);

    Vamp::Plugin::OutputDescriptor tempo;
    tempo.identifier = "tempo";
    tempo.name = "Tempo";
    tempo.description = "The beat rate of the whole stream (0 when there is no periodicity to measure), given at its "
                        "end; the label adds whether the beat is steady and how sure the estimate is";
    tempo.unit = "BPM";
    tempo.hasFixedBinCount = true;
    tempo.binCount = 1;
    tempo.hasKnownExtents = false;
    tempo.isQuantized = false;
    tempo.sampleType = Vamp::Plugin::OutputDescriptor::VariableSampleRate;
    tempo.sampleRate = 0.0f;
    tempo.hasDuration = true;
    outputs.push_back(tempo);
    return outputs;
}

bool RhythmPlugin::initialise(size_t channels, size_t stepSize, size_t blockSize) {
    m_frames.reset();
    m_pulsegrid.reset();
    if (!checkSizes(channels, stepSize, blockSize, 800, 1)) return false;
    m_stepSize = stepSize;
    m_blockSize = blockSize;
    return start();
}

bool RhythmPlugin::start() {
    m_rows.clear();
    m_group.clear();
    m_frame = 0;
    m_groupIndex = 0;
    m_onset = summary::OnsetEnvelope();
    m_tempo = summary::TempoTracker(host::BandEnergyFrontEnd::kFramePeriodSeconds);
    try {
        m_frames = std::make_unique<BandFrames>(sampleRate(), m_stepSize, m_blockSize);
        m_pulsegrid = std::make_unique<host::ModuleChain>(
            std::vector<host::ChainStage>{{"zqx_pulsegrid", parameters().moduleParameters()}},
            host::defaultGlobalParams(sampleRate()), modulePluginLocator());
    } catch (const std::exception& error) {
        m_frames.reset();
        m_pulsegrid.reset();
        return refuse(error.what());
    }
    m_groupFrames = parameters().moduleInt("groupFrames", 400);
    return true;
}

void RhythmPlugin::reset() {
    if (m_frames) (void)start();
}

void RhythmPlugin::takeRows(FeatureSet& features) {
    const std::size_t bands = std::size_t(m_frames->bandCount());
    try {
        for (std::size_t at = 0; at + bands <= m_rows.size(); at += bands) {
            const float* row = m_rows.data() + at;
            Feature energies;
            energies.hasTimestamp = true;
            energies.timestamp = Vamp::RealTime::frame2RealTime(long(m_frame), 100);
            energies.values.assign(row, row + bands);
            features[kBands].push_back(std::move(energies));
            ++m_frame;
            m_tempo.add(m_onset.nextFrame(row, bands));

            m_group.insert(m_group.end(), row, row + bands);
            if (m_group.size() < std::size_t(m_groupFrames) * bands) continue;
            const host::BlockView out =
                m_pulsegrid->process(m_group.data(), std::uint32_t(m_groupFrames), std::uint32_t(bands));
            m_group.clear();
            Feature vector;
            vector.hasTimestamp = true;
            vector.timestamp = Vamp::RealTime::frame2RealTime(long(m_groupIndex * m_groupFrames), 100);
            ++m_groupIndex;
            vector.values.assign(out.data, out.data + out.size);
            // The profile is the vector's tail after the band scores and 15 statistics.
            Feature profile = vector;
            const std::size_t head = bands + 15;
            profile.values.assign(out.data + std::min<std::size_t>(head, out.size), out.data + out.size);
            features[kFeatures].push_back(std::move(vector));
            features[kPeriodicity].push_back(std::move(profile));
        }
    } catch (const std::exception& error) {
        // Vamp has no error path from process(): the outputs end here rather than skip groups.
        m_frames.reset();
        m_pulsegrid.reset();
        (void)refuse(error.what());
    }
    m_rows.clear();
}

Vamp::Plugin::FeatureSet RhythmPlugin::process(const float* const* inputBuffers, Vamp::RealTime) {
    FeatureSet features;
    if (!m_frames) return features;
    m_frames->push(mono(inputBuffers), m_rows);
    takeRows(features);
    return features;
}

Vamp::Plugin::FeatureSet RhythmPlugin::getRemainingFeatures() {
    FeatureSet features;
    if (!m_frames) return features;
    m_frames->finish(m_rows);
    takeRows(features);
    if (!m_frames) return features;
    try {
        const summary::TempoEstimate tempo = m_tempo.estimate();
        Feature answer;
        answer.hasTimestamp = true;
        answer.timestamp = Vamp::RealTime::zeroTime;
        answer.hasDuration = true;
        answer.duration = Vamp::RealTime::frame2RealTime(long(m_frames->samples()), unsigned(sampleRate()));
        answer.values.push_back(float(tempo.bpm));
        char label[96];
        if (tempo.bpm > 0.0)
            std::snprintf(label, sizeof label, "%.1f BPM, %s, confidence %.2f", tempo.bpm,
                          tempo.steady ? "steady" : "no steady beat", tempo.confidence);
        else
            std::snprintf(label, sizeof label, "no periodicity to measure");
        answer.label = label;
        features[kTempo].push_back(std::move(answer));
    } catch (const std::exception& error) {
        (void)refuse(error.what());
    }
    return features;
}

}  // namespace zqx::vamp
