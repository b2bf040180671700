// Critical-band energies per 10 ms frame with the kernels' Hann window and real FFT.
#include "host/band_energy.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "kernels/hann_window.h"
#include "kernels/real_fft.h"

namespace zqx::host {

double BandEnergyFrontEnd::energyOf(float value) { return std::expm1(double(value)) / kCompression; }

namespace {

constexpr double kBarkEdges[] = {0,    100,  200,  300,  400,  510,  630,  770,  920,  1080, 1270, 1480, 1720,
                                 2000, 2320, 2700, 3150, 3700, 4400, 5300, 6400, 7700, 9500, 12000, 15500};

}  // namespace

BandEnergyFrontEnd::BandEnergyFrontEnd(int sampleRate) : m_sampleRate(sampleRate) {
    if (sampleRate < 800) throw std::invalid_argument("band-energy front-end needs a sample rate of at least 800 Hz");
    int order = 1;
    while ((1 << order) < sampleRate / 50) ++order;  // at least 20 ms
    m_frameLength = 1 << order;
    if (realFftCreate(&m_plan, order, NormalizeForward, 0) != kStatusOk)
        throw std::runtime_error("band-energy front-end: cannot create the FFT plan");
    int scratchBytes = 0;
    realFftScratchSize(m_plan, &scratchBytes);
    m_scratch.resize(static_cast<std::size_t>(scratchBytes) + 16);
    m_window.assign(static_cast<std::size_t>(m_frameLength), 1.0f);
    windowHannInPlace(m_window.data(), m_frameLength);
    m_work.resize(static_cast<std::size_t>(m_frameLength));

    const double nyquist = sampleRate / 2.0;
    const double binWidth = double(sampleRate) / m_frameLength;
    const int bins = m_frameLength / 2;  // bins 1 .. N/2-1 carry a complex value; N/2 is left out
    for (std::size_t b = 0; b + 1 < std::size(kBarkEdges) && kBarkEdges[b] < nyquist; ++b) {
        // Bin k (k >= 1) belongs to the band holding its centre frequency k * binWidth.
        const int first = std::max(1, int(std::ceil(kBarkEdges[b] / binWidth)));
        if (first >= bins) break;
        m_edges.push_back(kBarkEdges[b]);
        m_bandFirstBin.push_back(first);
    }
    const double top = std::min(nyquist, kBarkEdges[m_edges.size()]);
    m_edges.push_back(top);
    m_lastBin = std::min(bins, int(std::ceil(top / binWidth)));
    // Drop bands that received no bin (only possible at very low rates).
    for (std::size_t b = 0; b < m_bandFirstBin.size();) {
        const int end = b + 1 < m_bandFirstBin.size() ? m_bandFirstBin[b + 1] : m_lastBin;
        if (end <= m_bandFirstBin[b]) {
            m_bandFirstBin.erase(m_bandFirstBin.begin() + std::ptrdiff_t(b));
            m_edges.erase(m_edges.begin() + std::ptrdiff_t(b + 1));
        } else {
            ++b;
        }
    }
}

BandEnergyFrontEnd::~BandEnergyFrontEnd() {
    if (m_plan) realFftDestroy(m_plan);
}

void BandEnergyFrontEnd::analyse(const float* frame, std::vector<float>& rows) {
    for (int i = 0; i < m_frameLength; ++i) m_work[std::size_t(i)] = frame[i] * m_window[std::size_t(i)];
    // Status: the plan and buffers were checked at construction; nothing can fail here.
    (void)realFftForward(m_work.data(), m_work.data(), m_plan, m_scratch.data());
    const std::size_t bands = m_bandFirstBin.size();
    for (std::size_t b = 0; b < bands; ++b) {
        const int end = b + 1 < bands ? m_bandFirstBin[b + 1] : m_lastBin;
        double energy = 0.0;
        for (int k = m_bandFirstBin[b]; k < end; ++k) {
            const double re = m_work[std::size_t(2 * k)], im = m_work[std::size_t(2 * k + 1)];
            energy += re * re + im * im;
        }
        rows.push_back(static_cast<float>(std::log1p(kCompression * energy)));
    }
}

void BandEnergyFrontEnd::push(const float* samples, std::size_t n, std::vector<float>& rows) {
    m_pending.insert(m_pending.end(), samples, samples + n);
    m_received += std::int64_t(n);
    while (frameStart(m_nextFrame) + m_frameLength <= m_received) {
        analyse(m_pending.data() + (frameStart(m_nextFrame) - m_pendingStart), rows);
        ++m_nextFrame;
    }
    // Keep only what the next frame still needs.
    const std::int64_t keepFrom = std::min(frameStart(m_nextFrame), m_received);
    if (keepFrom > m_pendingStart) {
        m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(keepFrom - m_pendingStart));
        m_pendingStart = keepFrom;
    }
}

void BandEnergyFrontEnd::finish(std::vector<float>& rows) {
    std::vector<float> frame(static_cast<std::size_t>(m_frameLength));
    while (frameStart(m_nextFrame) < m_received) {
        const std::int64_t start = frameStart(m_nextFrame);
        const std::int64_t available = std::min<std::int64_t>(m_frameLength, m_received - start);
        std::fill(frame.begin(), frame.end(), 0.0f);
        std::copy_n(m_pending.begin() + std::ptrdiff_t(start - m_pendingStart), available, frame.begin());
        analyse(frame.data(), rows);
        ++m_nextFrame;
    }
}

}  // namespace zqx::host
