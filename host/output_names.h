// Output names for the inputs of one run: unique over the whole run and the same from run to run
// for the same input list.
#pragma once

#include <string>
#include <vector>

namespace zqx::host {

// One name per entry of `wanted` (each input's natural name, e.g. its file name without suffix),
// in the same order. The first input wanting a name gets it; a later one gets "<name>-2",
// "<name>-3", ..., skipping every name that some input wants for itself, so `x x x-2` gives
// `x x-3 x-2` and no result file overwrites another. Names differing only in letter case count as
// the same (they are one file on Windows and macOS). An empty wanted name becomes "input".
std::vector<std::string> uniqueOutputNames(const std::vector<std::string>& wanted);

}  // namespace zqx::host
