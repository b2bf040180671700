// Heat maps as small PNG images for inline SVG: a matrix of values mapped through viridis, one
// pixel per cell, with columns averaged down to a pixel budget when there are more than that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zqx::report {

// A grid of cells: rows x columns values, cell (row, column) at values[column * rows + row], so a
// stream's time rows are columns here. Row 0 is drawn at the bottom.
struct HeatGrid {
    std::size_t rows = 0;
    std::size_t columns = 0;
    std::vector<float> values;

    float at(std::size_t row, std::size_t column) const { return values[column * rows + row]; }
};

// The grid with at most maxColumns columns: column j is the mean of the source columns
// [floor(j * n / maxColumns), floor((j + 1) * n / maxColumns)), NaN cells left out of the mean (a
// cell whose sources are all NaN stays NaN). Returned unchanged when it already fits; maxColumns 0
// is taken as 1.
HeatGrid downsampleColumns(const HeatGrid& grid, std::size_t maxColumns);

// RGBA pixels, row 0 of the image at the top (grid row rows-1): each cell (v - low) / (high - low)
// through viridis, NaN cells transparent. high <= low maps every finite cell to the colour of 0.
std::vector<std::uint8_t> heatPixels(const HeatGrid& grid, double low, double high);

// A PNG file of the heat pixels, as a "data:image/png;base64,..." URI. Throws std::runtime_error
// if the encoder fails (an empty grid included).
std::string heatImageDataUri(const HeatGrid& grid, double low, double high);

// Standard base64 (RFC 4648, with padding).
std::string base64(const std::uint8_t* data, std::size_t size);

}  // namespace zqx::report
