// TuningMeter: tonalscan on blocks of the mono mix, and a circular mean of the peaks' offsets.
#include "summary/tuning_estimate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "tonalscan/multi_resolution_pitch_calc.h"

namespace zqx::summary {
namespace {

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

TuningMeter::TuningMeter(int sampleRate) {
    m_calc = tonalscan::MultiResolutionPitchCalc::create(sampleRate);
    if (tonalscan::blockLengthForRate(sampleRate) == 0)
        throw std::invalid_argument("tuning: sampling rate outside 8000..192000 Hz");
    if (!m_calc) throw std::bad_alloc();
    m_blockSamples = 4 * std::size_t(m_calc->getBlockLength());
    m_block = new float[m_blockSamples];
    m_fullBlocks = std::size_t(std::ceil(kFullSeconds * sampleRate / double(m_blockSamples)));
}

TuningMeter::~TuningMeter() { delete[] m_block; }

void TuningMeter::add(const float* interleaved, std::size_t frames, std::size_t channels) {
    if (channels == 0) return;
    while (frames > 0) {
        // Past the first seconds only the last two blocks of every kStride are analysed.
        const std::size_t phase = m_blockIndex < m_fullBlocks ? 0 : (m_blockIndex - m_fullBlocks) % kStride;
        const bool full = m_blockIndex < m_fullBlocks;
        const bool analysed = full || phase >= kStride - 2;
        const std::size_t take = std::min(frames, m_blockSamples - m_filled);
        if (analysed && channels == 1) {
            std::copy(interleaved, interleaved + take, m_block + m_filled);
        } else if (analysed) {
            for (std::size_t f = 0; f < take; ++f) {
                float sum = 0.0f;
                for (std::size_t c = 0; c < channels; ++c) sum += interleaved[f * channels + c];
                m_block[m_filled + f] = sum / float(channels);
            }
        }
        m_filled += take;
        interleaved += take * channels;
        frames -= take;
        if (m_filled < m_blockSamples) return;
        if (analysed) analyseBlock(full || phase == kStride - 1, full ? 1.0 : double(kStride));
        m_filled = 0;
        ++m_blockIndex;
    }
}

void TuningMeter::analyseBlock(bool countPeaks, double weight) {
    const std::size_t b = m_calc->getBlockLength();
    for (std::size_t o = 0; o + 2 * b <= m_blockSamples; o += b) m_calc->processBlock(m_block + o);
    const std::uint32_t count = m_calc->getPeakCount();  // also starts a fresh list
    if (!countPeaks) return;
    for (std::uint32_t i = 0; i < count; ++i) {
        PitchPeak p{};
        m_calc->getPeak(i, &p);
        if (!(p.frequencyHz > 0.0f)) continue;
        // A harmonic's second record carries its fundamental's pitch: count each peak once.
        const double own = 1200.0 * std::log2(double(p.frequencyHz) / kPitchZeroHz);
        if (std::abs(own - p.pitchCents) > 1.0) continue;
        const double cents = 1200.0 * std::log2(double(p.frequencyHz) / 440.0);
        const double angle = kTwoPi * cents / 100.0;
        m_sumCos += weight * p.peakContribution * std::cos(angle);
        m_sumSin += weight * p.peakContribution * std::sin(angle);
    }
}

double TuningMeter::cents() const {
    if (!(std::hypot(m_sumCos, m_sumSin) > 0.0)) return std::numeric_limits<double>::quiet_NaN();
    double offset = std::atan2(m_sumSin, m_sumCos) / kTwoPi * 100.0;
    if (offset >= 50.0) offset -= 100.0;
    return offset;
}

}  // namespace zqx::summary
