// Chord labelling: triad templates, a no-chord score, Viterbi smoothing.
#include "summary/chord_labels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "summary/pitch_names.h"

namespace zqx::summary {

namespace {

// States 0..11 major triads on root 0..11, 12..23 minor triads, 24 no chord.
constexpr int kStates = 25;
constexpr int kNoChord = 24;

std::string stateLabel(int state) {
    if (state == kNoChord) return "N";
    return std::string(pitchClassName(state % 12)) + (state < 12 ? ":maj" : ":min");
}

// Cosine between a unit chroma and the triad of `state` (three equal weights).
double triadCosine(const std::array<double, 12>& unit, int state) {
    const int root = state % 12, third = state < 12 ? 4 : 3;
    return (unit[std::size_t(root)] + unit[std::size_t((root + third) % 12)] + unit[std::size_t((root + 7) % 12)]) /
           std::sqrt(3.0);
}

}  // namespace

std::vector<ChordSegment> labelChords(const FeatureRows& chroma, const double* times, double frameSeconds,
                                      const ChordSettings& settings) {
    if (!(frameSeconds > 0.0) || !std::isfinite(frameSeconds))
        throw std::invalid_argument("chords: the frame length must be a positive number of seconds");
    const std::size_t frames = chroma.rows;
    std::vector<ChordSegment> segments;
    if (frames == 0) return segments;

    // A frame's chroma with non-finite and negative values as 0, scaled to unit length, and its
    // sum. Computed again where needed, so that the memory per frame stays a few bytes.
    const auto frameChroma = [&](std::size_t r, std::array<double, 12>& unit) {
        const float* row = chroma.row(r);
        double sum = 0.0, norm = 0.0;
        for (std::size_t c = 0; c < 12; ++c) {
            const double v = std::isfinite(row[c]) && row[c] > 0.0f ? double(row[c]) : 0.0;
            unit[c] = v;
            sum += v;
            norm += v * v;
        }
        if (norm > 0.0)
            for (double& v : unit) v /= std::sqrt(norm);
        return sum;
    };
    std::array<double, 12> unit{};
    std::vector<double> sorted(frames);
    for (std::size_t r = 0; r < frames; ++r) sorted[r] = frameChroma(r, unit);
    const std::size_t at = std::min(frames - 1, std::size_t(0.95 * double(frames)));
    std::nth_element(sorted.begin(), sorted.begin() + long(at), sorted.end());
    const double quiet = settings.silenceShare * sorted[at];
    std::vector<double>().swap(sorted);

    // Viterbi over the frames: the score of the best path ending in each state, and back pointers
    // (a state fits in a byte: 25 bytes per frame, a megabyte per hour of 4096-sample frames).
    static_assert(kStates <= 256, "back pointers are stored as bytes");
    const double impossible = -std::numeric_limits<double>::infinity();
    std::vector<std::array<std::uint8_t, kStates>> from(frames);
    std::array<double, kStates> best{}, next{};
    for (std::size_t r = 0; r < frames; ++r) {
        std::array<double, kStates> emission;
        const bool silent = !(frameChroma(r, unit) > quiet);
        for (int s = 0; s < kNoChord; ++s) emission[std::size_t(s)] = silent ? impossible : settings.sharpness * triadCosine(unit, s);
        emission[kNoChord] = settings.sharpness * settings.noChordCosine;
        if (r == 0) {
            best = emission;
            continue;
        }
        const int leader = int(std::max_element(best.begin(), best.end()) - best.begin());
        for (int s = 0; s < kStates; ++s) {
            const double stay = best[std::size_t(s)], change = best[std::size_t(leader)] - settings.switchPenalty;
            const bool keep = stay >= change;
            next[std::size_t(s)] = (keep ? stay : change) + emission[std::size_t(s)];
            from[r][std::size_t(s)] = std::uint8_t(keep ? s : leader);
        }
        best = next;
    }
    std::vector<std::uint8_t> path(frames);
    path[frames - 1] = std::uint8_t(std::max_element(best.begin(), best.end()) - best.begin());
    for (std::size_t r = frames - 1; r > 0; --r) path[r - 1] = from[r][path[r]];
    std::vector<std::array<std::uint8_t, kStates>>().swap(from);

    auto startOf = [&](std::size_t r) { return times ? times[r] : double(r) * frameSeconds; };
    for (std::size_t r = 0; r < frames; ++r) {
        if (r > 0 && path[r] == path[r - 1]) {
            segments.back().end = startOf(r) + frameSeconds;
            continue;
        }
        if (!segments.empty()) segments.back().end = startOf(r);
        segments.push_back({startOf(r), startOf(r) + frameSeconds, stateLabel(path[r])});
    }
    return segments;
}

}  // namespace zqx::summary
