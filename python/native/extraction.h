// The zqx command's extract chain and summary run for Python: on a float array or on an audio file, one input
// or many on native threads, or straight into result files. Nothing here touches Python objects,
// so every function runs with the GIL released.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/feature_chain.h"

namespace zqx::python {

// A result document (JSON text) without the streams' "values" and "times" (features.<stream>.values
// and .times): reading those back from text costs more than the rest of the document, so they go
// to Python as arrays, or are not needed. Throws nlohmann::json::parse_error for text that is not
// JSON.
std::string withoutStreamNumbers(const std::string& document);

// One feature stream's numbers: width values per row, row by row, and a time per row.
struct StreamArrays {
    std::string name;
    std::size_t width = 0;
    std::vector<float> values;
    std::vector<double> times;
};

// One analysed input: the JSON document `zqx extract` writes for it (host/feature_report) with
// every stream's "values" and "times" left out, those numbers as they are, and the band-energy
// frames the chain computed (bandCount values per 10 ms frame, row by row).
struct Extraction {
    std::string document;
    std::vector<StreamArrays> streams;
    std::vector<float> bands;
    int bandCount = 0;
};

// Runs the chain on n mono samples at sampleRate. The document names the input `name`.
// Throws what the chain throws (ModuleError, std::runtime_error for a rate no stage accepts).
Extraction extractSamples(const host::FeatureChainPlan& plan, const float* samples, std::size_t n,
                          int sampleRate, const std::string& name);

// Reads the file with the zqx command's reader (libsndfile, mixed to mono) and runs the chain.
// Throws host::AudioFileError naming the file, and what the chain throws.
Extraction extractFile(const host::FeatureChainPlan& plan, const std::string& path);

// One input of extractFiles(): its extraction, or the message of what went wrong (starting with
// the path).
struct FileOutcome {
    Extraction extraction;
    std::string error;
    bool ok = false;
};

// extractFile() on every path, on up to `threads` native threads; every file is tried.
std::vector<FileOutcome> extractFiles(const host::FeatureChainPlan& plan, const std::vector<std::string>& paths,
                                      int threads);

// What extractFileTo() wrote: the document without the streams' numbers, and the input's
// summary.csv row (host::summaryTableColumns() order).
struct WrittenResult {
    std::string document;
    std::vector<std::string> summaryRow;
};

// Analyses the file and writes its result files ("<outputDir>/<stem>.json" and a CSV per stream)
// the way `zqx extract` does: all of them appear together or none does. stem may hold
// '/'-separated sub-folders, which are created.
WrittenResult extractFileTo(const host::FeatureChainPlan& plan, const std::string& path,
                          const std::string& outputDir, const std::string& stem);

}  // namespace zqx::python
