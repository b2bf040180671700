// SVG text assembly, axes and colour bars.
#include "report/svg_picture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "report/viridis.h"

namespace zqx::report {

namespace {

// Coordinates with one decimal: a tenth of a user unit is finer than any screen shows and keeps
// the pages small.
std::string coord(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", v);
    return buffer;
}

std::string tickLabel(double seconds, double step) {
    if (step >= 60.0) {
        const long total = std::lround(seconds);
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
        return buffer;
    }
    return formatNumber(seconds, step >= 1.0 ? 0 : 1);
}

}  // namespace

std::string escapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string formatNumber(double v, int decimals) {
    if (!std::isfinite(v)) return "\u2013";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    // "-0.0" reads as a fault to a person; zero has no sign here.
    if (buffer[0] == '-' && std::strtod(buffer, nullptr) == 0.0) return buffer + 1;
    return buffer;
}

std::string formatDuration(double seconds) {
    if (!std::isfinite(seconds)) return "\u2013";
    if (seconds < 60.0) return formatNumber(seconds, 1) + " s";
    const long total = std::lround(seconds);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
    return buffer;
}

SvgPicture::SvgPicture(std::string id, std::string title, double height)
    : m_id(std::move(id)), m_title(std::move(title)), m_height(height) {}

void SvgPicture::rect(double x, double y, double w, double h, const std::string& fill, const std::string& extra) {
    m_body += "<rect x=\"" + coord(x) + "\" y=\"" + coord(y) + "\" width=\"" + coord(w) + "\" height=\"" + coord(h) +
              "\" fill=\"" + fill + "\"" + (extra.empty() ? "" : " " + extra) + "/>";
}

void SvgPicture::line(double x1, double y1, double x2, double y2, const std::string& stroke, const std::string& extra) {
    m_body += "<line x1=\"" + coord(x1) + "\" y1=\"" + coord(y1) + "\" x2=\"" + coord(x2) + "\" y2=\"" + coord(y2) +
              "\" stroke=\"" + stroke + "\"" + (extra.empty() ? "" : " " + extra) + "/>";
}

void SvgPicture::text(double x, double y, const std::string& text, const std::string& anchor, const std::string& extra) {
    m_body += "<text x=\"" + coord(x) + "\" y=\"" + coord(y) + "\"" +
              (anchor == "start" ? std::string() : " text-anchor=\"" + anchor + "\"") +
              (extra.empty() ? "" : " " + extra) + ">" + escapeHtml(text) + "</text>";
}

void SvgPicture::polyline(const std::vector<std::pair<double, double>>& points, const std::string& stroke,
                          const std::string& extra) {
    std::string run;
    auto flush = [&] {
        if (!run.empty())
            m_body += "<polyline fill=\"none\" stroke=\"" + stroke + "\"" + (extra.empty() ? "" : " " + extra) +
                      " points=\"" + run + "\"/>";
        run.clear();
    };
    for (const auto& [x, y] : points) {
        if (!std::isfinite(x) || !std::isfinite(y)) {
            flush();
            continue;
        }
        if (!run.empty()) run += ' ';
        run += coord(x) + "," + coord(y);
    }
    flush();
}

void SvgPicture::image(double x, double y, double w, double h, const std::string& dataUri, const std::string& extra) {
    m_body += "<image x=\"" + coord(x) + "\" y=\"" + coord(y) + "\" width=\"" + coord(w) + "\" height=\"" + coord(h) +
              "\" preserveAspectRatio=\"none\" style=\"image-rendering:pixelated\" href=\"" + dataUri + "\"" +
              (extra.empty() ? "" : " " + extra) + "/>";
}

std::string SvgPicture::finish() const {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"" + m_id + "\" viewBox=\"0 0 " + coord(kSvgWidth) + " " +
           coord(m_height) + "\" role=\"img\" aria-labelledby=\"" + m_id + "-title\"><title id=\"" + m_id +
           "-title\">" + escapeHtml(m_title) + "</title>" + m_body + "</svg>";
}

std::vector<double> niceTicks(double low, double high, int maxCount) {
    std::vector<double> ticks;
    if (!std::isfinite(low) || !std::isfinite(high) || high <= low || maxCount < 1) return ticks;
    const double range = high - low;
    double step = 0.0;
    // Whole minutes read better than 50 or 200 seconds on a long time axis.
    if (range > 600.0) {
        for (double s : {60.0, 120.0, 300.0, 600.0, 900.0, 1800.0, 3600.0, 7200.0}) {
            step = s;
            if (range / s <= maxCount) break;
        }
    }
    if (range / step > maxCount || step == 0.0) {
        const double magnitude = std::pow(10.0, std::floor(std::log10(range / maxCount)));
        for (double m : {1.0, 2.0, 5.0, 10.0}) {
            step = m * magnitude;
            if (range / step <= maxCount) break;
        }
    }
    for (double t = std::ceil(low / step - 1e-9) * step; t <= high + step * 1e-9; t += step)
        ticks.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);
    return ticks;
}

void drawTimeAxis(SvgPicture& svg, const TimeAxis& axis, double y) {
    const std::vector<double> ticks = niceTicks(0.0, axis.extent, 10);
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
    svg.line(kPlotLeft, y, kPlotLeft + kPlotWidth, y, "#333");
    for (double t : ticks) {
        const double x = axis.x(t);
        svg.line(x, y, x, y + 5, "#333");
        svg.text(x, y + 18, tickLabel(t, step), "middle", "class=\"tick\"");
    }
    svg.text(kPlotLeft + kPlotWidth / 2, y + 36, step >= 60.0 ? "time (min:s)" : "time (s)", "middle",
             "class=\"axis\"");
}

void drawColourBar(SvgPicture& svg, double top, double height, double low, double high, const std::string& unit,
                   int decimals) {
    const std::string id = svg.id() + "-cb" + std::to_string(long(top));
    std::string stops;
    for (int i = 0; i <= 10; ++i)
        stops += "<stop offset=\"" + formatNumber(i / 10.0, 1) + "\" stop-color=\"" + viridisHex(1.0 - i / 10.0) + "\"/>";
    svg.raw("<defs><linearGradient id=\"" + id + "\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">" + stops +
            "</linearGradient></defs>");
    const double x = kPlotLeft + kPlotWidth + 14;
    svg.rect(x, top, 12, height, "url(#" + id + ")", "stroke=\"#333\" stroke-width=\"0.5\"");
    svg.text(x + 16, top + 9, formatNumber(high, decimals), "start", "class=\"tick\"");
    svg.text(x + 16, top + height, formatNumber(low, decimals), "start", "class=\"tick\"");
    svg.text(x + 16, top + height / 2 + 4, unit, "start", "class=\"tick\"");
}

void drawYAxisTitle(SvgPicture& svg, double top, double height, const std::string& title) {
    const double y = top + height / 2;
    svg.text(18, y, title, "middle", "class=\"axis\" transform=\"rotate(-90 18 " + formatNumber(y, 1) + ")\"");
}

}  // namespace zqx::report
