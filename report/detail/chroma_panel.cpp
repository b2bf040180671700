// The chromagram section: 12 pitch-class rows per half, the chord strip and the key.
#include <algorithm>
#include <cmath>

#include "report/detail/panels.h"
#include "report/heat_image.h"

namespace zqx::report::detail {

namespace {

const char* const kPitchNames[12] = {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};

constexpr double kKeyLine = 16;
constexpr double kChordTop = 24;
constexpr double kChordHeight = 22;
constexpr double kRowHeight = 16;

// The pitch-class name the result gives its column ("peak_C#" -> "C#"), or the default spelling.
std::string pitchName(const Stream& chroma, int p) {
    if (chroma.columns.size() <= std::size_t(p)) return kPitchNames[p];
    const std::string& column = chroma.columns[std::size_t(p)];
    const std::size_t cut = column.rfind('_');
    return cut == std::string::npos ? column : column.substr(cut + 1);
}

// One half of the stream (12 columns from offset) with each block scaled to its own maximum, so
// that quiet passages show their pitch classes as clearly as loud ones.
HeatGrid normalisedHalf(const Stream& chroma, std::size_t offset) {
    HeatGrid grid;
    grid.rows = 12;
    grid.columns = chroma.rows();
    grid.values.resize(grid.rows * grid.columns);
    for (std::size_t c = 0; c < chroma.rows(); ++c) {
        const float* row = chroma.row(c) + offset;
        float peak = 0.0f;
        for (int p = 0; p < 12; ++p)
            if (row[p] > peak) peak = row[p];  // NaN compares false and is skipped
        for (int p = 0; p < 12; ++p)
            grid.values[c * 12 + std::size_t(p)] = std::isnan(row[p]) ? row[p] : peak > 0.0f ? row[p] / peak : 0.0f;
    }
    return grid;
}

void drawChords(SvgPicture& svg, const std::vector<ChordSegment>& chords, const TimeAxis& axis) {
    svg.text(kPlotLeft - 8, kChordTop + 15, "chords", "end", "class=\"tick\"");
    svg.rect(kPlotLeft, kChordTop, kPlotWidth, kChordHeight, "#f4f4f4", "stroke=\"#999\" stroke-width=\"0.5\"");
    for (const ChordSegment& c : chords) {
        const double x0 = axis.x(std::min(c.start, axis.extent));
        const double x1 = axis.x(std::min(c.end, axis.extent));
        const std::string tip = "<title>" + escapeHtml(c.label) + ": " + formatNumber(c.start, 2) + "\u2013" +
                                formatNumber(c.end, 2) + " s</title>";
        svg.raw("<g class=\"chord\">");
        svg.rect(x0, kChordTop, std::max(x1 - x0, 0.5), kChordHeight, c.label == "N" ? "#dddddd" : "#ffffff",
                 "stroke=\"#666\" stroke-width=\"0.5\"");
        // About 7 user units per character at the tick font size; a label that does not fit is
        // left to the tooltip.
        if (x1 - x0 >= 7.0 * double(c.label.size()) + 4.0)
            svg.text((x0 + x1) / 2, kChordTop + 15, c.label, "middle", "class=\"tick\"");
        svg.raw(tip + "</g>");
    }
}

}  // namespace

std::string chromaPanel(const ResultDocument& doc, const TimeAxis& axis) {
    std::string html = openSection("chroma", "Chromagram");
    const Stream& chroma = doc.chroma;
    if (chroma.empty()) return html + note("This result has no chroma stream.") + closeSection();
    if (chroma.width != 12 && chroma.width != 24)
        return html + note("The chroma stream has " + std::to_string(chroma.width) +
                           " values per block; only 12 (one half) or 24 (peak and mean halves) are drawn.") +
               closeSection();

    const Summary& summary = doc.summary;
    const std::string keyText =
        summary.key ? "Key: " + summary.key->name + " (confidence " + formatNumber(summary.key->confidence, 2) + ")"
                    : summary.present ? "Key: none found (no clear tonal centre)" : "Key: not in this result";
    const bool chords = !summary.chords.empty();
    const double top = chords ? kChordTop + kChordHeight + 8 : kChordTop;
    const double height = 12 * kRowHeight;
    SvgPicture svg("chroma-svg",
                   "Chromagram: pitch class (C to B) over time (s), each block scaled to its maximum" +
                       std::string(chords ? ", with the chord segments" : "") + "; " + keyText,
                   top + height + 46);
    svg.text(kPlotLeft, kKeyLine, keyText, "start", "class=\"key\"");

    const bool twoHalves = chroma.width == 24;
    std::size_t drawn = 0;
    const double x0 = axis.x(chroma.times.front());
    const double x1 = axis.x(chroma.times.back() + doc.chromaBlockSeconds);
    for (std::size_t half = 0; half < (twoHalves ? 2u : 1u); ++half) {
        const HeatGrid grid = downsampleColumns(normalisedHalf(chroma, half * 12), kMaxImageColumns);
        drawn = grid.columns;
        svg.image(x0, top, x1 - x0, height, heatImageDataUri(grid, 0.0, 1.0),
                  twoHalves ? std::string("class=\"") + (half == 0 ? "half-peak" : "half-mean") + "\"" : "");
    }
    for (int p = 0; p < 12; ++p)
        svg.text(kPlotLeft - 8, top + height - p * kRowHeight - 4, pitchName(chroma, p), "end", "class=\"tick\"");
    drawYAxisTitle(svg, top, height, "pitch class");
    if (chords) drawChords(svg, summary.chords, axis);
    drawTimeAxis(svg, axis, top + height);
    drawColourBar(svg, top, height, 0.0, 1.0, "of max", 1);
    const std::string sampling = downsampleNote(chroma.rows(), drawn, "blocks");
    if (!sampling.empty()) svg.text(kPlotLeft + kPlotWidth, top + height + 36, sampling, "end", "class=\"tick\"");

    html += note(keyText + ". " + std::to_string(chroma.rows()) + " blocks of " +
                 formatNumber(doc.chromaBlockSeconds * 1000.0, 1) +
                 " ms; each block scaled to its largest pitch class (colour 1 = that maximum)." +
                 (chords ? " Chord labels that do not fit their segment show as tooltips." : "") +
                 (sampling.empty() ? "" : " " + sampling + "."));
    if (twoHalves)
        html += "<div class=\"switch\"><input type=\"radio\" name=\"half\" id=\"half-peak\" checked>"
                "<label for=\"half-peak\">peak half</label> <input type=\"radio\" name=\"half\" id=\"half-mean\">"
                "<label for=\"half-mean\">mean half</label>";
    html += svg.finish();
    if (twoHalves) html += "</div>";
    return html + closeSection();
}

}  // namespace zqx::report::detail
