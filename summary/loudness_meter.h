// Loudness of a stream as EBU R128 measures it, computed by libebur128: integrated loudness,
// loudness range and sample peak.
#pragma once

#include <array>
#include <cstddef>
#include <memory>

#include "summary/loudness_range.h"

namespace zqx::summary {

struct Loudness {
    // LUFS; minus infinity when every gating block is below the absolute gate of -70 LUFS
    // (silence, or a stream shorter than one 400 ms block).
    double integratedLufs = 0.0;
    // LU; 0 when no short-term value passes the gates (silence, or a stream shorter than 3 s).
    double rangeLu = 0.0;
    // dBFS of the largest absolute sample over all channels; minus infinity for all-zero audio.
    double samplePeakDbfs = 0.0;
};

// Lifecycle: construct with the stream's channel count and rate, add() blocks of interleaved
// frames in order, result() at any time (it reflects everything added so far). The channels are
// weighted as the recommendation says for their count (1: mono, 2: left/right, 5 or more: the
// surround order L, R, C, LFE, Ls, Rs). Not thread-safe; owns the libebur128 state.
//
// libebur128 does all the measuring (K-weighting, energies, integrated loudness, sample peak).
// The range is not libebur128's own figure: that one takes a short-term value once a second,
// while the meters the range is specified for (and ffmpeg's ebur128 filter) take one every
// 100 ms, which moves the range of a short or uneven stream by tenths of an LU. So the meter
// asks libebur128 for the energy of every 100 ms of audio, forms the 3 s short-term loudness
// every 100 ms from the last 30 of them, and gives those to LoudnessRange.
class LoudnessMeter {
public:
    // channels 1..kMostChannels, sampleRate in Hz >= 16; throws std::invalid_argument otherwise
    // and std::bad_alloc when libebur128 cannot set up its state.
    LoudnessMeter(unsigned channels, unsigned long sampleRate);
    // libebur128 refuses more channels than this (its init returns no state).
    static constexpr unsigned kMostChannels = 64;
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // `frames` frames of `channels` interleaved samples (full scale is 1.0); how the stream is cut
    // into blocks does not change the figures. Throws std::runtime_error if libebur128 reports a
    // failure (it then keeps what it had).
    void add(const float* interleaved, std::size_t frames);

    Loudness result() const;

    static constexpr unsigned kStepMs = 100;            // one short-term value per step
    static constexpr std::size_t kStepsPerShortTerm = 30;  // 3 s

private:
    void closeStep();

    struct State;  // libebur128's state, whose type its header names only by typedef
    std::unique_ptr<State> m_state;
    unsigned m_channels;
    std::size_t m_stepFrames;      // frames in 100 ms, as libebur128 counts its windows
    std::size_t m_stepFilled = 0;  // frames of the current step added so far
    std::array<double, kStepsPerShortTerm> m_stepEnergy{};  // ring of the last steps' mean square
    std::size_t m_steps = 0;       // steps completed
    LoudnessRange m_range;
};

}  // namespace zqx::summary
