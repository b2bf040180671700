// MultiResolutionPitchCalc: history, the five FFT levels, peak picking with log-parabolic
// interpolation, and the record list.
#include "tonalscan/multi_resolution_pitch_calc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "kernels/hann_window.h"
#include "kernels/real_fft.h"

namespace tonalscan {
namespace {

constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;

// Lower band edges in cents above the zero point, level 0 first: a quarter tone below C6, C5,
// C4, C3 and C1. Equal-tempered notes sit a quarter tone away from every edge, so a note is not
// split between two levels by interpolation error.
constexpr double kLevelLowCents[MultiResolutionPitchCalc::kLevelCount] = {8050, 6850, 5650, 4450,
                                                                          2050};

// A peak must reach this fraction of the start's strongest peak (-60 dB) and this absolute
// amplitude (-120 dB of full scale), so rounding noise and the far side lobes are not reported.
constexpr double kRelativeFloor = 1e-3;
constexpr double kAbsoluteFloor = 1e-6;
// Stands in for the log of a zero magnitude beside a peak.
constexpr double kTinyMagnitude = 1e-30;

double centsToHz(double cents) { return kPitchZeroHz * std::exp2(cents / 1200.0); }

}  // namespace

std::uint32_t blockLengthForRate(int samplingRate) noexcept {
    if (samplingRate < kMinRate || samplingRate > kMaxRate) return 0;
    const long exponent = std::lround(std::log2(samplingRate * 1024.0 / 44100.0));
    return std::uint32_t{1} << exponent;
}

std::unique_ptr<MultiResolutionPitchCalc> MultiResolutionPitchCalc::create(int samplingRate) noexcept {
    const std::uint32_t blockLength = blockLengthForRate(samplingRate);
    if (blockLength == 0) return nullptr;
    std::unique_ptr<MultiResolutionPitchCalc> calc(
        new (std::nothrow) MultiResolutionPitchCalc(samplingRate, blockLength));
    if (!calc || !calc->allocate()) return nullptr;
    return calc;
}

MultiResolutionPitchCalc::MultiResolutionPitchCalc(int samplingRate, std::uint32_t blockLength) noexcept
    : m_samplingRate(samplingRate),
      m_blockLength(blockLength),
      m_historyLength((2 * blockLength) << (kLevelCount - 1)) {}

MultiResolutionPitchCalc::~MultiResolutionPitchCalc() {
    for (Level& level : m_levels) {
        if (level.plan != nullptr) (void)realFftDestroy(level.plan);
    }
}

bool MultiResolutionPitchCalc::allocate() noexcept {
    const auto historyLength = static_cast<std::int32_t>(m_historyLength);
    if (!m_history.tryReserve(historyLength) || !m_frame.tryReserve(historyLength) ||
        !m_magnitude.tryReserve(historyLength / 2 + 1))
        return false;
    std::fill(m_history.data(), m_history.data() + m_historyLength, 0.0f);

    const double topHz = std::min(kHighestFrequencyHz, 0.45 * m_samplingRate);
    int scratchBytes = 0;
    for (int l = 0; l < kLevelCount; ++l) {
        Level& level = m_levels[l];
        level.length = (2 * m_blockLength) << l;
        level.hop = l == 0 ? m_blockLength : m_blockLength << (l - 1);
        const auto length = static_cast<std::int32_t>(level.length);
        int order = 0;
        while ((std::uint32_t{1} << order) < level.length) ++order;
        if (realFftCreate(&level.plan, order, NormalizeNone, 2) != kStatusOk) return false;
        int bytes = 0;
        if (realFftScratchSize(level.plan, &bytes) != kStatusOk) return false;
        scratchBytes = std::max(scratchBytes, bytes);

        if (!level.window.tryReserve(length)) return false;
        float* const window = level.window.data();
        std::fill(window, window + length, 1.0f);
        (void)windowHannInPlace(window, length);  // length >= 512, cannot fail
        double windowSum = 0.0;
        for (std::int32_t i = 0; i < length; ++i) windowSum += window[i];
        level.amplitudeScale = 2.0 / windowSum;

        level.binHz = static_cast<double>(m_samplingRate) / level.length;
        level.lowHz = centsToHz(kLevelLowCents[l]);
        level.highHz = l == 0 ? topHz : centsToHz(kLevelLowCents[l - 1]);
        // One bin beyond each edge, so a peak just inside the band still has its maximum bin.
        const double firstBin = std::floor(level.lowHz / level.binHz) - 1.0;
        const double lastBin = std::ceil(level.highHz / level.binHz) + 1.0;
        level.firstBin = static_cast<std::uint32_t>(std::max(1.0, firstBin));
        level.lastBin = static_cast<std::uint32_t>(std::min<double>(level.length / 2 - 2, lastBin));
    }
    if (!m_scratch.tryReserve(scratchBytes)) return false;
    try {
        for (Level& level : m_levels) level.peaks.reserve(level.lastBin - level.firstBin + 1);
        m_candidates.reserve(m_historyLength / 4);
        m_records.reserve(kMaxPeaksPerStart * 16);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::uint32_t MultiResolutionPitchCalc::getBlockLength() { return m_blockLength; }

std::uint32_t MultiResolutionPitchCalc::getPeakCount() {
    m_recordsRead = true;
    return static_cast<std::uint32_t>(m_records.size());
}

void MultiResolutionPitchCalc::getPeak(std::uint32_t index, PitchPeak* peak) {
    m_recordsRead = true;
    if (peak == nullptr || index >= m_records.size()) return;
    *peak = m_records[index];
}

void MultiResolutionPitchCalc::appendToHistory(const float* samples) noexcept {
    // Starts of one block are B apart, so a start's first half repeats the newest B samples of
    // the history; the first start of the caller's next block follows 2B after the previous one
    // and brings 2B new samples.
    const std::uint32_t b = m_blockLength;
    float* const history = m_history.data();
    const bool continues = std::memcmp(samples, history + m_historyLength - b, b * sizeof(float)) == 0;
    const float* fresh = continues ? samples + b : samples;
    const std::uint32_t count = continues ? b : 2 * b;
    std::memmove(history, history + count, (m_historyLength - count) * sizeof(float));
    std::memcpy(history + m_historyLength - count, fresh, count * sizeof(float));
    for (Level& level : m_levels) level.pendingSamples += count;
}

void MultiResolutionPitchCalc::analyseLevel(Level& level) {
    const std::uint32_t n = level.length;
    const float* const history = m_history.data();
    float* const frame = m_frame.data();
    float* const magnitude = m_magnitude.data();
    const float* newest = history + m_historyLength - n;
    for (std::uint32_t i = 0; i < n; ++i) frame[i] = newest[i] * level.window.data()[i];
    (void)realFftForward(frame, frame, level.plan, m_scratch.data());  // checked plan, in place

    // Magnitudes for the candidates, their lobes (two bins either side) and the lobes' outer
    // neighbours.
    const std::uint32_t half = n / 2;
    const std::uint32_t magFirst = level.firstBin >= 3 ? level.firstBin - 3 : 0;
    const std::uint32_t magLast = std::min(half, level.lastBin + 3);
    for (std::uint32_t k = magFirst; k <= magLast; ++k) {
        double value;
        if (k == 0) {
            value = std::fabs(frame[0]);
        } else if (k == half) {
            value = std::fabs(frame[1]);
        } else {
            const double re = frame[2 * k];
            const double im = frame[2 * k + 1];
            value = std::sqrt(re * re + im * im);
        }
        magnitude[k] = static_cast<float>(value);
    }
    const double scale = level.amplitudeScale;
    auto power = [&](std::uint32_t k) {
        const double a = magnitude[k] * scale;
        return a * a;
    };

    auto inBand = [&](std::uint32_t k) {
        const double hz = k * level.binHz;
        return hz >= level.lowHz && hz < level.highHz;
    };
    double bandEnergy = 0.0;
    for (std::uint32_t k = level.firstBin; k <= level.lastBin; ++k) {
        if (inBand(k)) bandEnergy += power(k);
    }

    for (std::uint32_t k = level.firstBin; k <= level.lastBin; ++k) {
        const float centre = magnitude[k];
        if (!(centre > magnitude[k - 1] && centre >= magnitude[k + 1] && centre > 0.0f)) continue;
        // A parabola through the log magnitudes fits the Hann main lobe closely: the offset is
        // within a few hundredths of a bin of the true frequency.
        const double left = std::log(std::max<double>(magnitude[k - 1], kTinyMagnitude));
        const double mid = std::log(static_cast<double>(centre));
        const double right = std::log(std::max<double>(magnitude[k + 1], kTinyMagnitude));
        const double curvature = left - 2.0 * mid + right;
        double offset = curvature < 0.0 ? 0.5 * (left - right) / curvature : 0.0;
        offset = std::clamp(offset, -0.5, 0.5);
        const double frequencyHz = (k + offset) * level.binHz;
        if (frequencyHz < level.lowHz || frequencyHz >= level.highHz) continue;
        const double amplitude = std::exp(mid - 0.25 * (left - right) * offset) * scale;

        // The lobe: up to two bins either side while the magnitude keeps falling, never a valley
        // bin, and only bins of the band. Lobes of different peaks then share no bin, so the
        // shares of one start add up to at most 1.
        double energy = inBand(k) ? power(k) : 0.0;
        for (std::uint32_t d = 1; d <= 2 && k >= d + 1; ++d) {
            const std::uint32_t j = k - d;
            if (!(magnitude[j] < magnitude[j + 1] && magnitude[j - 1] < magnitude[j])) break;
            if (inBand(j)) energy += power(j);
        }
        for (std::uint32_t d = 1; d <= 2 && k + d + 1 <= magLast; ++d) {
            const std::uint32_t j = k + d;
            if (!(magnitude[j] < magnitude[j - 1] && magnitude[j + 1] < magnitude[j])) break;
            if (inBand(j)) energy += power(j);
        }
        level.peaks.push_back({frequencyHz, amplitude, energy});
    }
    level.bandEnergy = bandEnergy;
}

void MultiResolutionPitchCalc::processBlock(const float* samples) {
    if (samples == nullptr) return;
    if (m_recordsRead) {
        m_records.clear();
        m_startsInList = 0;
        m_recordsRead = false;
    }
    appendToHistory(samples);

    m_candidates.clear();
    double totalEnergy = 0.0;
    for (Level& level : m_levels) {
        if (!level.analysed || level.pendingSamples >= level.hop) {
            level.peaks.clear();
            level.pendingSamples = 0;
            level.analysed = true;
            analyseLevel(level);  // reserved for every bin of the band: no allocation
        }
        m_candidates.insert(m_candidates.end(), level.peaks.begin(), level.peaks.end());
        totalEnergy += level.bandEnergy;
    }

    double strongest = 0.0;
    for (const Candidate& c : m_candidates) strongest = std::max(strongest, c.amplitude);
    const double floor = std::max(kAbsoluteFloor, strongest * kRelativeFloor);
    const auto weak = [floor](const Candidate& c) { return !(c.amplitude >= floor); };
    m_candidates.erase(std::remove_if(m_candidates.begin(), m_candidates.end(), weak), m_candidates.end());
    std::sort(m_candidates.begin(), m_candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.amplitude > b.amplitude; });
    if (m_candidates.size() > kMaxPeaksPerStart) m_candidates.resize(kMaxPeaksPerStart);

    for (const Candidate& c : m_candidates) {
        PitchPeak record{};
        record.startIndex = m_startsInList;
        record.peakContribution = static_cast<float>(c.amplitude);
        record.meanContribution =
            totalEnergy > 0.0 ? static_cast<float>(std::min(1.0, c.energy / totalEnergy)) : 0.0f;
        record.frequencyHz = static_cast<float>(c.frequencyHz);
        record.pitchCents = static_cast<std::int32_t>(std::lround(1200.0 * std::log2(c.frequencyHz / kPitchZeroHz)));
        try {
            m_records.push_back(record);
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    ++m_startsInList;
}

}  // namespace tonalscan
