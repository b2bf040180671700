// Reading a result JSON into the parts a report draws, checking each field's shape on the way.
#include "report/result_document.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace zqx::report {

namespace {

using nlohmann::ordered_json;

[[noreturn]] void fail(const std::string& field, const std::string& problem) {
    throw ResultFormatError("field '" + field + "' " + problem);
}

std::string join(const std::string& where, const char* name) { return where.empty() ? name : where + "." + name; }

const ordered_json* member(const ordered_json& object, const char* name) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(name);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

// A number, or NaN for null (nlohmann writes NaN and infinities as null).
double number(const ordered_json& value, const std::string& field) {
    if (value.is_null()) return std::numeric_limits<double>::quiet_NaN();
    if (!value.is_number()) fail(field, "is not a number");
    return value.get<double>();
}

double numberOr(const ordered_json& object, const char* name, const std::string& where, double fallback) {
    const ordered_json* value = member(object, name);
    return value ? number(*value, join(where, name)) : fallback;
}

std::string textOr(const ordered_json& object, const char* name, const std::string& where) {
    const ordered_json* value = member(object, name);
    if (!value) return {};
    if (!value->is_string()) fail(join(where, name), "is not a text");
    return value->get<std::string>();
}

bool flag(const ordered_json& object, const char* name, const std::string& where) {
    const ordered_json* value = member(object, name);
    if (!value) return false;
    if (!value->is_boolean()) fail(join(where, name), "is not true or false");
    return value->get<bool>();
}

int wholeNumber(const ordered_json& object, const char* name, const std::string& where) {
    const double value = numberOr(object, name, where, 0.0);
    if (!(value >= 0.0 && value <= 1e9) || value != std::floor(value))
        fail(join(where, name), "is not a whole number from 0 to 1e9");
    return static_cast<int>(value);
}

std::vector<std::pair<std::string, std::string>> parameterTexts(const ordered_json* object, const std::string& field) {
    std::vector<std::pair<std::string, std::string>> texts;
    if (!object) return texts;
    if (!object->is_object()) fail(field, "is not an object");
    for (const auto& [key, value] : object->items())
        texts.emplace_back(key, value.is_string() ? value.get<std::string>() : value.dump());
    return texts;
}

Stream readStream(const ordered_json& object, const std::string& field) {
    Stream stream;
    if (!object.is_object()) fail(field, "is not an object");
    const ordered_json* times = member(object, "times");
    const ordered_json* values = member(object, "values");
    if (!times && !values) return stream;
    if (!times || !times->is_array()) fail(field + ".times", "is missing or not an array");
    if (!values || !values->is_array()) fail(field + ".values", "is missing or not an array");
    if (times->size() != values->size())
        fail(field, "has " + std::to_string(times->size()) + " times but " + std::to_string(values->size()) +
                        " rows of values");
    if (const ordered_json* columns = member(object, "columns")) {
        if (!columns->is_array()) fail(field + ".columns", "is not an array");
        for (const ordered_json& c : *columns) {
            if (!c.is_string()) fail(field + ".columns", "holds something other than texts");
            stream.columns.push_back(c.get<std::string>());
        }
    }
    const std::string timesField = field + ".times";
    const std::string valuesField = field + ".values";
    stream.times.reserve(times->size());
    for (std::size_t r = 0; r < times->size(); ++r) {
        const double t = number((*times)[r], timesField);
        if (!std::isfinite(t) || t < 0.0) fail(timesField, "holds a time that is negative or not finite");
        stream.times.push_back(t);
        const ordered_json& row = (*values)[r];
        if (!row.is_array()) fail(valuesField, "row " + std::to_string(r) + " is not an array");
        if (r == 0) {
            stream.width = row.size();
            stream.values.reserve(stream.width * times->size());
        }
        if (row.size() != stream.width)
            fail(valuesField, "row " + std::to_string(r) + " has " + std::to_string(row.size()) +
                                  " values, row 0 has " + std::to_string(stream.width));
        for (const ordered_json& v : row) stream.values.push_back(float(number(v, valuesField)));
    }
    if (!stream.columns.empty() && stream.columns.size() != stream.width && !stream.empty())
        fail(field + ".columns", "names " + std::to_string(stream.columns.size()) + " columns for rows of " +
                                     std::to_string(stream.width));
    return stream;
}

void readRhythmLags(ResultDocument& doc) {
    for (std::size_t c = 0; c < doc.rhythm.columns.size(); ++c) {
        const std::string& name = doc.rhythm.columns[c];
        if (name.rfind("lag_", 0) != 0) continue;
        char* end = nullptr;
        const long lag = std::strtol(name.c_str() + 4, &end, 10);
        if (*end != '\0' || lag <= 0 || lag > 100000) fail("features.rhythm.columns", "has a bad lag column '" + name + "'");
        if (doc.rhythmFirstLagColumn < 0) doc.rhythmFirstLagColumn = int(c);
        // The lag columns must be one consecutive run, or the picture would mislabel them.
        if (int(c) != doc.rhythmFirstLagColumn + int(doc.rhythmLags.size()))
            fail("features.rhythm.columns", "has lag columns that are not consecutive");
        doc.rhythmLags.push_back(int(lag));
    }
}

Summary readSummary(const ordered_json& object) {
    Summary summary;
    summary.present = true;
    if (!object.is_object()) fail("summary", "is not an object");
    if (const ordered_json* tempo = member(object, "tempo")) {
        TempoSummary t;
        t.bpm = numberOr(*tempo, "bpm", "summary.tempo", std::nan(""));
        t.confidence = numberOr(*tempo, "confidence", "summary.tempo", std::nan(""));
        t.steady = flag(*tempo, "steady", "summary.tempo");
        if (const ordered_json* candidates = member(*tempo, "candidates")) {
            if (!candidates->is_array()) fail("summary.tempo.candidates", "is not an array");
            for (const ordered_json& c : *candidates)
                t.candidates.push_back({numberOr(c, "bpm", "summary.tempo.candidates", std::nan("")),
                                        numberOr(c, "weight", "summary.tempo.candidates", std::nan(""))});
        }
        summary.tempo = t;
    }
    if (const ordered_json* key = member(object, "key")) {
        KeySummary k;
        k.tonic = textOr(*key, "tonic", "summary.key");
        k.mode = textOr(*key, "mode", "summary.key");
        k.name = textOr(*key, "name", "summary.key");
        if (k.name.empty() && !k.tonic.empty()) k.name = k.tonic + " " + k.mode;
        k.confidence = numberOr(*key, "confidence", "summary.key", std::nan(""));
        // A key object with null names says that no key was found.
        if (!k.name.empty()) summary.key = k;
    }
    if (const ordered_json* chords = member(object, "chords")) {
        if (!chords->is_array()) fail("summary.chords", "is not an array");
        for (const ordered_json& c : *chords) {
            ChordSegment segment{numberOr(c, "start", "summary.chords", std::nan("")),
                                 numberOr(c, "end", "summary.chords", std::nan("")), textOr(c, "label", "summary.chords")};
            if (!(segment.start >= 0.0 && segment.end >= segment.start && std::isfinite(segment.end)))
                fail("summary.chords", "has a segment whose start and end are not 0 <= start <= end");
            summary.chords.push_back(std::move(segment));
        }
    }
    if (const ordered_json* loudness = member(object, "loudness")) {
        summary.loudness = LoudnessSummary{numberOr(*loudness, "integrated_lufs", "summary.loudness", std::nan("")),
                                           numberOr(*loudness, "range_lu", "summary.loudness", std::nan("")),
                                           numberOr(*loudness, "sample_peak_dbfs", "summary.loudness", std::nan(""))};
    }
    if (const ordered_json* dr = member(object, "dynamic_range")) summary.dynamicRange = number(*dr, "summary.dynamic_range");
    return summary;
}

}  // namespace

int Stream::column(const std::string& name) const {
    const auto it = std::find(columns.begin(), columns.end(), name);
    return it == columns.end() ? -1 : int(it - columns.begin());
}

double ResultDocument::timeExtent() const {
    double extent = std::isfinite(durationSeconds) ? durationSeconds : 0.0;
    if (!chroma.empty()) extent = std::max(extent, chroma.times.back() + chromaBlockSeconds);
    if (!bandEnergy.empty()) extent = std::max(extent, bandEnergy.times.back() + bandRowSeconds);
    if (!rhythm.empty()) extent = std::max(extent, rhythm.times.back() + rhythmGroupSeconds);
    for (const ChordSegment& c : summary.chords) extent = std::max(extent, c.end);
    return extent;
}

void ResultDocument::dropStreams() {
    chroma = {};
    rhythm = {};
    bandEnergy = {};
}

ResultDocument readResultDocument(const ordered_json& json) {
    if (!json.is_object()) throw ResultFormatError("not a zqx result: the document is not a JSON object");
    const ordered_json* features = member(json, "features");
    if (!features || !features->is_object()) throw ResultFormatError("not a zqx result: no 'features' object");

    ResultDocument doc;
    doc.file = textOr(json, "file", "");
    doc.format = textOr(json, "format", "");
    doc.sampleRate = wholeNumber(json, "sampleRate", "");
    doc.channels = wholeNumber(json, "channels", "");
    doc.frames = static_cast<long long>(numberOr(json, "frames", "", 0.0));
    doc.durationSeconds = numberOr(json, "durationSeconds", "", 0.0);
    if (!(doc.durationSeconds >= 0.0)) fail("durationSeconds", "is negative or not a number");
    doc.analysisSampleRate = wholeNumber(json, "analysisSampleRate", "");
    if (doc.analysisSampleRate == 0) doc.analysisSampleRate = doc.sampleRate;

    if (const ordered_json* modules = member(json, "modules")) {
        if (!modules->is_array()) fail("modules", "is not an array");
        for (const ordered_json& m : *modules) {
            ModuleSettings settings;
            settings.name = textOr(m, "name", "modules");
            if (const ordered_json* info = member(m, "info")) settings.version = textOr(*info, "version", "modules.info");
            settings.moduleParams = parameterTexts(member(m, "moduleParams"), "modules.moduleParams");
            settings.globalParams = parameterTexts(member(m, "globalParams"), "modules.globalParams");
            doc.modules.push_back(std::move(settings));
        }
    }

    if (const ordered_json* band = member(json, "bandEnergy")) {
        doc.framePeriodSeconds = numberOr(*band, "framePeriodSeconds", "bandEnergy", 0.01);
        if (!(doc.framePeriodSeconds > 0.0)) fail("bandEnergy.framePeriodSeconds", "is not positive");
        if (const ordered_json* edges = member(*band, "bandEdgesHz")) {
            if (!edges->is_array()) fail("bandEnergy.bandEdgesHz", "is not an array");
            for (const ordered_json& e : *edges) doc.bandEdgesHz.push_back(number(e, "bandEnergy.bandEdgesHz"));
        }
    }

    if (const ordered_json* chroma = member(*features, "chroma")) {
        doc.chroma = readStream(*chroma, "features.chroma");
        const double block = numberOr(*chroma, "blockLength", "features.chroma", 0.0);
        if (block > 0.0 && doc.analysisSampleRate > 0) doc.chromaBlockSeconds = block / doc.analysisSampleRate;
        else if (doc.chroma.rows() > 1) doc.chromaBlockSeconds = doc.chroma.times[1] - doc.chroma.times[0];
    }
    if (const ordered_json* rhythm = member(*features, "rhythm")) {
        doc.rhythm = readStream(*rhythm, "features.rhythm");
        readRhythmLags(doc);
        const double frames = numberOr(*rhythm, "framesPerGroup", "features.rhythm", 0.0);
        if (frames > 0.0) doc.rhythmGroupSeconds = frames * doc.framePeriodSeconds;
        else if (doc.rhythm.rows() > 1) doc.rhythmGroupSeconds = doc.rhythm.times[1] - doc.rhythm.times[0];
    }
    if (const ordered_json* band = member(*features, "bandEnergy")) {
        doc.bandEnergy = readStream(*band, "features.bandEnergy");
        const double frames = numberOr(*band, "framesPerRow", "features.bandEnergy", 1.0);
        if (!(frames >= 1.0)) fail("features.bandEnergy.framesPerRow", "is less than 1");
        doc.bandRowSeconds = frames * doc.framePeriodSeconds;
    }
    if (const ordered_json* dynamics = member(*features, "dynamics")) {
        if (const ordered_json* value = member(*dynamics, "value")) doc.dynamicRange = number(*value, "features.dynamics.value");
    }
    if (const ordered_json* summary = member(json, "summary")) doc.summary = readSummary(*summary);
    return doc;
}

ResultDocument loadResultDocument(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw ResultFormatError("cannot read '" + path + "': it is a folder");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ResultFormatError("cannot read '" + path + "': " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw ResultFormatError("cannot read '" + path + "'");
    ordered_json json;
    try {
        json = ordered_json::parse(text.str());
    } catch (const nlohmann::json::parse_error& error) {
        throw ResultFormatError("'" + path + "' is not JSON: " + error.what());
    }
    try {
        return readResultDocument(json);
    } catch (const ResultFormatError& error) {
        throw ResultFormatError("'" + path + "': " + error.what());
    }
}

}  // namespace zqx::report
