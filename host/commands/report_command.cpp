// zqx report: HTML pages from result files, one per result and an index for several.
#include <filesystem>

#include "host/commands/commands.h"
#include "host/output_writer.h"
#include "report/corpus_index.h"
#include "report/file_report.h"

namespace fs = std::filesystem;

namespace zqx::host {

namespace {

std::string reportPathFor(const std::string& result) { return fs::path(result).replace_extension(".html").string(); }

// The URL of target as seen from a page in folder from.
std::string linkFrom(const fs::path& from, const fs::path& target) {
    const fs::path relative = fs::weakly_canonical(target).lexically_relative(fs::weakly_canonical(from));
    return report::percentEncodePath((relative.empty() ? target.filename() : relative).generic_string());
}

fs::path folderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// Writes the report of one result; returns its document, or throws with the file's name.
report::ResultDocument writeFileReport(const std::string& result, const std::string& output,
                                       const std::string& indexPath) {
    std::error_code ec;
    if (fs::path(output) == fs::path(result) || fs::equivalent(result, output, ec))
        throw OutputError("the report of '" + result + "' would replace the result itself");
    report::ResultDocument doc = report::loadResultDocument(result);
    report::FileReportOptions options;
    options.resultName = fs::path(result).filename().string();
    if (!indexPath.empty()) options.indexLink = linkFrom(folderOf(output), indexPath);
    writeFileAtomically(output, report::renderFileReport(doc, options));
    return doc;
}

}  // namespace

int reportCommand(const ReportOptions& options) {
    if (options.inputs.size() == 1 && !options.index) {
        const std::string& input = options.inputs.front();
        try {
            writeFileReport(input, options.output.empty() ? reportPathFor(input) : options.output, "");
        } catch (const std::exception& error) {
            reportError(error.what());
            return 1;
        }
        return 0;
    }

    // Several results: each report beside its result, and the index where -o says.
    const std::string indexPath = options.output.empty() ? "index.html" : options.output;
    std::vector<report::IndexEntry> entries;
    std::size_t failed = 0;
    for (const std::string& input : options.inputs) {
        const std::string output = reportPathFor(input);
        try {
            report::ResultDocument doc = writeFileReport(input, output, indexPath);
            // The index needs the facts and the summary only; a corpus of long files would not fit
            // in memory with every stream kept.
            doc.dropStreams();
            entries.push_back({linkFrom(folderOf(indexPath), output), std::move(doc)});
        } catch (const std::exception& error) {
            reportError(error.what());
            ++failed;
        }
    }
    try {
        writeFileAtomically(indexPath, report::renderCorpusIndex(entries));
    } catch (const std::exception& error) {
        reportError(error.what());
        return 1;
    }
    if (failed) {
        reportError(std::to_string(failed) + " of " + std::to_string(options.inputs.size()) +
                    " results could not be drawn; the index lists the others");
        return 1;
    }
    return 0;
}

}  // namespace zqx::host
