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

    // Every block of the first kFullSeconds is analysed; after that one block in kStride is
    // counted, with kStride times the weight, so that every part of a long stream weighs by its
    // duration. The block before a counted one is analysed too, uncounted: tonalscan's longest
    // window reaches back into it, and it must hold the audio that preceded the counted block.
    static constexpr double kFullSeconds = 10.0;
    static constexpr std::size_t kStride = 16;

private:
    // count false: the block only refills the analysis history.
    void analyseBlock(bool count, double weight);

    std::unique_ptr<tonalscan::MultiResolutionPitchCalc> m_calc;
    std::size_t m_blockSamples;  // 4B: the block the chroma module would hand over
    float* m_block = nullptr;
    std::size_t m_filled = 0;
    std::size_t m_fullBlocks = 0;  // blocks in kFullSeconds
    std::size_t m_blockIndex = 0;  // of the block being filled
    double m_sumCos = 0.0;
    double m_sumSin = 0.0;
};

}  // namespace zqx::summary
