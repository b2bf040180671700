// What a report draws, read from a result JSON written by `zqx extract`: the file's facts, the
// settings each module ran with, the feature streams and, when the result has one, the summary
// (tempo, key, chords, loudness, dynamic range). Parts a result lacks stay empty; parts it has
// in a wrong shape are an error, so a report never silently draws half a stream.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zqx::report {

// A result that cannot be read or has a field of the wrong shape; the message names the file
// (when known) and the field.
class ResultFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Rows of equal width with a time stamp each (seconds from the start of the file). A JSON null
// (how NaN is written) reads as NaN.
struct Stream {
    std::vector<std::string> columns;
    std::vector<double> times;
    std::vector<float> values;
    std::size_t width = 0;

    std::size_t rows() const { return times.size(); }
    bool empty() const { return times.empty(); }
    const float* row(std::size_t r) const { return values.data() + r * width; }
    // The index of the column with this name, or -1.
    int column(const std::string& name) const;
};

struct ModuleSettings {
    std::string name;
    std::string version;
    // Values as JSON text ("true", "100", "0.1"), in the order of the result file.
    std::vector<std::pair<std::string, std::string>> moduleParams;
    std::vector<std::pair<std::string, std::string>> globalParams;
};

struct TempoCandidate {
    double bpm = 0.0;
    double weight = 0.0;
};

struct TempoSummary {
    double bpm = 0.0;
    double confidence = 0.0;
    std::vector<TempoCandidate> candidates;
    bool steady = false;
};

struct KeySummary {
    std::string tonic;
    std::string mode;
    std::string name;
    double confidence = 0.0;
};

struct ChordSegment {
    double start = 0.0;
    double end = 0.0;
    std::string label;
};

struct LoudnessSummary {
    double integratedLufs = 0.0;
    double rangeLu = 0.0;
    double samplePeakDbfs = 0.0;
};

// The result's "summary" object; each part is present only when the result has it.
struct Summary {
    bool present = false;
    std::optional<TempoSummary> tempo;
    std::optional<KeySummary> key;
    std::vector<ChordSegment> chords;
    std::optional<LoudnessSummary> loudness;
    std::optional<double> dynamicRange;
};

struct ResultDocument {
    std::string file;
    std::string format;
    int sampleRate = 0;
    int channels = 0;
    long long frames = 0;
    double durationSeconds = 0.0;
    int analysisSampleRate = 0;

    std::vector<ModuleSettings> modules;

    Stream chroma;
    double chromaBlockSeconds = 0.0;  // blockLength / analysisSampleRate; 0 when unknown

    Stream rhythm;
    double framePeriodSeconds = 0.01;  // of the band-energy frames that the rhythm lags count
    double rhythmGroupSeconds = 0.0;   // the time one rhythm row covers; 0 when unknown
    std::vector<int> rhythmLags;       // the lag of each "lag_N" column, in frames
    int rhythmFirstLagColumn = -1;     // index of the first "lag_N" column, -1 without any

    Stream bandEnergy;                 // pooled rows on the front-end's ln(1 + 1e6 E) scale
    double bandRowSeconds = 0.0;       // frames per row times the frame period
    std::vector<double> bandEdgesHz;

    std::optional<double> dynamicRange;  // the swellgrid value of features.dynamics

    Summary summary;

    // The end of the last thing drawn on the time axis: the duration, or a later stream end.
    double timeExtent() const;
    // Frees the streams, keeping the facts, settings and summary (all an index needs).
    void dropStreams();
};

// Reads a parsed result. Throws ResultFormatError naming the field that is missing or wrongly
// shaped ("features" must exist; each stream present must have equal-length "times" and "values"
// with rows of one width).
ResultDocument readResultDocument(const nlohmann::ordered_json& json);

// Reads and parses a result file. Throws ResultFormatError for an unreadable file, text that is
// not JSON, or a document readResultDocument rejects; the message starts with the path.
ResultDocument loadResultDocument(const std::string& path);

}  // namespace zqx::report
