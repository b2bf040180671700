// The band-energy heat map and the level contour drawn from the pooled band energies, with the
// dynamic-range value and the loudness figures.
#include <algorithm>
#include <cmath>

#include "report/detail/panels.h"
#include "report/heat_image.h"

namespace zqx::report::detail {

namespace {

// The front-end writes ln(1 + 1e6 E), E the sum of squared 1/N-scaled FFT magnitudes of a Hann
// window over the band. A sine of amplitude 1 puts E = 3/32 into its band (Parseval: the window's
// mean square 3/8 times the sine's 1/2, halved for the positive frequencies), so dB relative to
// that is "dB re a full-scale sine".
constexpr double kCompression = 1e6;
constexpr double kFullScaleSineEnergy = 3.0 / 32.0;
constexpr double kBandRowHeight = 8;

double energyOf(float value) { return std::expm1(double(value)) / kCompression; }
double decibels(double energy) { return 10.0 * std::log10(energy / kFullScaleSineEnergy); }

// [low, high] on 10 dB steps around the finite values, at most span dB deep.
std::pair<double, double> decibelRange(const std::vector<double>& values, double span) {
    double high = -INFINITY;
    for (double v : values)
        if (std::isfinite(v)) high = std::max(high, v);
    if (!std::isfinite(high)) return {-100.0, 0.0};
    high = std::ceil(high / 10.0) * 10.0;
    double low = high;
    for (double v : values)
        if (std::isfinite(v)) low = std::min(low, v);
    low = std::max(std::floor(low / 10.0) * 10.0, high - span);
    if (low >= high) low = high - 10.0;
    return {low, high};
}

std::string bandEdgeLabel(double hz) { return hz >= 1000.0 ? formatNumber(hz / 1000.0, 1) + "k" : formatNumber(hz, 0); }

}  // namespace

std::string bandEnergyPanel(const ResultDocument& doc, const TimeAxis& axis) {
    std::string html = openSection("bands", "Band energies");
    const Stream& bands = doc.bandEnergy;
    if (bands.empty())
        return html + note("This result has no band-energy stream (results of zqx before it wrote one).") +
               closeSection();

    HeatGrid grid;
    grid.rows = bands.width;
    grid.columns = bands.rows();
    grid.values.resize(grid.rows * grid.columns);
    for (std::size_t c = 0; c < bands.rows(); ++c)
        for (std::size_t b = 0; b < bands.width; ++b)
            grid.values[c * grid.rows + b] = float(decibels(energyOf(bands.row(c)[b])));
    const HeatGrid drawn = downsampleColumns(grid, kMaxImageColumns);
    std::vector<double> all(drawn.values.begin(), drawn.values.end());
    const auto [low, high] = decibelRange(all, 80.0);

    const double top = 10;
    const double height = double(grid.rows) * kBandRowHeight;
    SvgPicture svg("bands-svg", "Band energies: critical band (Hz) over time (s), dB re a full-scale sine", top + height + 46);
    // Silent cells are -inf dB; they take the colour of the bottom of the range.
    svg.image(axis.x(bands.times.front()), top, axis.x(bands.times.back() + doc.bandRowSeconds) - axis.x(bands.times.front()),
              height, heatImageDataUri(drawn, low, high));
    const bool edges = doc.bandEdgesHz.size() == bands.width + 1;
    for (std::size_t b = 0; b <= bands.width; b += 4) {
        const double y = top + height - double(b) * kBandRowHeight;
        svg.line(kPlotLeft - 4, y, kPlotLeft, y, "#333");
        svg.text(kPlotLeft - 8, y + 4, edges ? bandEdgeLabel(doc.bandEdgesHz[b]) : "band " + std::to_string(b), "end",
                 "class=\"tick\"");
    }
    drawYAxisTitle(svg, top, height, edges ? "band edge (Hz)" : "band");
    drawTimeAxis(svg, axis, top + height);
    drawColourBar(svg, top, height, low, high, "dB", 0);
    const std::string sampling = downsampleNote(grid.columns, drawn.columns, "rows");
    if (!sampling.empty()) svg.text(kPlotLeft + kPlotWidth, top + height + 36, sampling, "end", "class=\"tick\"");

    html += note(std::to_string(bands.width) + " critical bands, one row per " + formatNumber(doc.bandRowSeconds * 1000, 0) +
                 " ms (the energy mean of its frames), in dB relative to a full-scale sine in one band; colours span " +
                 formatNumber(low, 0) + " to " + formatNumber(high, 0) + " dB." + (sampling.empty() ? "" : " " + sampling + "."));
    return html + svg.finish() + closeSection();
}

std::string levelPanel(const ResultDocument& doc, const TimeAxis& axis) {
    std::string html = openSection("level", "Level and loudness");

    std::string figures;
    const std::optional<double> dr = doc.summary.dynamicRange ? doc.summary.dynamicRange : doc.dynamicRange;
    figures += "Dynamic range (zqx_swellgrid): " + (dr ? formatNumber(*dr, 3) : std::string("not in this result"));
    if (doc.summary.loudness) {
        const LoudnessSummary& l = *doc.summary.loudness;
        figures += " \u00b7 EBU R128: integrated " + formatNumber(l.integratedLufs, 1) + " LUFS, loudness range " +
                   formatNumber(l.rangeLu, 1) + " LU, sample peak " + formatNumber(l.samplePeakDbfs, 1) + " dBFS";
    } else {
        figures += " \u00b7 EBU R128 loudness: not in this result";
    }

    const Stream& bands = doc.bandEnergy;
    if (bands.empty()) return html + note(figures + ". No band-energy stream to draw a level from.") + closeSection();

    // Energies are summed over the bands, then averaged over the rows a point covers, so that a
    // drawn point has the energy of its stretch of time.
    const std::size_t points = std::min(bands.rows(), kMaxImageColumns);
    std::vector<double> level(points);
    std::vector<double> pointTimes(points);
    for (std::size_t j = 0; j < points; ++j) {
        const std::size_t first = j * bands.rows() / points;
        const std::size_t last = (j + 1) * bands.rows() / points;
        double energy = 0.0;
        for (std::size_t r = first; r < last; ++r)
            for (std::size_t b = 0; b < bands.width; ++b) {
                const double e = energyOf(bands.row(r)[b]);
                if (std::isfinite(e)) energy += e;
            }
        level[j] = decibels(energy / double(last - first));
        pointTimes[j] = (bands.times[first] + bands.times[last - 1] + doc.bandRowSeconds) / 2;
    }
    const auto [low, high] = decibelRange(level, 80.0);

    const double top = 26;
    const double height = 160;
    SvgPicture svg("level-svg", "Level contour: dB re a full-scale sine over time (s), band energies summed", top + height + 46);
    svg.text(kPlotLeft, 16, figures, "start", "class=\"key\"");
    svg.rect(kPlotLeft, top, kPlotWidth, height, "#fafafa", "stroke=\"#999\" stroke-width=\"0.5\"");
    for (double tick : niceTicks(low, high, 6)) {
        const double y = top + height - height * (tick - low) / (high - low);
        svg.line(kPlotLeft, y, kPlotLeft + kPlotWidth, y, "#ddd");
        svg.text(kPlotLeft - 8, y + 4, formatNumber(tick, 0), "end", "class=\"tick\"");
    }
    std::vector<std::pair<double, double>> line;
    for (std::size_t j = 0; j < points; ++j) {
        const double v = std::max(level[j], low);  // silence (-inf dB) sits on the floor
        line.emplace_back(axis.x(pointTimes[j]), top + height - height * (v - low) / (high - low));
    }
    svg.polyline(line, "#31688e", "stroke-width=\"1.5\"");
    drawYAxisTitle(svg, top, height, "level (dB)");
    drawTimeAxis(svg, axis, top + height);
    const std::string sampling = downsampleNote(bands.rows(), points, "rows");
    if (!sampling.empty()) svg.text(kPlotLeft + kPlotWidth, top + height + 36, sampling, "end", "class=\"tick\"");

    html += note(figures + ". The contour is the band energies summed per " +
                 formatNumber(doc.bandRowSeconds * 1000, 0) +
                 " ms row, in dB relative to a full-scale sine; it is not loudness-weighted." +
                 (sampling.empty() ? "" : " " + sampling + "."));
    return html + svg.finish() + closeSection();
}

}  // namespace zqx::report::detail
