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

// Level L (0..4) analyses the newest 2B * 2^min(L, 2) samples of the history (levels 3 and 4
// share the spectrum of level 2); its band is one octave from C-quarter-tone to C-quarter-tone
// (level 0 reaches up to the top frequency, level 4 down to kLowestFrequencyHz over two octaves).
// A level is analysed once a quarter of its window has arrived anew; in between a start reports
// the level's last peaks again. Peaks are then whitened when they do not rise above the noise
// floor, matched as harmonics of lower peaks, and reported (see the README).
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
        double amplitude;    // of the sinusoid, as measured
        double rank;         // the amplitude, or for noise the amplitude over the local floor
        double counted;      // what the record reports: the amplitude, or for noise its whitened share
        double energy;       // lobe energy, same scale as the start's total (noise: whitened likewise)
        double fundamentalHz;  // the lowest peak this one is a harmonic of, or its own frequency
        double floor;          // noise peaks: mean magnitude around it; tonal peaks: 0
        double cents = 0.0;    // 1200 * log2(frequencyHz / kPitchZeroHz), set with the fundamentals
        double fundamentalCents = 0.0;
    };
    // A stream of samples: the newest `length` end at `end` (exclusive). New samples are appended
    // behind them; only when the buffer is full are the newest moved back to its front.
    struct SampleHistory {
        KernelBuffer buffer;
        std::uint32_t length = 0;
        std::uint32_t capacity = 0;
        std::uint32_t end = 0;
        bool allocate(std::uint32_t newestKept) noexcept;
        const float* newestEnd() const noexcept { return buffer.data() + end; }
        // Room for `count` new samples (count <= length), appended once written.
        float* append(std::uint32_t count) noexcept;
    };
    // The full-rate history (stream 0) and its copies at a half, a quarter and an eighth of the
    // rate (stream d at rate / 2^d), each made from the one before.
    static constexpr int kStreamCount = 4;
    struct Level {
        std::uint32_t length = 0;  // window length at the full rate
        int stream = 0;            // read from stream `stream`, at rate / 2^stream
        std::uint32_t fftLength = 0;  // window and FFT length in that stream: length / 2^stream
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
    // spectrumReady: m_frame already holds the spectrum of this level's window (the level above
    // has the same window and was analysed at this start), so only the peaks are picked.
    void analyseLevel(Level& level, bool spectrumReady);
    // Sets each candidate's fundamental (the candidates are sorted by frequency).
    void assignFundamentals();

    int m_samplingRate;
    std::uint32_t m_blockLength;
    std::uint32_t m_historyLength;
    Level m_levels[kLevelCount];
    SampleHistory m_streams[kStreamCount];
    int m_streamsUsed = 1;             // streams 0 .. m_streamsUsed-1 are kept
    KernelBuffer m_decimationScratch;  // the even and odd samples being decimated
    KernelBuffer m_frame;      // windowed copy, then packed spectrum
    KernelBuffer m_magnitude;  // |X[k]| of the spectrum in m_frame, bins 0 .. m_magnitudeBins-1
    std::uint32_t m_magnitudeBins = 0;
    KernelByteBuffer m_scratch;
    struct RankedPeak {
        double rank;
        const Candidate* peak;  // in its level's peaks
    };
    std::vector<RankedPeak> m_ranked;    // the start's peaks above the floor, then the strongest
    std::vector<Candidate> m_candidates;  // the start's reported peaks, lowest first
    std::vector<std::size_t> m_root;
    // Harmonic matching: the first candidate of each pitch bucket or above (assignFundamentals).
    std::vector<std::uint16_t> m_bucketStart;
    std::vector<double> m_prefix;
    std::vector<PitchPeak> m_records;
    std::uint32_t m_startsInList = 0;
    bool m_recordsRead = false;
};

}  // namespace tonalscan
