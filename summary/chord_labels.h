// Chord segments from chroma: major and minor triads or "N" (no chord), in the label syntax of
// the MIREX chord evaluations ("C:maj", "A:min", "N").
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "summary/feature_rows.h"

namespace zqx::summary {

struct ChordSegment {
    double start = 0.0;  // seconds
    double end = 0.0;    // seconds, the next segment's start (or the end of the last frame)
    std::string label;   // "<root>:maj", "<root>:min" with the root spelled as pitchClassName, or "N"
};

struct ChordSettings {
    // Log-likelihood per frame of a chord is sharpness x the cosine between the frame's chroma and
    // the chord's triad template; "N" scores sharpness x noChordCosine. So a frame whose chroma is
    // no closer than noChordCosine to any triad (noise, a single line, percussion) is "N".
    double sharpness = 20.0;
    double noChordCosine = 0.7;
    // Cost of a change of label between neighbouring frames, in the same log units: a chord
    // must hold a little longer than switchPenalty / (sharpness x cosine margin) frames to show.
    double switchPenalty = 8.0;
    // Frames whose chroma sum is below this share of the stream's 95th-percentile frame are "N"
    // whatever their shape (silence, fades, noise floor).
    double silenceShare = 0.01;
};

// Labels each of the chroma.rows frames (12 values at chroma.row(r)[c], class 0 is C, values
// >= 0, non-finite values count 0) and merges neighbours with the same label. Frame r starts at
// times[r] seconds (increasing), or at r x frameSeconds when times is null, and lasts
// frameSeconds (> 0, finite). The best label sequence under the scores above is found by Viterbi
// decoding. Returns an empty list for no frames; throws std::invalid_argument for a bad
// frameSeconds. Allocates.
std::vector<ChordSegment> labelChords(const FeatureRows& chroma, const double* times, double frameSeconds,
                                      const ChordSettings& settings = {});

}  // namespace zqx::summary
