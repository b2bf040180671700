// The corpus table: appending rows, reading them back, sorting.
#include "host/summary_table.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <filesystem>

#include "host/output_writer.h"

namespace zqx::host {

namespace {

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

const std::vector<std::string>& summaryTableColumns() {
    static const std::vector<std::string> columns = {
        "path",     "duration",       "rate",        "channels",         "tempo_bpm",     "tempo_confidence",
        "tempo_steady", "key",        "key_confidence", "integrated_lufs", "range_lu",    "dynamic_range"};
    return columns;
}

std::string csvRecord(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) line += ',';
        const std::string& f = fields[i];
        if (f.find_first_of(",\"\r\n") == std::string::npos) {
            line += f;
            continue;
        }
        line += '"';
        for (char c : f) line += c == '"' ? std::string("\"\"") : std::string(1, c);
        line += '"';
    }
    return line + '\n';
}

std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
            continue;
        }
        if (c == '"') {
            quoted = any = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
            any = true;
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (any || !field.empty()) {
                record.push_back(std::move(field));
                records.push_back(std::move(record));
            }
            record.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.empty()) {
        record.push_back(std::move(field));
        records.push_back(std::move(record));
    }
    return records;
}

SummaryTable::SummaryTable(const std::string& dir) : m_path((std::filesystem::path(dir) / kFileName).string()) {
    std::error_code ec;
    m_fresh = !std::filesystem::exists(m_path, ec) || std::filesystem::file_size(m_path, ec) == 0;
    if (!m_fresh) {
        const std::vector<std::vector<std::string>> records = parseCsv(readWhole(m_path));
        if (records.empty() || records.front() != summaryTableColumns())
            throw OutputError("'" + m_path + "' has other columns than this zqx writes; move it away first");
    }
}

SummaryTable::~SummaryTable() {
    if (m_file) std::fclose(m_file);
}

void SummaryTable::append(const std::vector<std::string>& fields) {
    if (fields.size() != summaryTableColumns().size())
        throw std::invalid_argument("summary table: a row of " + std::to_string(fields.size()) + " fields");
    std::string text = csvRecord(fields);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file) {
        m_file = std::fopen(m_path.c_str(), "ab");
        if (!m_file) throw OutputError("cannot append to '" + m_path + "'");
        if (m_fresh) text = csvRecord(summaryTableColumns()) + text;
        m_fresh = false;
    }
    if (std::fputs(text.c_str(), m_file) < 0 || std::fflush(m_file) != 0)
        throw OutputError("cannot append to '" + m_path + "'");
}

void SummaryTable::sort() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (m_fresh) return;
    std::vector<std::vector<std::string>> records = parseCsv(readWhole(m_path));
    const std::size_t width = summaryTableColumns().size();
    std::map<std::string, std::vector<std::string>> byPath;
    for (std::size_t r = 1; r < records.size(); ++r)
        if (records[r].size() == width) byPath[records[r][0]] = std::move(records[r]);
    std::string text = csvRecord(summaryTableColumns());
    for (const auto& [path, record] : byPath) text += csvRecord(record);
    writeFileAtomically(m_path, text);
}

}  // namespace zqx::host
