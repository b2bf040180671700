// The band-energy rows of the blocks a Vamp host hands over, computed by the zqx command's own
// front-end (host/band_energy): each sample goes to the front-end once, however much the blocks
// overlap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/band_energy.h"

namespace zqx::vamp {

class BandFrames {
public:
    // sampleRate in Hz (at least 800); stepSize from 1 to blockSize. Throws std::invalid_argument
    // for a rate the front-end refuses.
    BandFrames(int sampleRate, std::size_t stepSize, std::size_t blockSize);

    // One block of blockSize samples, the next in stream order: appends a row of bandCount()
    // values for every frame it completes.
    void push(const float* block, std::vector<float>& rows);
    // The end of the stream: appends the rows of the frames that start before it.
    void finish(std::vector<float>& rows);

    // Where the samples not seen before start in the next block pushed: 0 for the first block,
    // blockSize - stepSize after it.
    std::size_t newSamplesStart() const { return m_first ? 0 : m_blockSize - m_stepSize; }
    int bandCount() const { return m_frontEnd.bandCount(); }
    // Samples handed to the front-end so far.
    std::int64_t samples() const { return m_samples; }
    const host::BandEnergyFrontEnd& frontEnd() const { return m_frontEnd; }

private:
    host::BandEnergyFrontEnd m_frontEnd;
    std::size_t m_stepSize;
    std::size_t m_blockSize;
    std::int64_t m_samples = 0;
    bool m_first = true;
};

}  // namespace zqx::vamp
