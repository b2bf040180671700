// The dynamic range of a level history: the smoothing window, the choice of the analysed segment
// and the computation itself.
#pragma once

#include <cstdint>
#include <vector>

#include "qvt/base_vector.h"

namespace zqx::swellgrid {

// The smoothing window of `length` frames (length >= 1): ones with the Hann shape applied, so
// 0.5 (1 - cos(2 pi k / (length - 1))). Lengths 1 and 2 stay all ones, 3 gives 0, 1, 0.
// Allocates the returned vector.
Vector<float> makeSmoothingWindow(std::int32_t length);

// The part of a level history that the dynamic range is computed over.
struct AnalysisSegment {
    // The history is not longer than the window in a stream under 30 seconds: the result is 0
    // and nothing is computed. start and length are 0 then.
    bool tooShort = false;
    std::uint32_t start = 0;   // index of the first level used
    std::uint32_t length = 0;  // number of levels used; may be below the window length
};

// Picks the segment for a history of `historyLength` levels, `windowLength` frames of smoothing
// and `frameDuration` milliseconds per frame (finite, above 0). With T30, T50, T80 the frame
// counts of 30, 50 and 80 seconds (1 / frameDuration, times the milliseconds, truncated):
//   historyLength >= T80: levels T50 - 1 up to T80 - 1 (exclusive), the 30 s after the first 50 s;
//   historyLength >= T30: the last trunc(30000 / frameDuration) levels, all of them when the two
//                         roundings leave fewer than that;
//   historyLength <= windowLength: tooShort;
//   otherwise the whole history.
// A segment never reaches outside the history: with frames of more than 50 s it is empty.
AnalysisSegment selectAnalysisSegment(std::uint32_t historyLength, std::uint32_t windowLength,
                                      double frameDuration);

// The dynamic range of `levelHistory`: on the segment that selectAnalysisSegment picks, the full
// convolution with `smoothingWindow` (not normalised), of which the n = segment length - window
// length values c[L] .. c[M - 1] are kept in `workBuffer`; values <= 0 floored to the smallest
// normal float; the result is (max - min) / geometric mean of those n values, computed through the
// log domain in float. Returns exactly 0 for a tooShort history without touching workBuffer.
//
// `smoothingWindow` holds at least one value (its size is the window length L); `frameDuration`
// is finite and above 0. `workBuffer` is the caller's scratch kept across calls: its size becomes
// n and its storage grows only when n exceeds its size; its contents are overwritten.
//
// Throws QVTException "zero sized vector" (source qvt/vector_func) when the segment is not longer
// than the window (n <= 0), after setting workBuffer's size to 0. Throws std::bad_alloc when the
// convolution buffer cannot be had. Allocates a temporary buffer of M + L floats.
float computeDynamicRange(const std::vector<float>& levelHistory, const BaseVector<float>& smoothingWindow,
                          double frameDuration, Vector<float>& workBuffer);

}  // namespace zqx::swellgrid
