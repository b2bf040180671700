// Assembling the panels of a file's report into one page.
#include "report/file_report.h"

#include <algorithm>
#include <filesystem>

#include "report/detail/panels.h"
#include "report/svg_picture.h"

namespace zqx::report {

const std::string& reportStyleSheet() {
    // System font stacks only: a report never loads a font.
    static const std::string css =
        "body{font:14px/1.4 system-ui,-apple-system,'Segoe UI',sans-serif;margin:16px auto;max-width:1240px;"
        "padding:0 12px;color:#222;background:#fff}"
        "h1{font-size:20px;margin:0 0 4px}h2{font-size:16px;margin:18px 0 4px}h3{font-size:14px;margin:10px 0 4px}"
        "h4{font-size:13px;margin:6px 0 2px;font-weight:normal;color:#555}"
        ".note{color:#444;margin:2px 0 6px;font-size:13px}.panel{border-top:1px solid #ddd;padding-top:4px}"
        "svg{width:100%;height:auto;display:block}svg text{font-family:system-ui,sans-serif;fill:#222}"
        "svg .tick{font-size:11px}svg .axis{font-size:12px}svg .key{font-size:13px;font-weight:600}"
        "svg .mark{font-size:12px;stroke:#fff;stroke-width:3px;paint-order:stroke}"
        "table{border-collapse:collapse;font-size:13px}th,td{padding:2px 8px;text-align:left;"
        "border-bottom:1px solid #eee;vertical-align:top}th[scope=row]{font-weight:normal;color:#555}"
        ".tables{display:flex;flex-wrap:wrap;gap:24px}"
        ".switch input{margin-left:8px}"
        "#half-peak:checked~svg .half-mean,#half-mean:checked~svg .half-peak{display:none}"
        "td.num,th.num{text-align:right}";
    return css;
}

std::string renderFileReport(const ResultDocument& doc, const FileReportOptions& options) {
    const std::string name = doc.file.empty() ? options.resultName : std::filesystem::path(doc.file).filename().string();
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
                       "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src data:; "
                       "style-src 'unsafe-inline'\">"
                       "<title>" + escapeHtml(name) + " \u2013 zqx report</title><style>" + reportStyleSheet() +
                       "</style></head><body>\n";
    if (!options.indexLink.empty())
        html += "<p class=\"note\"><a href=\"" + escapeHtml(options.indexLink) + "\">\u2190 corpus index</a></p>";
    html += "<h1>" + escapeHtml(name) + "</h1>";
    html += "<p class=\"note\">" + escapeHtml(doc.file) + " \u00b7 " +
            escapeHtml(doc.format.empty() ? std::string("format unknown") : doc.format) + " \u00b7 " +
            std::to_string(doc.sampleRate) + " Hz \u00b7 " + std::to_string(doc.channels) +
            (doc.channels == 1 ? " channel" : " channels") + " \u00b7 " + formatDuration(doc.durationSeconds) +
            "</p>\n";

    TimeAxis axis;
    axis.extent = std::max(doc.timeExtent(), 1e-3);
    html += detail::chromaPanel(doc, axis);
    html += detail::bandEnergyPanel(doc, axis);
    html += detail::rhythmPanel(doc, axis);
    html += detail::levelPanel(doc, axis);
    html += detail::factsPanel(doc);
    html += "<p class=\"note\">Drawn by zqx report" +
            (options.resultName.empty() ? std::string() : " from " + escapeHtml(options.resultName)) +
            ". Heat maps use the viridis colour map.</p>\n</body></html>\n";
    return html;
}

}  // namespace zqx::report
