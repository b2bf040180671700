// The result files of one analysed input: a JSON document describing the run and its features,
// and one CSV per feature stream, written as the chain produces its rows.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "host/feature_chain.h"
#include "host/output_writer.h"
#include "host/result_summary.h"
#include "report/result_document.h"

namespace zqx::host {

// What is known about the input besides the chain's results.
struct InputDescription {
    std::string path;
    std::string format;
    int sampleRate = 0;
    int channels = 0;
    long long frames = 0;
};

// The HTML page of a result that zqx extract --report draws after writing it.
struct HtmlReportRequest {
    std::string indexLink;         // a link from the page to the corpus index, or empty
    report::ResultDocument drawn;  // the facts and summary drawn (streams left empty), for an index
};

// Writes "<dir>/<stem>.json" and "<dir>/<stem>.<stream>.csv" for each stream (chroma, rhythm,
// dynamics). The JSON document holds the summary first, then the run and the streams. Stream values
// are printed round-trip exact; times in seconds.
//
// Lifecycle:
//   1. Construct before the chain runs (dir must exist): one temporary file per CSV and two per
//      stream for the JSON's "times" and "values" arrays are opened in dir.
//   2. Pass it to the FeatureChain as its listener: each row goes through buffered writers into
//      those files as soon as the chain produces it, so nothing grows with the input's length.
//   3. commit() once the chain has finished: writes the JSON document around the saved arrays
//      and renames every file into place together.
// Destroyed without a successful commit(), it removes its temporary files: the result files
// appear whole or not at all. One chain's thread drives it.
class FeatureReportWriter : public FeatureListener {
public:
    FeatureReportWriter(const std::string& dir, const std::string& stem, const FeatureChainSettings& settings);
    ~FeatureReportWriter() override;
    FeatureReportWriter(const FeatureReportWriter&) = delete;
    FeatureReportWriter& operator=(const FeatureReportWriter&) = delete;

    void streamRow(const FeatureStream& stream, std::size_t row) override;
    void bandEnergyRow(const FeatureStream& pooled, std::size_t row) override;
    // Throws OutputError when a file cannot be written; nothing is left behind then.
    void commit(const InputDescription& input, const FeatureChain& chain, const ResultSummary& summary);

private:
    struct StreamFiles;
    StreamFiles& filesOf(const FeatureStream& stream);
    void writeBandEnergy(BufferedFile& json);

    std::string m_base;
    std::vector<std::unique_ptr<StreamFiles>> m_streams;
    std::unique_ptr<StreamFiles> m_bandEnergy;  // the pooled band energies: JSON arrays only
    bool m_committed = false;
};

// The same files for a chain that has kept its rows in memory (zqx demo): the rows are replayed
// through a FeatureReportWriter.
void writeFeatureReport(const std::string& dir, const std::string& stem, const InputDescription& input,
                        const FeatureChain& chain, const ResultSummary& summary);

// The JSON text of a summary alone (the document's "summary" object), indented by one space.
std::string summaryJsonText(const ResultSummary& summary);

// The summary.csv row of an input (summaryTableColumns() order). Numbers are rounded for reading
// (BPM and LUFS to 0.01); an answer that does not exist (no tempo, no key, the loudness of
// silence) is an empty field.
std::vector<std::string> summaryTableRow(const InputDescription& input, const ResultSummary& summary);

// The files FeatureReportWriter writes for an input with these settings: the JSON document first,
// then one CSV per stream.
std::vector<std::string> featureReportFiles(const std::string& dir, const std::string& stem,
                                            const FeatureChainSettings& settings);

}  // namespace zqx::host
