// Text-level building blocks of the report pages: HTML escaping, number formatting and an SVG
// picture assembled element by element. Every picture is one <svg> with a <title>, drawn in user
// units on a fixed width so that the time panels of a page line up.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zqx::report {

// Text safe inside HTML/SVG element content and double-quoted attribute values.
std::string escapeHtml(const std::string& text);

// v with the given number of decimals; "–" (an en dash) for NaN and infinities.
std::string formatNumber(double v, int decimals);
// Seconds as "m:ss" from a minute on, else "s.s s"; "–" for NaN.
std::string formatDuration(double seconds);

// Layout shared by every time panel, in SVG user units.
inline constexpr double kSvgWidth = 1180.0;
inline constexpr double kPlotLeft = 90.0;
inline constexpr double kPlotWidth = 1000.0;

class SvgPicture {
public:
    // id: unique on the page; title: the picture's accessible title; height in user units.
    SvgPicture(std::string id, std::string title, double height);

    void rect(double x, double y, double w, double h, const std::string& fill, const std::string& extra = "");
    void line(double x1, double y1, double x2, double y2, const std::string& stroke, const std::string& extra = "");
    // anchor: "start", "middle" or "end". text is escaped.
    void text(double x, double y, const std::string& text, const std::string& anchor = "start",
              const std::string& extra = "");
    // A polyline through the points, skipping NaN values (the line breaks there).
    void polyline(const std::vector<std::pair<double, double>>& points, const std::string& stroke,
                  const std::string& extra = "");
    // An image stretched over the rectangle, drawn with hard pixel edges.
    void image(double x, double y, double w, double h, const std::string& dataUri, const std::string& extra = "");
    // Markup added as it is: the caller escapes what it puts in.
    void raw(const std::string& markup) { m_body += markup; }

    // The whole <svg> element.
    std::string finish() const;
    const std::string& id() const { return m_id; }

private:
    std::string m_id;
    std::string m_title;
    double m_height;
    std::string m_body;
};

// "Nice" tick values (1, 2 or 5 times a power of ten, or whole minutes for long times) from low
// to high, at most maxCount + 1 of them; empty when high <= low or either is not finite.
std::vector<double> niceTicks(double low, double high, int maxCount);

// The shared horizontal time axis: maps seconds in [0, extent] onto the plot width.
struct TimeAxis {
    double extent = 1.0;
    double x(double seconds) const { return kPlotLeft + kPlotWidth * seconds / extent; }
};

// Ticks and labels of the time axis along y (the bottom edge of a plot), with the axis title.
void drawTimeAxis(SvgPicture& svg, const TimeAxis& axis, double y);
// A vertical viridis colour bar right of the plot from top to top + height, labelled low at the
// bottom and high at the top, with the unit as its title.
void drawColourBar(SvgPicture& svg, double top, double height, double low, double high, const std::string& unit,
                   int decimals);
// A rotated axis title left of the plot, centred on [top, top + height].
void drawYAxisTitle(SvgPicture& svg, double top, double height, const std::string& title);

}  // namespace zqx::report
