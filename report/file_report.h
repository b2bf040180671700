// A file's report: one self-contained HTML page (inline SVG with the heat maps as inline PNG, an
// inline style sheet, no script, nothing fetched) drawing one result on a shared time axis.
#pragma once

#include <string>

#include "report/result_document.h"

namespace zqx::report {

struct FileReportOptions {
    std::string indexLink;   // when set, a link back to the corpus index (a relative URL)
    std::string resultName;  // the result file's name, shown at the foot of the page
};

// The HTML page. Throws std::runtime_error only if an image cannot be encoded.
std::string renderFileReport(const ResultDocument& doc, const FileReportOptions& options = {});

// The style sheet every report page carries inline.
const std::string& reportStyleSheet();

}  // namespace zqx::report
