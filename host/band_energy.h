// The band-energy front-end of the feature chain: audio in, one row of critical-band energies
// every 10 ms out, on a compressed scale that never goes below zero.
//
// Frame i starts at sample floor(i * rate / 100) (so frames are 10 ms apart on average at any
// rate) and spans frameLength() samples: the smallest power of two of at least 20 ms (1024 at
// 44.1 and 48 kHz). Each frame is Hann-windowed and transformed with the real FFT, scaled by 1/N.
// The bands follow the critical-band (Bark) scale: edges 0, 100, 200, 300, 400, 510, 630, 770,
// 920, 1080, 1270, 1480, 1720, 2000, 2320, 2700, 3150, 3700, 4400, 5300, 6400, 7700, 9500, 12000
// and 15500 Hz, 24 bands, cut at the Nyquist frequency (23 bands at 22.05 kHz). The DC bin and
// everything above 15.5 kHz are left out.
//
// Band value: ln(1 + 1e6 * E), where E is the sum of the squared bin magnitudes in the band. A
// full-scale sine gives about 11, every 20 dB less takes about 4.6 off, and from about -60 dBFS
// the value sinks smoothly to 0 for silence. The rhythm module clips negative inputs to zero, so
// a plain decibel scale would lose everything below 0 dB; this one has no negative values and
// still compresses like a logarithm.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct RealFftPlan;

namespace zqx::host {

class BandEnergyFrontEnd {
public:
    // sampleRate in Hz, at least 800. Throws std::invalid_argument below that.
    explicit BandEnergyFrontEnd(int sampleRate);
    ~BandEnergyFrontEnd();
    BandEnergyFrontEnd(const BandEnergyFrontEnd&) = delete;
    BandEnergyFrontEnd& operator=(const BandEnergyFrontEnd&) = delete;

    // Consumes n samples and appends a row of bandCount() values to rows for every frame that is
    // now complete.
    void push(const float* samples, std::size_t n, std::vector<float>& rows);
    // The end of the stream: appends the rows of the frames that start before the end, zeros
    // standing in for the samples after it. push() must not be called afterwards.
    void finish(std::vector<float>& rows);

    int bandCount() const { return static_cast<int>(m_bandFirstBin.size()); }
    int frameLength() const { return m_frameLength; }
    // The band edges in Hz (bandCount() + 1 values, the last cut at the Nyquist frequency).
    const std::vector<double>& bandEdges() const { return m_edges; }
    static constexpr double kFramePeriodSeconds = 0.01;
    static constexpr double kCompression = 1e6;
    // The band energy E of a value on this scale: (exp(value) - 1) / kCompression.
    static double energyOf(float value);

private:
    std::int64_t frameStart(std::int64_t frame) const { return frame * m_sampleRate / 100; }
    void analyse(const float* frame, std::vector<float>& rows);

    int m_sampleRate;
    int m_frameLength;
    RealFftPlan* m_plan = nullptr;
    std::vector<float> m_window;
    std::vector<float> m_work;
    std::vector<double> m_power;      // |X[k]|^2 of bins m_bandFirstBin[0] .. m_lastBin-1
    std::vector<double> m_energy;     // one sum per band
    std::vector<std::uint8_t> m_scratch;
    std::vector<double> m_edges;
    std::vector<int> m_bandFirstBin;  // band b covers bins m_bandFirstBin[b] .. m_bandFirstBin[b+1]-1
    int m_lastBin = 0;                // one past the last bin of the last band
    // Samples from m_pendingStart on sit at m_pending[m_pendingOffset...]; the consumed front is
    // dropped only once it outweighs what is kept, so each sample is moved O(1) times.
    std::vector<float> m_pending;
    std::size_t m_pendingOffset = 0;
    std::int64_t m_pendingStart = 0;
    std::int64_t m_received = 0;
    std::int64_t m_nextFrame = 0;
};

}  // namespace zqx::host
