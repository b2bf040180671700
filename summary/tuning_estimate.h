// The tuning of a recording: how far, in cents, its pitches sit from equal temperament at A4 =
// 440 Hz, measured on the spectral peaks that tonalscan reports.
#pragma once

#include <cstddef>
#include <memory>

namespace tonalscan {
class MultiResolutionPitchCalc;
}

namespace zqx::summary {

// Lifecycle: construct with the stream's rate, add() blocks of interleaved frames in order,
// cents() at any time (it reflects everything added so far). Not thread-safe; allocates its
// analysis object and a block buffer at construction.
class TuningMeter {
public:
    // sampleRate in Hz, 8000..192000 (tonalscan's rates); throws std::invalid_argument otherwise
    // and std::bad_alloc when the analysis object cannot be made.
    explicit TuningMeter(int sampleRate);
    ~TuningMeter();
    TuningMeter(const TuningMeter&) = delete;
    TuningMeter& operator=(const TuningMeter&) = delete;

    // `frames` frames of `channels` interleaved samples; channels are averaged. channels 0 adds
    // nothing.
    void add(const float* interleaved, std::size_t frames, std::size_t channels);

    // The offset in cents, -50 <= offset < 50 (-30: a recording tuned 30 cents flat): the
    // amplitude-weighted circular mean of every tonal peak's distance from its nearest
    // equal-tempered pitch. NaN while no tonal peak has been seen (silence, too short a stream).
    double cents() const;

private:
    void analyseBlock();

    std::unique_ptr<tonalscan::MultiResolutionPitchCalc> m_calc;
    std::size_t m_blockSamples;  // 4B: the block the chroma module would hand over
    float* m_block = nullptr;
    std::size_t m_filled = 0;
    double m_sumCos = 0.0;
    double m_sumSin = 0.0;
};

}  // namespace zqx::summary
