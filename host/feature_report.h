// The result files of one analysed input: a JSON document describing the run and its features,
// and one CSV per feature stream.
#pragma once

#include <string>
#include <vector>

#include "host/feature_chain.h"
#include "host/output_writer.h"

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
// rhythm, dynamics) to batch. Values are printed round-trip exact; times in seconds.
void addFeatureReport(OutputBatch& batch, const std::string& dir, const std::string& stem,
                      const InputDescription& input, const FeatureChain& chain);

// The files addFeatureReport() writes for an input with these settings: the JSON document first,
// then one CSV per stream.
std::vector<std::string> featureReportFiles(const std::string& dir, const std::string& stem,
                                            const FeatureChainSettings& settings);

// The CSV text of one stream: a header "time,<columns>" and one line per row.
std::string featureCsv(const FeatureStream& stream);

}  // namespace zqx::host
