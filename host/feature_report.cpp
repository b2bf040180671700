// JSON and CSV forms of the extraction results, written row by row.
#include "host/feature_report.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
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

// A number as the JSON library prints a double: its shortest round-trip digits, "null" when not
// finite. The arrays written row by row must read exactly as the library's own dump of the same
// values would, and this is the routine that dump uses.
char* jsonNumber(char* out, double value) {
    if (!std::isfinite(value)) {
        std::memcpy(out, "null", 4);
        return out + 4;
    }
    return nlohmann::detail::to_chars(out, out + 64, value);
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
    json["tuning_cents"] = rounded(summary.tuningCents, 1);
    json["chords"] = std::move(chords);
    json["loudness"] = {{"integrated_lufs", rounded(summary.loudness.integratedLufs, 2)},
                        {"range_lu", rounded(summary.loudness.rangeLu, 2)},
                        {"sample_peak_dbfs", rounded(summary.loudness.samplePeakDbfs, 2)}};
    json["dynamic_range"] = summary.dynamicRange ? rounded(*summary.dynamicRange, 4) : ordered_json(nullptr);
    return json;
}

// Everything of the document but the features, as the library dumps it with an indent of one.
ordered_json documentHead(const InputDescription& input, const FeatureChain& chain, const ResultSummary& summary) {
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
    return doc;
}

// Text kept in memory up to a bound and moved to a temporary file beyond it: short inputs create
// no extra files (file creation dominates a batch of short files), long ones stay flat in memory.
class SpillText {
public:
    explicit SpillText(std::string spillPath, std::string shownName)
        : m_spillPath(std::move(spillPath)), m_shownName(std::move(shownName)) {}
    ~SpillText() {
        if (m_file) std::remove(m_spillPath.c_str());
    }
    SpillText(const SpillText&) = delete;
    SpillText& operator=(const SpillText&) = delete;

    void write(const std::string& text) {
        m_text += text;
        if (m_text.size() < kBound) return;
        if (!m_file) m_file = std::make_unique<BufferedFile>(m_spillPath, m_shownName);
        m_file->write(m_text);
        m_text.clear();
    }
    // Everything written so far, in order, onto out.
    void copyTo(BufferedFile& out) {
        if (m_file) {
            m_file->close();
            out.append(m_spillPath);
        }
        out.write(m_text);
    }

private:
    // 32 KB per array: a batch of one-second files never spills, and the six arrays of a long
    // input hold no more than a few hundred KB of the process's memory.
    static constexpr std::size_t kBound = std::size_t{1} << 15;
    std::string m_spillPath;
    std::string m_shownName;
    std::string m_text;
    std::unique_ptr<BufferedFile> m_file;
};

// The library's layout of an array at the given depth whose elements were saved, one per line at
// depth + 1 and separated by ",\n", in `elements`: "[]" when there are none.
void writeArray(BufferedFile& out, int depth, std::size_t count, SpillText& elements) {
    if (count == 0) {
        out.write("[]", 2);
        return;
    }
    out.write("[\n", 2);
    elements.copyTo(out);
    out.put('\n');
    out.write(std::string(std::size_t(depth), ' '));
    out.put(']');
}

}  // namespace

// The temporary files of one stream and how many rows went into them.
struct FeatureReportWriter::StreamFiles {
    std::string name;
    const FeatureStream* stream = nullptr;
    std::string csvPath;
    std::unique_ptr<BufferedFile> csv;
    std::unique_ptr<SpillText> times;   // the JSON's "times" elements
    std::unique_ptr<SpillText> values;  // the JSON's "values" elements
    std::size_t rows = 0;
    std::string line;
};

FeatureReportWriter::FeatureReportWriter(const std::string& dir, const std::string& stem,
                                         const FeatureChainSettings& settings)
    : m_base((std::filesystem::path(dir) / stem).string()) {
    for (const ExtractStage& stage : settings.stages) {
        if (stage.cut == BlockCut::Resample) continue;
        auto files = std::make_unique<StreamFiles>();
        files->name = stage.stream;
        files->csvPath = m_base + "." + stage.stream + ".csv";
        const std::string json = m_base + ".json";
        files->csv = std::make_unique<BufferedFile>(temporaryPathFor(files->csvPath), files->csvPath);
        files->times = std::make_unique<SpillText>(temporaryPathFor(json), json);
        files->values = std::make_unique<SpillText>(temporaryPathFor(json), json);
        m_streams.push_back(std::move(files));
    }
    const std::string json = m_base + ".json";
    m_bandEnergy = std::make_unique<StreamFiles>();
    m_bandEnergy->times = std::make_unique<SpillText>(temporaryPathFor(json), json);
    m_bandEnergy->values = std::make_unique<SpillText>(temporaryPathFor(json), json);
}

FeatureReportWriter::~FeatureReportWriter() {
    // A successful commit() renamed the CSVs' temporary files; otherwise they go.
    if (m_committed) return;
    for (const auto& files : m_streams) std::remove(files->csv->path().c_str());
}

FeatureReportWriter::StreamFiles& FeatureReportWriter::filesOf(const FeatureStream& stream) {
    for (const auto& files : m_streams)
        if (files->stream == &stream) return *files;
    for (const auto& files : m_streams) {
        if (files->stream == nullptr && files->name == stream.name) {
            files->stream = &stream;
            return *files;
        }
    }
    throw std::logic_error("the extract chain produced a stream its settings do not name: " + stream.name);
}

void FeatureReportWriter::streamRow(const FeatureStream& stream, std::size_t row) {
    StreamFiles& files = filesOf(stream);
    const double time = stream.times[row];
    const float* values = stream.row(row);
    std::string& line = files.line;
    char number[64];

    line.clear();
    if (files.rows == 0) {
        line = "time";
        for (const std::string& column : stream.columns) (line += ',') += column;
        line += '\n';
    }
    line.append(number, formatDouble(number, time));
    for (std::size_t i = 0; i < stream.width; ++i) {
        line += ',';
        line.append(number, formatFloat(number, values[i]));
    }
    line += '\n';
    files.csv->write(line);

    line.assign(files.rows > 0 ? ",\n    " : "    ");
    line.append(number, jsonNumber(number, time));
    files.times->write(line);

    line.assign(files.rows > 0 ? ",\n    [\n     " : "    [\n     ");
    for (std::size_t i = 0; i < stream.width; ++i) {
        if (i > 0) line += ",\n     ";
        line.append(number, jsonNumber(number, double(values[i])));
    }
    line += "\n    ]";
    files.values->write(line);
    ++files.rows;
}

void FeatureReportWriter::bandEnergyRow(const FeatureStream& pooled, std::size_t row) {
    StreamFiles& files = *m_bandEnergy;
    files.stream = &pooled;
    const float* values = pooled.row(row);
    std::string& line = files.line;
    char number[64];
    line.assign(files.rows > 0 ? ",\n    " : "    ");
    line.append(number, jsonNumber(number, pooled.times[row]));
    files.times->write(line);
    // Rounded to 0.001 (0.004 dB): the pictures need no more, and the document stays small.
    line.assign(files.rows > 0 ? ",\n    [\n     " : "    [\n     ");
    for (std::size_t i = 0; i < pooled.width; ++i) {
        if (i > 0) line += ",\n     ";
        line.append(number, jsonNumber(number, std::round(double(values[i]) * 1000.0) / 1000.0));
    }
    line += "\n    ]";
    files.values->write(line);
    ++files.rows;
}

namespace {

// The "columns" member's array at depth 3: "[]" or one quoted name per line.
std::string columnsArray(const std::vector<std::string>& columns) {
    if (columns.empty()) return "[]";
    std::string text = "[\n";
    for (std::size_t c = 0; c < columns.size(); ++c)
        text += (c > 0 ? ",\n    " : "    ") + ordered_json(columns[c]).dump();
    return text + "\n   ]";
}

}  // namespace

void FeatureReportWriter::commit(const InputDescription& input, const FeatureChain& chain,
                                 const ResultSummary& summary) {
    const std::string jsonPath = m_base + ".json";
    BufferedFile json(temporaryPathFor(jsonPath), jsonPath);
    std::string head = documentHead(input, chain, summary).dump(1);
    // The head ends in "\n}"; the features follow as its last member.
    head.resize(head.size() - 2);
    json.write(head);
    json.write(",\n \"features\": ");
    for (const auto& files : m_streams) {
        if (files->rows == 0) files->csv->write("time\n", 5);
        files->csv->close();
    }
    if (m_streams.empty()) json.write("{}", 2);
    for (std::size_t s = 0; s < m_streams.size(); ++s) {
        StreamFiles& files = *m_streams[s];
        const FeatureStream& stream = chain.stream(files.name);
        json.write(s == 0 ? "{\n  " : ",\n  ");
        json.write(ordered_json(stream.name).dump() + ": {\n   \"plugin\": " + ordered_json(stream.plugin).dump() +
                   ",\n   \"valuesPerRow\": " + std::to_string(stream.width) + ",\n   \"columns\": ");
        json.write(columnsArray(stream.columns));
        json.write(",\n   \"times\": ");
        writeArray(json, 3, files.rows, *files.times);
        json.write(",\n   \"values\": ");
        writeArray(json, 3, files.rows, *files.values);
        for (const auto& [key, value] : stream.facts)
            json.write(",\n   " + ordered_json(key).dump() + ": " + std::to_string(value));
        if (stream.cut == BlockCut::BandFrameGroups || stream.cut == BlockCut::BandFramesToEnd)
            json.write(std::string(",\n   \"bandScale\": ") +
                       (stream.bandScale == BandScale::PowerLaw ? "\"E^0.3 per band (E: band energy)\""
                                                                : "\"ln(1 + 1e6 * E) per band (E: band energy)\""));
        // A stream that summarises the whole input has its answer in the last row.
        if (stream.cut == BlockCut::BandFramesToEnd && files.rows > 0) {
            char number[64];
            json.write(",\n   \"value\": ");
            json.write(number, std::size_t(jsonNumber(number, double(stream.row(stream.rows() - 1)[0])) - number));
        }
        json.write("\n  }");
        if (s + 1 == m_streams.size()) {
            writeBandEnergy(json);
            json.write("\n }");
        }
    }
    json.write("\n}\n", 3);
    json.close();

    OutputBatch batch;
    batch.addWritten(jsonPath, json.path());
    for (const auto& files : m_streams) batch.addWritten(files->csvPath, files->csv->path());
    // A failing batch removes every temporary it was given; the destructor drops the rest.
    batch.commit();
    m_committed = true;
    // The arrays' spill files, if any, served only the JSON.
    for (const auto& files : m_streams) {
        files->times.reset();
        files->values.reset();
    }
    m_bandEnergy->times.reset();
    m_bandEnergy->values.reset();
}

// ",\n  \"bandEnergy\": {...}" after the last stream, nothing when no row was pooled.
void FeatureReportWriter::writeBandEnergy(BufferedFile& json) {
    const StreamFiles& files = *m_bandEnergy;
    if (files.rows == 0) return;
    const FeatureStream& pooled = *files.stream;
    json.write(",\n  \"bandEnergy\": {\n   \"plugin\": " + ordered_json(pooled.plugin).dump() +
               ",\n   \"valuesPerRow\": " + std::to_string(pooled.width) + ",\n   \"columns\": ");
    json.write(columnsArray(pooled.columns));
    json.write(",\n   \"times\": ");
    writeArray(json, 3, files.rows, *files.times);
    json.write(",\n   \"values\": ");
    writeArray(json, 3, files.rows, *files.values);
    json.write(",\n   \"framesPerRow\": " + std::to_string(FeatureChain::kBandPoolFrames) +
               ",\n   \"scale\": " +
               ordered_json("ln(1 + 1e6 * mean E) over the frames of the row, rounded to 0.001 (0.004 dB); "
                            "E as in bandEnergy.scale").dump() +
               "\n  }");
}

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

void writeFeatureReport(const std::string& dir, const std::string& stem, const InputDescription& input,
                        const FeatureChain& chain, const ResultSummary& summary) {
    FeatureChainSettings settings;
    settings.stages.clear();
    for (const FeatureStream& stream : chain.streams()) {
        ExtractStage stage;
        stage.stream = stream.name;
        stage.cut = stream.cut;
        settings.stages.push_back(stage);
    }
    FeatureReportWriter writer(dir, stem, settings);
    for (const FeatureStream& stream : chain.streams())
        for (std::size_t r = 0; r < stream.rows(); ++r) writer.streamRow(stream, r);
    for (std::size_t r = 0; r < chain.bandEnergy().rows(); ++r) writer.bandEnergyRow(chain.bandEnergy(), r);
    writer.commit(input, chain, summary);
}

std::vector<std::string> featureReportFiles(const std::string& dir, const std::string& stem,
                                            const FeatureChainSettings& settings) {
    const std::string base = (std::filesystem::path(dir) / stem).string();
    std::vector<std::string> files{base + ".json"};
    for (const ExtractStage& stage : settings.stages)
        if (stage.cut != BlockCut::Resample) files.push_back(base + "." + stage.stream + ".csv");
    return files;
}

}  // namespace zqx::host
