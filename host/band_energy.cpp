// Critical-band energies per 10 ms frame with the kernels' Hann window and real FFT.
#include "host/band_energy.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "kernels/elementwise.h"
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
    m_power.resize(static_cast<std::size_t>(std::max(0, m_lastBin - m_bandFirstBin.front())));
    m_energy.resize(m_bandFirstBin.size());
}

BandEnergyFrontEnd::~BandEnergyFrontEnd() {
    if (m_plan) realFftDestroy(m_plan);
}

void BandEnergyFrontEnd::analyse(const float* frame, std::vector<float>& rows) {
    // Statuses: the plan, buffers and lengths were checked at construction; nothing can fail here.
    (void)vecMul(frame, m_window.data(), m_work.data(), m_frameLength);
    (void)realFftForward(m_work.data(), m_work.data(), m_plan, m_scratch.data());
    const int firstBin = m_bandFirstBin.front();
    (void)packedToPower(m_work.data(), m_power.data(), firstBin, static_cast<int>(m_power.size()));

    // Each band sums its bins' powers in ascending order in double, one rounding per bin. The
    // bands are independent, so four run side by side, which keeps their additions from waiting on
    // one another; every band still sees its own terms in its own order.
    const std::size_t bands = m_bandFirstBin.size();
    auto bandPower = [&](std::size_t b) { return m_power.data() + (m_bandFirstBin[b] - firstBin); };
    auto bandSize = [&](std::size_t b) {
        return (b + 1 < bands ? m_bandFirstBin[b + 1] : m_lastBin) - m_bandFirstBin[b];
    };
    std::size_t b = 0;
    for (; b + 4 <= bands; b += 4) {
        const double *p0 = bandPower(b), *p1 = bandPower(b + 1), *p2 = bandPower(b + 2), *p3 = bandPower(b + 3);
        const int n0 = bandSize(b), n1 = bandSize(b + 1), n2 = bandSize(b + 2), n3 = bandSize(b + 3);
        const int common = std::min(std::min(n0, n1), std::min(n2, n3));
        double e0 = 0.0, e1 = 0.0, e2 = 0.0, e3 = 0.0;
        for (int j = 0; j < common; ++j) {
            e0 += p0[j];
            e1 += p1[j];
            e2 += p2[j];
            e3 += p3[j];
        }
        for (int j = common; j < n0; ++j) e0 += p0[j];
        for (int j = common; j < n1; ++j) e1 += p1[j];
        for (int j = common; j < n2; ++j) e2 += p2[j];
        for (int j = common; j < n3; ++j) e3 += p3[j];
        m_energy[b] = e0;
        m_energy[b + 1] = e1;
        m_energy[b + 2] = e2;
        m_energy[b + 3] = e3;
    }
    for (; b < bands; ++b) {
        const double* p = bandPower(b);
        double energy = 0.0;
        for (int j = 0; j < bandSize(b); ++j) energy += p[j];
        m_energy[b] = energy;
    }
    for (const double energy : m_energy) rows.push_back(static_cast<float>(std::log1p(kCompression * energy)));
}

void BandEnergyFrontEnd::push(const float* samples, std::size_t n, std::vector<float>& rows) {
    m_pending.insert(m_pending.end(), samples, samples + n);
    m_received += std::int64_t(n);
    const float* pending = m_pending.data() + m_pendingOffset;
    while (frameStart(m_nextFrame) + m_frameLength <= m_received) {
        analyse(pending + (frameStart(m_nextFrame) - m_pendingStart), rows);
        ++m_nextFrame;
    }
    // Keep only what the next frame still needs.
    const std::int64_t keepFrom = std::min(frameStart(m_nextFrame), m_received);
    if (keepFrom > m_pendingStart) {
        m_pendingOffset += std::size_t(keepFrom - m_pendingStart);
        m_pendingStart = keepFrom;
    }
    if (m_pendingOffset > m_pending.size() - m_pendingOffset) {
        m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(m_pendingOffset));
        m_pendingOffset = 0;
    }
}

void BandEnergyFrontEnd::finish(std::vector<float>& rows) {
    std::vector<float> frame(static_cast<std::size_t>(m_frameLength));
    while (frameStart(m_nextFrame) < m_received) {
        const std::int64_t start = frameStart(m_nextFrame);
        const std::int64_t available = std::min<std::int64_t>(m_frameLength, m_received - start);
        std::fill(frame.begin(), frame.end(), 0.0f);
        std::copy_n(m_pending.begin() + std::ptrdiff_t(m_pendingOffset) + std::ptrdiff_t(start - m_pendingStart),
                    available, frame.begin());
        analyse(frame.data(), rows);
        ++m_nextFrame;
    }
}

}  // namespace zqx::host
