// summary.csv: the corpus table of a `zqx extract` run, one row of musical answers per input,
// appended as each input completes and sorted by path at the end of the run.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace zqx::host {

// The table's columns, in order.
const std::vector<std::string>& summaryTableColumns();

// Lifecycle: open (checks a table that an earlier run left in the folder), append() rows from any
// thread as inputs complete, then sort() once. The file appears with the first row (a run whose
// every input fails leaves none), and each row is flushed at once, so the rows of completed
// inputs survive a stopped run; a later run into the same folder continues the table.
class SummaryTable {
public:
    static constexpr const char* kFileName = "summary.csv";

    // Throws OutputError when dir/summary.csv exists with another header (it is left untouched).
    explicit SummaryTable(const std::string& dir);
    ~SummaryTable();
    SummaryTable(const SummaryTable&) = delete;
    SummaryTable& operator=(const SummaryTable&) = delete;

    // One row: summaryTableColumns().size() fields, the input's path first; fields are quoted as
    // CSV needs. Throws std::invalid_argument for a wrong field count, OutputError when the write fails.
    void append(const std::vector<std::string>& fields);

    // Rewrites the file atomically with one row per path (the row appended last wins), sorted by
    // path; nothing when no row was ever written. Throws OutputError; the appended file stays as
    // it was then.
    void sort();

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    std::FILE* m_file = nullptr;
    bool m_fresh = true;  // no table with a header in the folder yet
    std::mutex m_mutex;
};

// The fields of a CSV text, one vector per record (RFC 4180: quoted fields may hold commas,
// quotes doubled and line breaks). Used to read the table back; exposed for the tests.
std::vector<std::vector<std::string>> parseCsv(const std::string& text);
// One CSV record from fields, ended by a line break.
std::string csvRecord(const std::vector<std::string>& fields);

}  // namespace zqx::host
