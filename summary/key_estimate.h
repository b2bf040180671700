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

// Averages the 12 chroma values of every row (row r, class c at chroma.row(r)[c], class 0 is C;
// values >= 0; non-finite values count 0), so louder passages weigh more, and correlates the
// average with the 24 rotations of the chosen major and minor profiles (Pearson correlation).
// The best correlation names the key. Allocates nothing beyond the returned strings.
KeyEstimate estimateKey(const FeatureRows& chroma, KeyProfiles profiles = KeyProfiles::Temperley);

}  // namespace zqx::summary
