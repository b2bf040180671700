// The one colour map of every heat map in the reports: viridis, perceptually uniform and readable
// with the common forms of colour blindness.
#pragma once

#include <cstdint>
#include <string>

namespace zqx::report {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

// The colour at t in [0, 1] (nearest of 256 entries); t below 0 or NaN gives the colour of 0,
// above 1 that of 1.
Rgb viridis(double t);
// The same colour as "#rrggbb".
std::string viridisHex(double t);

}  // namespace zqx::report
