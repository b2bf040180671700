// The corpus index page and its sorting script.
#include "report/corpus_index.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "report/file_report.h"
#include "report/svg_picture.h"

namespace zqx::report {

namespace {

struct Cell {
    std::string text;
    std::string sortKey;  // a number for numeric columns ("" sorts last), else the text
};

// Sorts on a click of a header (again: the other way) and on "#sort=KEY" / "#sort=-KEY" at load.
// Rows move as whole <tr> elements, so each keeps its link.
const char* const kSortScript = R"JS(
(function () {
  var table = document.getElementById('corpus');
  var heads = table.tHead.rows[0].cells;
  function sortBy(index, descending) {
    var body = table.tBodies[0];
    var numeric = heads[index].classList.contains('num');
    // Keys are read once per row, not once per comparison.
    var keyed = Array.prototype.map.call(body.rows, function (row) {
      var v = row.cells[index].getAttribute('data-v');
      return {row: row, empty: v === '', key: numeric ? parseFloat(v) : v};
    });
    keyed.sort(function (a, b) {
      if (a.empty || b.empty) return a.empty === b.empty ? 0 : (a.empty ? 1 : -1);
      var order = a.key < b.key ? -1 : (a.key > b.key ? 1 : 0);
      return descending ? -order : order;
    });
    var rows = keyed.map(function (k) { return k.row; });
    var fragment = document.createDocumentFragment();
    rows.forEach(function (row) { fragment.appendChild(row); });
    body.appendChild(fragment);
    for (var i = 0; i < heads.length; i++) heads[i].setAttribute('aria-sort', 'none');
    heads[index].setAttribute('aria-sort', descending ? 'descending' : 'ascending');
  }
  Array.prototype.forEach.call(heads, function (head, index) {
    head.tabIndex = 0;
    function toggle() { sortBy(index, head.getAttribute('aria-sort') === 'ascending'); }
    head.addEventListener('click', toggle);
    head.addEventListener('keydown', function (e) { if (e.key === 'Enter' || e.key === ' ') { e.preventDefault(); toggle(); } });
  });
  var wanted = /^#sort=(-?)([a-z_]+)$/.exec(location.hash);
  if (wanted) {
    for (var i = 0; i < heads.length; i++)
      if (heads[i].getAttribute('data-key') === wanted[2]) sortBy(i, wanted[1] === '-');
  }
})();
)JS";

std::string numberKey(double v) {
    if (!std::isfinite(v)) return "";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.9g", v);
    return buffer;
}

Cell numberCell(double v, int decimals) { return {formatNumber(v, decimals), numberKey(v)}; }
Cell missing() { return {"\u2013", ""}; }

std::vector<Cell> cellsOf(const ResultDocument& doc) {
    const Summary& s = doc.summary;
    const double nan = std::nan("");
    std::vector<Cell> cells;
    cells.push_back({doc.file, doc.file});
    cells.push_back(numberCell(doc.durationSeconds, 1));
    cells.push_back(numberCell(doc.sampleRate, 0));
    cells.push_back(numberCell(doc.channels, 0));
    cells.push_back(numberCell(s.tempo ? s.tempo->bpm : nan, 1));
    cells.push_back(numberCell(s.tempo ? s.tempo->confidence : nan, 2));
    cells.push_back(s.tempo ? Cell{s.tempo->steady ? "yes" : "no", s.tempo->steady ? "1" : "0"} : missing());
    cells.push_back(s.key ? Cell{s.key->name, s.key->name} : missing());
    cells.push_back(numberCell(s.key ? s.key->confidence : nan, 2));
    cells.push_back(numberCell(s.loudness ? s.loudness->integratedLufs : nan, 1));
    cells.push_back(numberCell(s.loudness ? s.loudness->rangeLu : nan, 1));
    const std::optional<double> dr = s.dynamicRange ? s.dynamicRange : doc.dynamicRange;
    cells.push_back(numberCell(dr ? *dr : nan, 3));
    return cells;
}

}  // namespace

std::string percentEncodePath(const std::string& path) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            out += char(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

const std::vector<std::string>& indexColumnKeys() {
    static const std::vector<std::string> keys = {
        "path", "duration", "rate", "channels", "tempo_bpm", "tempo_confidence", "tempo_steady", "key",
        "key_confidence", "integrated_lufs", "range_lu", "dynamic_range"};
    return keys;
}

std::string renderCorpusIndex(const std::vector<IndexEntry>& entries, const std::string& title) {
    static const char* const headings[] = {"file", "duration (s)", "rate (Hz)", "channels", "tempo (BPM)",
                                           "tempo confidence", "steady", "key", "key confidence",
                                           "integrated (LUFS)", "range (LU)", "dynamic range"};
    const std::vector<std::string>& keys = indexColumnKeys();
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
                       "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                       "script-src 'unsafe-inline'; style-src 'unsafe-inline'\">"
                       "<title>" + escapeHtml(title) + "</title><style>" + reportStyleSheet() +
                       "#corpus th{cursor:pointer;border-bottom:2px solid #999;vertical-align:bottom}#corpus td{white-space:nowrap}"
                       ".scroll{overflow-x:auto}"
                       "#corpus th[aria-sort=ascending]::after{content:' \\25B2'}"
                       "#corpus th[aria-sort=descending]::after{content:' \\25BC'}"
                       "#corpus tbody tr:nth-child(even){background:#f6f6f6}</style></head><body>\n<h1>" +
                       escapeHtml(title) + "</h1><p class=\"note\">" + std::to_string(entries.size()) +
                       (entries.size() == 1 ? " file" : " files") +
                       ". Click a column heading to sort by it (again for the other order); each file name "
                       "opens its report.</p>\n<div class=\"scroll\"><table id=\"corpus\"><thead><tr>";
    for (std::size_t c = 0; c < keys.size(); ++c)
        html += std::string("<th scope=\"col\" data-key=\"") + keys[c] + "\"" + (c == 0 || c == 6 || c == 7 ? "" : " class=\"num\"") +
                " aria-sort=\"none\">" + headings[c] + "</th>";
    html += "</tr></thead><tbody>\n";
    for (const IndexEntry& entry : entries) {
        const std::vector<Cell> cells = cellsOf(entry.doc);
        html += "<tr>";
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const bool numeric = !(c == 0 || c == 6 || c == 7);
            html += "<td" + std::string(numeric ? " class=\"num\"" : "") + " data-v=\"" + escapeHtml(cells[c].sortKey) + "\">";
            if (c == 0) html += "<a href=\"" + escapeHtml(entry.link) + "\">" + escapeHtml(cells[c].text) + "</a>";
            else html += escapeHtml(cells[c].text);
            html += "</td>";
        }
        html += "</tr>\n";
    }
    html += "</tbody></table></div>\n<script>" + std::string(kSortScript) + "</script>\n</body></html>\n";
    return html;
}

}  // namespace zqx::report
