// The rhythm section: periodicity per lag over time, and its mean profile against tempo, with
// the summary's tempo and candidates marked.
#include <algorithm>
#include <cmath>

#include "report/detail/panels.h"
#include "report/heat_image.h"

namespace zqx::report::detail {

namespace {

constexpr double kLagRowHeight = 2.5;
constexpr double kProfileHeight = 170;

struct Mark {
    double bpm;
    std::string label;
    bool main;
};

std::vector<Mark> tempoMarks(const Summary& summary) {
    std::vector<Mark> marks;
    if (!summary.tempo) return marks;
    // A null tempo (no periodicity found) has nothing to mark, but its candidates may.
    if (std::isfinite(summary.tempo->bpm) && summary.tempo->bpm > 0)
        marks.push_back({summary.tempo->bpm, "tempo " + formatNumber(summary.tempo->bpm, 1) + " BPM", true});
    for (const TempoCandidate& c : summary.tempo->candidates)
        if (std::isfinite(c.bpm) && c.bpm > 0 && !(std::abs(c.bpm - summary.tempo->bpm) <= 1e-6))
            marks.push_back({c.bpm, formatNumber(c.bpm, 1) + " (w " + formatNumber(c.weight, 2) + ")", false});
    return marks;
}

// Dark text on a white halo (the .mark style) stays legible over the curve and the marker lines.
const char* const kHalo = "class=\"mark\"";

}  // namespace

std::string rhythmPanel(const ResultDocument& doc, const TimeAxis& axis) {
    std::string html = openSection("rhythm", "Rhythm periodicity and tempo");
    const Stream& rhythm = doc.rhythm;
    if (rhythm.empty() || doc.rhythmLags.empty())
        return html + note("This result has no rhythm vectors (files shorter than one group of frames have none).") +
               closeSection();

    const std::size_t lags = doc.rhythmLags.size();
    const double lagMin = doc.rhythmLags.front();
    const double lagMax = doc.rhythmLags.back();
    const double period = doc.framePeriodSeconds;
    auto bpmOfLag = [&](double lag) { return 60.0 / (lag * period); };
    auto lagOfBpm = [&](double bpm) { return 60.0 / (bpm * period); };
    const std::vector<Mark> marks = tempoMarks(doc.summary);

    // Over time: one column per group, the smallest lag (fastest tempo) at the top.
    HeatGrid grid;
    grid.rows = lags;
    grid.columns = rhythm.rows();
    grid.values.resize(grid.rows * grid.columns);
    float peak = 0.0f;
    std::vector<double> mean(lags, 0.0);
    for (std::size_t c = 0; c < rhythm.rows(); ++c)
        for (std::size_t i = 0; i < lags; ++i) {
            const float v = rhythm.row(c)[std::size_t(doc.rhythmFirstLagColumn) + i];
            grid.values[c * lags + (lags - 1 - i)] = v;
            if (v > peak) peak = v;
            if (std::isfinite(v)) mean[i] += v / double(rhythm.rows());
        }
    const double top = 10;
    const double height = double(lags) * kLagRowHeight;
    auto yOfLag = [&](double lag) { return top + height * (lag - lagMin + 0.5) / double(lags); };
    SvgPicture over("rhythm-svg", "Rhythm periodicity: tempo (BPM) over time (s)", top + height + 46);
    const HeatGrid drawn = downsampleColumns(grid, kMaxImageColumns);
    const double groupSeconds = doc.rhythmGroupSeconds > 0 ? doc.rhythmGroupSeconds : 0.0;
    over.image(axis.x(rhythm.times.front()), top,
               axis.x(rhythm.times.back() + groupSeconds) - axis.x(rhythm.times.front()), height,
               heatImageDataUri(drawn, 0.0, peak > 0.0f ? double(peak) : 1.0));
    for (double bpm : {40.0, 50.0, 60.0, 80.0, 100.0, 120.0, 150.0, 200.0, 240.0}) {
        const double lag = lagOfBpm(bpm);
        if (lag < lagMin - 0.5 || lag > lagMax + 0.5) continue;
        over.line(kPlotLeft - 4, yOfLag(lag), kPlotLeft, yOfLag(lag), "#333");
        over.text(kPlotLeft - 8, yOfLag(lag) + 4, formatNumber(bpm, 0), "end", "class=\"tick\"");
    }
    for (const Mark& m : marks) {
        const double lag = lagOfBpm(m.bpm);
        if (!(lag >= lagMin - 0.5 && lag <= lagMax + 0.5)) continue;
        over.line(kPlotLeft, yOfLag(lag), kPlotLeft + kPlotWidth, yOfLag(lag), "#fff",
                  m.main ? "stroke-width=\"1.5\"" : "stroke-width=\"1\" stroke-dasharray=\"6 4\"");
    }
    drawYAxisTitle(over, top, height, "tempo (BPM)");
    drawTimeAxis(over, axis, top + height);
    drawColourBar(over, top, height, 0.0, peak, "periodicity", 2);

    // The mean profile: tempo rises to the right (lag falls), lag positions spaced evenly.
    const double ptop = 20;
    const double pheight = kProfileHeight;
    auto xOfLag = [&](double lag) {
        return kPlotLeft + kPlotWidth * (lagMax + 0.5 - lag) / (lagMax - lagMin + 1.0);
    };
    const double meanPeak = *std::max_element(mean.begin(), mean.end());
    SvgPicture profile("profile-svg", "Mean periodicity profile against tempo (BPM), tempo and candidates marked",
                       ptop + pheight + 46);
    profile.rect(kPlotLeft, ptop, kPlotWidth, pheight, "#fafafa", "stroke=\"#999\" stroke-width=\"0.5\"");
    std::vector<std::pair<double, double>> points;
    for (std::size_t i = 0; i < lags; ++i)
        points.emplace_back(xOfLag(doc.rhythmLags[i]),
                            ptop + pheight - pheight * (meanPeak > 0 ? mean[i] / meanPeak : 0.0) * 0.92);
    profile.polyline(points, "#440154", "stroke-width=\"1.5\"");
    for (double bpm : {40.0, 50.0, 60.0, 70.0, 80.0, 90.0, 100.0, 120.0, 140.0, 160.0, 180.0, 200.0, 240.0}) {
        const double lag = lagOfBpm(bpm);
        if (lag < lagMin - 0.5 || lag > lagMax + 0.5) continue;
        profile.line(xOfLag(lag), ptop + pheight, xOfLag(lag), ptop + pheight + 5, "#333");
        profile.text(xOfLag(lag), ptop + pheight + 18, formatNumber(bpm, 0), "middle", "class=\"tick\"");
    }
    profile.text(kPlotLeft + kPlotWidth / 2, ptop + pheight + 36,
                 "tempo (BPM) = 60 / (lag \u00d7 " + formatNumber(period * 1000, 0) + " ms)", "middle", "class=\"axis\"");
    profile.text(kPlotLeft - 8, ptop + 10, formatNumber(meanPeak, 2), "end", "class=\"tick\"");
    profile.text(kPlotLeft - 8, ptop + pheight, "0", "end", "class=\"tick\"");
    drawYAxisTitle(profile, ptop, pheight, "mean periodicity");
    std::string outside;
    int row = 0;
    for (const Mark& m : marks) {
        const double lag = lagOfBpm(m.bpm);
        if (!(lag >= lagMin - 0.5 && lag <= lagMax + 0.5)) {
            outside += (outside.empty() ? "" : ", ") + m.label;
            continue;
        }
        const double x = xOfLag(lag);
        profile.line(x, ptop, x, ptop + pheight, m.main ? "#c0392b" : "#35b779",
                     m.main ? "stroke-width=\"2\"" : "stroke-width=\"1.5\" stroke-dasharray=\"5 3\"");
        const bool right = x < kPlotLeft + kPlotWidth - 140;
        profile.text(right ? x + 4 : x - 4, ptop + 14 + 14 * (row++ % 6), m.label, right ? "start" : "end", kHalo);
    }
    if (marks.empty()) {
        const std::size_t best = std::size_t(std::max_element(mean.begin(), mean.end()) - mean.begin());
        const double x = xOfLag(doc.rhythmLags[best]);
        profile.line(x, ptop, x, ptop + pheight, "#c0392b", "stroke-dasharray=\"2 2\"");
        profile.text(x + 4, ptop + 14, "profile peak " + formatNumber(bpmOfLag(doc.rhythmLags[best]), 1) + " BPM", "start", kHalo);
    }

    std::string text = std::to_string(rhythm.rows()) + " rhythm vectors of " + formatNumber(groupSeconds, 1) +
                       " s; lags " + formatNumber(lagMin, 0) + " to " + formatNumber(lagMax, 0) + " frames (" +
                       formatNumber(bpmOfLag(lagMax), 1) + " to " + formatNumber(bpmOfLag(lagMin), 1) + " BPM).";
    if (doc.summary.tempo) {
        const TempoSummary& t = *doc.summary.tempo;
        text += " Tempo " + formatNumber(t.bpm, 1) + " BPM, confidence " + formatNumber(t.confidence, 2) +
                (t.steady ? ", steady" : ", not steady (no clear periodicity)") + "; candidates marked dashed.";
        if (!outside.empty()) text += " Outside the drawn lag range: " + outside + ".";
    } else {
        text += " No tempo summary in this result: the dotted line marks the peak of the mean profile.";
    }
    const std::string sampling = downsampleNote(grid.columns, drawn.columns, "vectors");
    if (!sampling.empty()) text += " " + sampling + ".";
    return html + note(text) + over.finish() + profile.finish() + closeSection();
}

}  // namespace zqx::report::detail
