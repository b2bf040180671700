// Loudness of a stream as EBU R128 measures it, computed by libebur128: integrated loudness,
// loudness range and sample peak.
#pragma once

#include <cstddef>
#include <memory>

namespace zqx::summary {

struct Loudness {
    // LUFS; minus infinity when every gating block is below the absolute gate of -70 LUFS
    // (silence, or a stream shorter than one 400 ms block).
    double integratedLufs = 0.0;
    double rangeLu = 0.0;  // LU; 0 when too few short-term blocks pass the gates
    // dBFS of the largest absolute sample over all channels; minus infinity for all-zero audio.
    double samplePeakDbfs = 0.0;
};

// Lifecycle: construct with the stream's channel count and rate, add() blocks of interleaved
// frames in order, result() at any time (it reflects everything added so far). The channels are
// weighted as the recommendation says for their count (1: mono, 2: left/right, 5 or more: the
// surround order L, R, C, LFE, Ls, Rs). Not thread-safe; owns the libebur128 state.
class LoudnessMeter {
public:
    // channels >= 1, sampleRate in Hz >= 16; throws std::invalid_argument otherwise and
    // std::bad_alloc when libebur128 cannot set up its state.
    LoudnessMeter(unsigned channels, unsigned long sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // `frames` frames of `channels` interleaved samples (full scale is 1.0). Throws
    // std::runtime_error if libebur128 reports a failure (it then keeps what it had).
    void add(const float* interleaved, std::size_t frames);

    Loudness result() const;

private:
    struct State;  // libebur128's state, whose type its header names only by typedef
    std::unique_ptr<State> m_state;
    unsigned m_channels;
};

}  // namespace zqx::summary
