// JSON and CSV forms of the extraction results.
#include "host/feature_report.h"

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

}  // namespace

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
                      const InputDescription& input, const FeatureChain& chain) {
    namespace fs = std::filesystem;
    ordered_json doc;
    doc["file"] = input.path;
    doc["format"] = input.format;
    doc["sampleRate"] = input.sampleRate;
    doc["channels"] = input.channels;
    doc["frames"] = input.frames;
    doc["durationSeconds"] = input.sampleRate > 0 ? double(input.frames) / input.sampleRate : 0.0;
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
