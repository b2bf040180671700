// Downsampling, colouring and PNG encoding of heat maps (libpng's simplified writing interface).
#include "report/heat_image.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "report/viridis.h"

namespace zqx::report {

HeatGrid downsampleColumns(const HeatGrid& grid, std::size_t maxColumns) {
    if (maxColumns == 0) maxColumns = 1;
    if (grid.columns <= maxColumns) return grid;
    HeatGrid out;
    out.rows = grid.rows;
    out.columns = maxColumns;
    out.values.resize(out.rows * out.columns);
    std::vector<double> sum(grid.rows);
    std::vector<std::size_t> count(grid.rows);
    for (std::size_t j = 0; j < maxColumns; ++j) {
        const std::size_t first = j * grid.columns / maxColumns;
        const std::size_t last = (j + 1) * grid.columns / maxColumns;
        std::fill(sum.begin(), sum.end(), 0.0);
        std::fill(count.begin(), count.end(), 0);
        for (std::size_t c = first; c < last; ++c)
            for (std::size_t r = 0; r < grid.rows; ++r) {
                const float v = grid.at(r, c);
                if (std::isnan(v)) continue;
                sum[r] += v;
                ++count[r];
            }
        for (std::size_t r = 0; r < grid.rows; ++r)
            out.values[j * out.rows + r] = count[r] ? float(sum[r] / double(count[r])) : std::nanf("");
    }
    return out;
}

std::vector<std::uint8_t> heatPixels(const HeatGrid& grid, double low, double high) {
    std::vector<std::uint8_t> pixels(grid.rows * grid.columns * 4);
    const double span = high - low;
    for (std::size_t y = 0; y < grid.rows; ++y) {
        const std::size_t r = grid.rows - 1 - y;
        for (std::size_t c = 0; c < grid.columns; ++c) {
            std::uint8_t* p = &pixels[(y * grid.columns + c) * 4];
            const float v = grid.at(r, c);
            if (std::isnan(v)) continue;  // stays transparent
            const Rgb colour = viridis(span > 0.0 ? (double(v) - low) / span : 0.0);
            p[0] = colour.r;
            p[1] = colour.g;
            p[2] = colour.b;
            p[3] = 255;
        }
    }
    return pixels;
}

std::string heatImageDataUri(const HeatGrid& grid, double low, double high) {
    if (grid.rows == 0 || grid.columns == 0) throw std::runtime_error("an empty heat map has no image");
    const std::vector<std::uint8_t> pixels = heatPixels(grid, low, high);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(grid.columns);
    image.height = png_uint_32(grid.rows);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr))
        throw std::runtime_error(std::string("PNG encoding failed: ") + image.message);
    std::vector<std::uint8_t> png(size);
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr))
        throw std::runtime_error(std::string("PNG encoding failed: ") + image.message);
    return "data:image/png;base64," + base64(png.data(), size);
}

std::string base64(const std::uint8_t* data, std::size_t size) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t v = std::uint32_t(data[i]) << 16 | std::uint32_t(data[i + 1]) << 8 | data[i + 2];
        for (int shift : {18, 12, 6, 0}) text += alphabet[(v >> shift) & 63];
    }
    if (size - i == 1) {
        const std::uint32_t v = std::uint32_t(data[i]) << 16;
        text += alphabet[(v >> 18) & 63];
        text += alphabet[(v >> 12) & 63];
        text += "==";
    } else if (size - i == 2) {
        const std::uint32_t v = std::uint32_t(data[i]) << 16 | std::uint32_t(data[i + 1]) << 8;
        text += alphabet[(v >> 18) & 63];
        text += alphabet[(v >> 12) & 63];
        text += alphabet[(v >> 6) & 63];
        text += '=';
    }
    return text;
}

}  // namespace zqx::report
