// The tables of a file's report: facts, answers and module settings; and the section helpers the
// panels share.
#include "report/detail/panels.h"

namespace zqx::report::detail {

namespace {

std::string row(const std::string& name, const std::string& value) {
    return "<tr><th scope=\"row\">" + escapeHtml(name) + "</th><td>" + escapeHtml(value) + "</td></tr>";
}

std::string parameterTable(const std::vector<std::pair<std::string, std::string>>& parameters) {
    if (parameters.empty()) return "<p class=\"note\">none</p>";
    std::string html = "<table class=\"params\">";
    for (const auto& [name, value] : parameters) html += row(name, value);
    return html + "</table>";
}

}  // namespace

std::string openSection(const std::string& id, const std::string& title) {
    return "<section class=\"panel\" id=\"" + id + "\"><h2>" + escapeHtml(title) + "</h2>";
}

std::string note(const std::string& text) { return "<p class=\"note\">" + escapeHtml(text) + "</p>"; }

std::string downsampleNote(std::size_t sourceColumns, std::size_t drawnColumns, const std::string& unit) {
    if (sourceColumns <= drawnColumns) return {};
    return std::to_string(sourceColumns) + " " + unit + " drawn as " + std::to_string(drawnColumns) +
           " columns, each the mean of the " + unit + " it covers";
}

std::string factsPanel(const ResultDocument& doc) {
    std::string html = openSection("facts", "File and settings");
    html += "<div class=\"tables\"><div><h3>File</h3><table>";
    html += row("file", doc.file);
    html += row("format", doc.format.empty() ? "\u2013" : doc.format);
    html += row("sample rate", doc.sampleRate ? std::to_string(doc.sampleRate) + " Hz" : "\u2013");
    html += row("channels", doc.channels ? std::to_string(doc.channels) : "\u2013");
    html += row("duration", formatNumber(doc.durationSeconds, 3) + " s (" + formatDuration(doc.durationSeconds) + ")");
    html += row("frames", std::to_string(doc.frames));
    html += row("analysed at", doc.analysisSampleRate ? std::to_string(doc.analysisSampleRate) + " Hz" : "\u2013");
    html += "</table></div><div><h3>Answers</h3><table>";
    const Summary& s = doc.summary;
    if (!s.present) html += row("summary", "not in this result");
    if (s.tempo)
        html += row("tempo", formatNumber(s.tempo->bpm, 1) + " BPM (confidence " + formatNumber(s.tempo->confidence, 2) +
                                 (s.tempo->steady ? ", steady)" : ", not steady)"));
    if (s.key) html += row("key", s.key->name + " (confidence " + formatNumber(s.key->confidence, 2) + ")");
    if (!s.chords.empty()) html += row("chord segments", std::to_string(s.chords.size()));
    if (s.loudness) {
        html += row("integrated loudness", formatNumber(s.loudness->integratedLufs, 1) + " LUFS");
        html += row("loudness range", formatNumber(s.loudness->rangeLu, 1) + " LU");
        html += row("sample peak", formatNumber(s.loudness->samplePeakDbfs, 1) + " dBFS");
    }
    const std::optional<double> dr = s.dynamicRange ? s.dynamicRange : doc.dynamicRange;
    html += row("dynamic range", dr ? formatNumber(*dr, 3) : "\u2013");
    html += "</table></div></div>";
    for (const ModuleSettings& m : doc.modules) {
        html += "<h3>" + escapeHtml(m.name) + (m.version.empty() ? "" : " " + escapeHtml(m.version)) + "</h3>";
        html += "<div class=\"tables\"><div><h4>moduleParams</h4>" + parameterTable(m.moduleParams) +
                "</div><div><h4>globalParams</h4>" + parameterTable(m.globalParams) + "</div></div>";
    }
    if (doc.modules.empty()) html += note("This result names no module settings.");
    return html + closeSection();
}

}  // namespace zqx::report::detail
