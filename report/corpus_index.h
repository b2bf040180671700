// The corpus index: one self-contained HTML table of the summary rows of many results, each row
// linking to its file's report, sortable by any column with a few lines of inline script (the
// table reads in input order with scripts off).
#pragma once

#include <string>
#include <vector>

#include "report/result_document.h"

namespace zqx::report {

// One row: what the table shows of a result and where its report is.
struct IndexEntry {
    std::string link;  // URL of the file's report, relative to the index
    ResultDocument doc;
};

// The column keys, in table order: path, duration, rate, channels, tempo_bpm, tempo_confidence,
// tempo_steady, key, key_confidence, integrated_lufs, range_lu, dynamic_range. A "#sort=KEY" or
// "#sort=-KEY" (descending) fragment in the page's address sorts the table when it opens.
const std::vector<std::string>& indexColumnKeys();

// A relative path as a URL path: every byte but letters, digits, "-._~" and "/" percent-encoded,
// so that names with spaces, '#', '?' or '%' link to the right file.
std::string percentEncodePath(const std::string& path);

// The page. Only the first few fields of each document are read (facts and summary), so the
// documents may carry empty streams.
std::string renderCorpusIndex(const std::vector<IndexEntry>& entries, const std::string& title = "zqx corpus");

}  // namespace zqx::report
