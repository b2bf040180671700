// JSON and CSV forms of the extraction results.
#include "host/feature_report.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

namespace zqx::host {

namespace {

using nlohmann::ordered_json;

ordered_json toJson(const ParameterMap& map) {
    ordered_json object = ordered_json::object();
    for (const auto& [name, value] : map.values())
        std::visit([&, n = name](const auto& v) { object[n] = v; }, value);
    return object;
}

ordered_json streamJson(const FeatureStream& stream) {
    ordered_json json;
    json["plugin"] = stream.plugin;
    json["valuesPerRow"] = stream.width;
    json["columns"] = stream.columns;
    json["times"] = stream.times;
    ordered_json rows = ordered_json::array();
    for (std::size_t r = 0; r < stream.rows(); ++r)
        rows.push_back(std::vector<float>(stream.row(r), stream.row(r) + stream.width));
    json["values"] = std::move(rows);
    return json;
}

// value rounded to `digits` decimals, null when it is not finite.
ordered_json rounded(double value, int digits) {
    if (!std::isfinite(value)) return nullptr;
    const double scale = std::pow(10.0, digits);
    return std::round(value * scale) / scale;
}

std::string fixed(double value, int digits) {
    if (!std::isfinite(value)) return "";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

ordered_json summaryJson(const ResultSummary& summary) {
    ordered_json tempo;
    const bool hasTempo = summary.tempo.bpm > 0.0;
    tempo["bpm"] = hasTempo ? rounded(summary.tempo.bpm, 2) : ordered_json(nullptr);
    tempo["confidence"] = rounded(summary.tempo.confidence, 3);
    ordered_json candidates = ordered_json::array();
    for (const summary::TempoCandidate& c : summary.tempo.candidates)
        candidates.push_back({{"bpm", rounded(c.bpm, 2)}, {"weight", rounded(c.weight, 3)}});
    tempo["candidates"] = std::move(candidates);
    tempo["steady"] = summary.tempo.steady;

    ordered_json key;
    const summary::KeyEstimate& k = summary.key;
    key["tonic"] = k.found ? ordered_json(k.tonicName) : ordered_json(nullptr);
    key["mode"] = k.found ? ordered_json(k.mode) : ordered_json(nullptr);
    key["name"] = k.found ? ordered_json(k.name) : ordered_json(nullptr);
    key["confidence"] = rounded(k.confidence, 3);

    ordered_json chords = ordered_json::array();
    for (const summary::ChordSegment& c : summary.chords)
        chords.push_back({{"start", rounded(c.start, 6)}, {"end", rounded(c.end, 6)}, {"label", c.label}});

    ordered_json json;
    json["tempo"] = std::move(tempo);
    json["key"] = std::move(key);
    json["chords"] = std::move(chords);
    json["loudness"] = {{"integrated_lufs", rounded(summary.loudness.integratedLufs, 2)},
                        {"range_lu", rounded(summary.loudness.rangeLu, 2)},
                        {"sample_peak_dbfs", rounded(summary.loudness.samplePeakDbfs, 2)}};
    json["dynamic_range"] = summary.dynamicRange ? rounded(*summary.dynamicRange, 4) : ordered_json(nullptr);
    return json;
}

}  // namespace

std::string summaryJsonText(const ResultSummary& summary) { return summaryJson(summary).dump(1) + "\n"; }

std::vector<std::string> summaryTableRow(const InputDescription& input, const ResultSummary& summary) {
    const double duration = input.sampleRate > 0 ? double(input.frames) / input.sampleRate : 0.0;
    return {input.path,
            fixed(duration, 3),
            std::to_string(input.sampleRate),
            std::to_string(input.channels),
            summary.tempo.bpm > 0.0 ? fixed(summary.tempo.bpm, 2) : "",
            fixed(summary.tempo.confidence, 3),
            summary.tempo.steady ? "true" : "false",
            summary.key.found ? summary.key.name : "",
            fixed(summary.key.confidence, 3),
            fixed(summary.loudness.integratedLufs, 2),
            fixed(summary.loudness.rangeLu, 2),
            summary.dynamicRange ? fixed(*summary.dynamicRange, 4) : ""};
}

std::string featureCsv(const FeatureStream& stream) {
    std::string text = "time";
    for (const std::string& column : stream.columns) text += "," + column;
    text += '\n';
    for (std::size_t r = 0; r < stream.rows(); ++r) {
        text += formatDouble(stream.times[r]);
        const float* row = stream.row(r);
        for (std::size_t i = 0; i < stream.width; ++i) {
            text += ',';
            text += formatFloat(row[i]);
        }
        text += '\n';
    }
    return text;
}

std::vector<std::string> featureReportFiles(const std::string& dir, const std::string& stem,
                                            const FeatureChainSettings& settings) {
    const std::string base = (std::filesystem::path(dir) / stem).string();
    std::vector<std::string> files{base + ".json"};
    for (const ExtractStage& stage : settings.stages)
        if (stage.cut != BlockCut::Resample) files.push_back(base + "." + stage.stream + ".csv");
    return files;
}

void addFeatureReport(OutputBatch& batch, const std::string& dir, const std::string& stem,
                      const InputDescription& input, const FeatureChain& chain, const ResultSummary& summary) {
    namespace fs = std::filesystem;
    ordered_json doc;
    doc["file"] = input.path;
    doc["format"] = input.format;
    doc["sampleRate"] = input.sampleRate;
    doc["channels"] = input.channels;
    doc["frames"] = input.frames;
    doc["durationSeconds"] = input.sampleRate > 0 ? double(input.frames) / input.sampleRate : 0.0;
    doc["summary"] = summaryJson(summary);
    doc["analysisSampleRate"] = chain.analysisRate();
    const RateConversion& conversion = chain.rateConversion();
    if (conversion.active)
        doc["rateConversion"] = {{"plugin", chain.modules().stages().front().name()},
                                 {"fromHz", conversion.fromHz},
                                 {"toHz", conversion.toHz},
                                 {"automatic", conversion.automatic},
                                 {"reason", conversion.reason}};
    else
        doc["rateConversion"] = nullptr;
    doc["analysedSamples"] = chain.analysedSamples();

    ordered_json frontEnd;
    frontEnd["framePeriodSeconds"] = BandEnergyFrontEnd::kFramePeriodSeconds;
    frontEnd["frameLength"] = chain.frontEnd().frameLength();
    frontEnd["window"] = "hann";
    frontEnd["bands"] = chain.frontEnd().bandCount();
    frontEnd["bandEdgesHz"] = chain.frontEnd().bandEdges();
    frontEnd["scale"] = "ln(1 + 1e6 * E), E = sum of squared 1/N-scaled FFT magnitudes in the band";
    frontEnd["frames"] = chain.bandFrames();
    doc["bandEnergy"] = std::move(frontEnd);

    ordered_json modules = ordered_json::array();
    for (const ModuleStage& stage : chain.modules().stages()) {
        const ModuleInfoTexts texts = stage.infoTexts();
        ordered_json module;
        module["name"] = stage.name();
        module["file"] = stage.library().path();
        module["info"] = {{"author", texts.author},   {"contact", texts.contact},
                          {"ownerNotice", texts.ownerNotice}, {"date", texts.date},
                          {"version", texts.version}, {"description", texts.description}};
        module["moduleParams"] = toJson(stage.moduleParams());
        module["globalParams"] = toJson(stage.globalParamsSeen());
        modules.push_back(std::move(module));
    }
    doc["modules"] = std::move(modules);
    doc["globalParamsAfterCreation"] = toJson(chain.globalParams());

    ordered_json features = ordered_json::object();
    for (const FeatureStream& stream : chain.streams()) {
        ordered_json json = streamJson(stream);
        for (const auto& [key, value] : stream.facts) json[key] = value;
        if (stream.cut == BlockCut::BandFrameGroups || stream.cut == BlockCut::BandFramesToEnd)
            json["bandScale"] = stream.bandScale == BandScale::PowerLaw ? "E^0.3 per band (E: band energy)"
                                                                        : "ln(1 + 1e6 * E) per band (E: band energy)";
        // A stream that summarises the whole input has its answer in the last row.
        if (stream.cut == BlockCut::BandFramesToEnd && stream.rows() > 0) json["value"] = stream.row(stream.rows() - 1)[0];
        features[stream.name] = std::move(json);
    }
    doc["features"] = std::move(features);

    const fs::path base = fs::path(dir) / stem;
    batch.add(base.string() + ".json", doc.dump(1) + "\n");
    for (const FeatureStream& stream : chain.streams())
        batch.add(base.string() + "." + stream.name + ".csv", featureCsv(stream));
}

}  // namespace zqx::host
