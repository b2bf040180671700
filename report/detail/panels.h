// The sections of a file's report. Each returns one <section> of HTML: a heading, a line of
// notes and its pictures, or a sentence saying what the result lacks for it. Time panels draw on
// the shared axis so that they line up on the page.
#pragma once

#include <string>

#include "report/result_document.h"
#include "report/svg_picture.h"

namespace zqx::report::detail {

// Heat maps are drawn with at most one image column per user unit of the plot width.
inline constexpr std::size_t kMaxImageColumns = static_cast<std::size_t>(kPlotWidth);

// The chromagram (peak and mean halves, chosen with a CSS-only switch), the summary's chord
// segments along its top and the key.
std::string chromaPanel(const ResultDocument& doc, const TimeAxis& axis);
// The band energies as a heat map in dB.
std::string bandEnergyPanel(const ResultDocument& doc, const TimeAxis& axis);
// The rhythm periodicity over time and its mean profile, with the tempo and its candidates.
std::string rhythmPanel(const ResultDocument& doc, const TimeAxis& axis);
// The level contour with the dynamic-range value and the loudness figures.
std::string levelPanel(const ResultDocument& doc, const TimeAxis& axis);
// The file's facts, the summary's answers and the settings each module ran with, as tables.
std::string factsPanel(const ResultDocument& doc);

// "<section ...><h2>title</h2>" and its closing tag.
std::string openSection(const std::string& id, const std::string& title);
inline const char* closeSection() { return "</section>\n"; }
// A paragraph of notes (escaped).
std::string note(const std::string& text);
// "N blocks drawn as M image columns, each the mean of the blocks it covers", or "" when they fit.
std::string downsampleNote(std::size_t sourceColumns, std::size_t drawnColumns, const std::string& unit);

}  // namespace zqx::report::detail
