// Band-energy rows from overlapping or adjacent blocks.
#include "vamp/band_frames.h"

namespace zqx::vamp {

BandFrames::BandFrames(int sampleRate, std::size_t stepSize, std::size_t blockSize)
    : m_frontEnd(sampleRate), m_stepSize(stepSize), m_blockSize(blockSize) {}

void BandFrames::push(const float* block, std::vector<float>& rows) {
    // Block k covers samples k*step .. k*step + block - 1, so after the first block only its last
    // `step` samples are new.
    const std::size_t skip = newSamplesStart();
    m_first = false;
    m_frontEnd.push(block + skip, m_blockSize - skip, rows);
    m_samples += std::int64_t(m_blockSize - skip);
}

void BandFrames::finish(std::vector<float>& rows) { m_frontEnd.finish(rows); }

}  // namespace zqx::vamp
