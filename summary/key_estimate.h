// The key of a stream from its chroma: the major or minor key whose tonal profile best matches
// the stream's average pitch-class distribution.
#pragma once

#include <string>

#include "summary/feature_rows.h"

namespace zqx::summary {

enum class KeyProfiles {
    Temperley,         // from a corpus of classical scores; the default, chosen by measurement
    KrumhanslKessler,  // from listeners' ratings of probe tones
};

struct KeyEstimate {
    bool found = false;  // false when the chroma holds no pitched energy (silence); fields empty then
    int tonic = 0;       // pitch class 0..11, 0 is C
    bool minor = false;
    std::string tonicName;  // "C" .. "B", spelled as pitchClassName
    std::string mode;       // "major" or "minor"
    std::string name;       // "A minor"
    double confidence = 0.0;  // 0..1: the correlation of the chroma with the key's profile (0 if negative)
};

// Averages the rows' pitch-class distributions (row r, class c at chroma.row(r)[c], class 0 is
// C; values >= 0; non-finite values count 0), each row square-rooted and scaled to sum 1 so that
// every frame counts once, as the profiles count how often each degree sounds, and no single loud
// partial outweighs the rest of its frame; rows whose sum is below 1 % of the
// 95th-percentile row's (silence, fades) are left out. The average is correlated with the 24
// rotations of the chosen major and minor profiles (Pearson correlation); the best names the key.
// Allocates a copy of the row sums.
KeyEstimate estimateKey(const FeatureRows& chroma, KeyProfiles profiles = KeyProfiles::Temperley);

}  // namespace zqx::summary
