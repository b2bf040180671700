// The result files of one analysed input: a JSON document describing the run and its features,
// and one CSV per feature stream.
#pragma once

#include <string>
#include <vector>

#include "host/feature_chain.h"
#include "host/output_writer.h"
#include "host/result_summary.h"

namespace zqx::host {

// What is known about the input besides the chain's results.
struct InputDescription {
    std::string path;
    std::string format;
    int sampleRate = 0;
    int channels = 0;
    long long frames = 0;
};

// Adds "<dir>/<stem>.json" and "<dir>/<stem>.<stream>.csv" for each stream (chroma,
// rhythm, dynamics) to batch. The JSON document holds the summary first, then the run and the
// streams. Stream values are printed round-trip exact; times in seconds.
void addFeatureReport(OutputBatch& batch, const std::string& dir, const std::string& stem,
                      const InputDescription& input, const FeatureChain& chain, const ResultSummary& summary);

// The JSON text of a summary alone (the document's "summary" object), indented by one space.
std::string summaryJsonText(const ResultSummary& summary);

// The summary.csv row of an input (summaryTableColumns() order). Numbers are rounded for reading
// (BPM and LUFS to 0.01); an answer that does not exist (no tempo, no key, the loudness of
// silence) is an empty field.
std::vector<std::string> summaryTableRow(const InputDescription& input, const ResultSummary& summary);

// The files addFeatureReport() writes for an input with these settings: the JSON document first,
// then one CSV per stream.
std::vector<std::string> featureReportFiles(const std::string& dir, const std::string& stem,
                                            const FeatureChainSettings& settings);

// The CSV text of one stream: a header "time,<columns>" and one line per row.
std::string featureCsv(const FeatureStream& stream);

}  // namespace zqx::host
