// MultiResolutionPitchCalc: the CPitchCalc that tonalscan hands out. Five Hann-windowed FFT
// levels over one sample history, each reporting the peaks of its own octave band.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kernels/kernel_buffer.h"
#include "tonalscan/pitch_calc.h"

struct RealFftPlan;

namespace tonalscan {

// Hop B for a sampling rate: the power of two nearest (in ratio) to rate * 1024 / 44100, so
// 1024 at 44.1 and 48 kHz. 0 for rates outside 8000..192000 Hz.
std::uint32_t blockLengthForRate(int samplingRate) noexcept;

// Level L (0..4) analyses the newest 2B * 2^L samples of the history; its band is one octave
// from C-quarter-tone to C-quarter-tone (level 0 reaches up to the top frequency, level 4 down
// to kLowestFrequencyHz over two octaves), so low pitches get the long windows they need to be
// told apart and high ones the short windows that follow them in time. Level 0 is analysed at
// every start, level L >= 1 once B * 2^(L-1) new samples have arrived (a quarter of its window);
// in between a start reports the level's last peaks again.
class MultiResolutionPitchCalc final : public CPitchCalc {
public:
    // Null when the rate is not served or memory runs out.
    static std::unique_ptr<MultiResolutionPitchCalc> create(int samplingRate) noexcept;
    ~MultiResolutionPitchCalc() override;

    MultiResolutionPitchCalc(const MultiResolutionPitchCalc&) = delete;
    MultiResolutionPitchCalc& operator=(const MultiResolutionPitchCalc&) = delete;

    std::uint32_t getBlockLength() override;
    void processBlock(const float* samples) override;
    std::uint32_t getPeakCount() override;
    void getPeak(std::uint32_t index, PitchPeak* peak) override;

    static constexpr int kLevelCount = 5;
    // Most records one start reports (its strongest peaks).
    static constexpr std::size_t kMaxPeaksPerStart = 48;

private:
    struct Candidate {
        double frequencyHz;
        double amplitude;
        double energy;  // lobe energy, same scale as the start's total
    };
    struct Level {
        std::uint32_t length = 0;  // window and FFT length
        std::uint32_t hop = 0;     // new samples between two analyses
        RealFftPlan* plan = nullptr;
        KernelBuffer window;
        double amplitudeScale = 0.0;  // 2 / sum of the window: a sine of amplitude a peaks at a
        double binHz = 0.0;
        double lowHz = 0.0;   // band, lowHz <= f < highHz
        double highHz = 0.0;
        std::uint32_t firstBin = 0;  // peak candidates; each has both neighbours in the spectrum
        std::uint32_t lastBin = 0;
        // The last analysis: its peaks, the energy of its band, and what has arrived since.
        std::vector<Candidate> peaks;
        double bandEnergy = 0.0;
        std::uint32_t pendingSamples = 0;
        bool analysed = false;
    };

    MultiResolutionPitchCalc(int samplingRate, std::uint32_t blockLength) noexcept;
    bool allocate() noexcept;
    void appendToHistory(const float* samples) noexcept;
    // Replaces the level's peaks and band energy with those of the newest samples.
    void analyseLevel(Level& level);

    int m_samplingRate;
    std::uint32_t m_blockLength;
    std::uint32_t m_historyLength;
    Level m_levels[kLevelCount];
    KernelBuffer m_history;    // newest sample last
    KernelBuffer m_frame;      // windowed copy, then packed spectrum
    KernelBuffer m_magnitude;  // |X[k]| of the current level
    KernelByteBuffer m_scratch;
    std::vector<Candidate> m_candidates;
    std::vector<PitchPeak> m_records;
    std::uint32_t m_startsInList = 0;
    bool m_recordsRead = false;
};

}  // namespace tonalscan
