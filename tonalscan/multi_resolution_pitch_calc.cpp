// MultiResolutionPitchCalc: history, the five FFT levels, peak picking with power-parabola
// interpolation, and the record list.
#include "tonalscan/multi_resolution_pitch_calc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "kernels/hann_window.h"
#include "kernels/real_fft.h"
#include "tonalscan/decimating_filter.h"
#include "tonalscan/peak_shape.h"

namespace tonalscan {
namespace {

constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;

// Lower band edges in cents above the zero point, level 0 first: a quarter tone below C6, C5,
// C4, C3 and C1. Equal-tempered notes sit a quarter tone away from every edge, so a note is not
// split between two levels by interpolation error. Windows stop growing at 8B (186 ms at 44.1 kHz):
// measured on the labelled set, windows of 16B and 32B for the two lowest levels reported bass
// notes long gone (their centre lay 0.19 and 0.37 s before the block's end), which cost more
// than their finer bins bought; a partial alone in its lobe is located to well under a cent by
// the interpolation below.
constexpr double kLevelLowCents[MultiResolutionPitchCalc::kLevelCount] = {8050, 6850, 5650, 4450,
                                                                          2050};
// Windows double from level to level up to this one; the levels below share its window and its
// spectrum, each picking the peaks of its own band.
constexpr int kLongestWindowLevel = 2;

// A peak must reach this fraction of the start's strongest peak (-60 dB) and this absolute
// amplitude (-120 dB of full scale), so rounding noise and the far side lobes are not reported.
constexpr double kRelativeFloor = 1e-3;
constexpr double kAbsoluteFloor = 1e-6;
// Harmonic matching: a peak within kHarmonicToleranceCents of harmonic 2..kMaxHarmonic of a lower
// peak also counts, with kHarmonicShare of its strength, for that peak's fundamental. Measured on
// the labelled set: a solo clarinet, oboe or sawtooth lead then reads its own note rather than its
// third harmonic (a fifth up), while chord tones that sit on a bass note's harmonics keep their
// whole strength in their own class (moving them instead cost a chord's fifth and third).
constexpr int kMaxHarmonic = 8;
constexpr double kHarmonicToleranceCents = 10.0;
constexpr double kHarmonicShare = 0.5;
// 1200 * log2(h): how far harmonic h lies above its fundamental, in cents.
constexpr double kHarmonicCents[kMaxHarmonic + 1] = {0.0, 0.0, 1200.0, 1901.9550008653874, 2400.0,
                                                     2786.3137138648348, 3101.9550008653874,
                                                     3368.8259064691249, 3600.0};
// Harmonic matching files the peaks by pitch in buckets a little wider than twice the tolerance
// (so the fundamentals a peak can have lie in two neighbouring buckets), from 0 cents up to the
// highest frequency (10450 cents) with two to spare.
constexpr double kBucketCents = 2.0 * kHarmonicToleranceCents + 0.01;
constexpr std::size_t kPitchBuckets = 524;
// Noise floor: a peak whose amplitude is below kTonalProminence times the mean magnitude of the
// kFloorHalfWidth bins either side is counted as noise. Noise is whitened (its local floor
// replaced by the mean of its level's band) and weighted by the level's bin density (lowHz / f,
// the inverse of how many bins a semitone spans there), so white and pink noise add about the same
// to every pitch class; tonal peaks keep their amplitude.
constexpr std::uint32_t kFloorHalfWidth = 12;
constexpr double kTonalProminence = 4.0;
// Whitening raises a noise peak by at most this factor: across an octave of pink noise the floor
// changes by 1.41, while a band with a strong tone has a mean far above the floor between its
// lobes, and its noise peaks must not be raised to the tone's level.
constexpr double kMostWhitening = 2.0;
// The history buffer holds this many histories, so the newest samples are moved back to its front
// once every few blocks rather than at every start.
constexpr std::uint32_t kHistoryCapacityFactor = 4;
// A level reads the most decimated stream whose last half-rate filter still passes every bin
// the level reads (its band and three bins beyond) flat, and whose FFT keeps at least this many
// points. At 44.1 kHz: the 2B level reads the full rate, the 4B level a quarter of it and the 8B
// levels an eighth, so their FFTs are 2B, B and B points with the bin widths of 2B, 4B and 8B.
constexpr std::uint32_t kShortestDecimatedFft = 256;
// The Hann main lobe's height at half a bin off its centre, sinc(1/2) / (1 - 1/4): the least a
// peak's largest bin can hold of its amplitude.
constexpr double kLowestLobe = 0.8488263631567751;

double centsToHz(double cents) { return kPitchZeroHz * std::exp2(cents / 1200.0); }

// The bucket of a pitch of at least 0 cents (a monotonic map, which is all the matching needs).
std::size_t bucketOf(double cents) {
    return std::min(static_cast<std::size_t>(cents * (1.0 / kBucketCents)), kPitchBuckets - 1);
}

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
      m_historyLength((2 * blockLength) << kLongestWindowLevel) {}

MultiResolutionPitchCalc::~MultiResolutionPitchCalc() {
    for (Level& level : m_levels) {
        if (level.plan != nullptr) (void)realFftDestroy(level.plan);
    }
}

bool MultiResolutionPitchCalc::allocate() noexcept {
    const auto historyLength = static_cast<std::int32_t>(m_historyLength);
    if (!m_frame.tryReserve(historyLength) || !m_magnitude.tryReserve(historyLength / 2 + 1) ||
        !m_decimationScratch.tryReserve(static_cast<std::int32_t>(halfRateScratchLength(2 * m_blockLength))))
        return false;

    const double topHz = std::min(kHighestFrequencyHz, 0.45 * m_samplingRate);
    int scratchBytes = 0;
    for (int l = 0; l < kLevelCount; ++l) {
        Level& level = m_levels[l];
        const int windowLevel = std::min(l, kLongestWindowLevel);
        level.length = (2 * m_blockLength) << windowLevel;
        level.binHz = static_cast<double>(m_samplingRate) / level.length;
        level.lowHz = centsToHz(kLevelLowCents[l]);
        level.highHz = l == 0 ? topHz : centsToHz(kLevelLowCents[l - 1]);
        // One bin beyond each edge, so a peak just inside the band still has its maximum bin;
        // magnitudes are read up to three bins beyond these.
        const double firstBin = std::floor(level.lowHz / level.binHz) - 1.0;
        const double lastBin = std::ceil(level.highHz / level.binHz) + 1.0;
        const double highestReadHz = (lastBin + 3.0) * level.binHz;
        level.stream = 0;
        if (l > kLongestWindowLevel) {
            level.stream = m_levels[kLongestWindowLevel].stream;  // the same spectrum
        } else {
            while (level.stream + 1 < kStreamCount &&
                   highestReadHz <= kHalfRatePassband * m_samplingRate / (1 << level.stream) &&
                   (level.length >> (level.stream + 1)) >= kShortestDecimatedFft)
                ++level.stream;
        }
        m_streamsUsed = std::max(m_streamsUsed, level.stream + 1);
        level.fftLength = level.length >> level.stream;
        level.firstBin = static_cast<std::uint32_t>(std::max(1.0, firstBin));
        level.lastBin = static_cast<std::uint32_t>(std::min<double>(level.fftLength / 2 - 2, lastBin));
        level.hop = windowLevel == 0 ? m_blockLength : m_blockLength << (windowLevel - 1);
        const auto length = static_cast<std::int32_t>(level.fftLength);
        int order = 0;
        while ((std::uint32_t{1} << order) < level.fftLength) ++order;
        if (realFftCreate(&level.plan, order, NormalizeNone, 2) != kStatusOk) return false;
        int bytes = 0;
        if (realFftScratchSize(level.plan, &bytes) != kStatusOk) return false;
        scratchBytes = std::max(scratchBytes, bytes);

        if (!level.window.tryReserve(length)) return false;
        float* const window = level.window.data();
        std::fill(window, window + length, 1.0f);
        (void)windowHannInPlace(window, length);  // length >= 256, cannot fail
        double windowSum = 0.0;
        for (std::int32_t i = 0; i < length; ++i) windowSum += window[i];
        level.amplitudeScale = 2.0 / windowSum;
    }
    if (!m_scratch.tryReserve(scratchBytes)) return false;
    for (int d = 0; d < m_streamsUsed; ++d) {
        if (!m_streams[d].allocate(m_historyLength >> d)) return false;
    }
    try {
        for (Level& level : m_levels) level.peaks.reserve(level.lastBin - level.firstBin + 1);
        std::size_t peakCount = 0;
        for (const Level& level : m_levels) peakCount += level.lastBin - level.firstBin + 1;
        m_ranked.reserve(peakCount);
        m_candidates.reserve(kMaxPeaksPerStart);
        m_prefix.resize(m_historyLength / 2 + 2);
        m_records.reserve(2 * kMaxPeaksPerStart * 16);
        m_root.reserve(kMaxPeaksPerStart);
        m_bucketStart.assign(kPitchBuckets + 2, 0);
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

bool MultiResolutionPitchCalc::SampleHistory::allocate(std::uint32_t newestKept) noexcept {
    length = newestKept;
    capacity = kHistoryCapacityFactor * newestKept;
    end = newestKept;
    if (!buffer.tryReserve(static_cast<std::int32_t>(capacity))) return false;
    std::fill(buffer.data(), buffer.data() + end, 0.0f);
    return true;
}

float* MultiResolutionPitchCalc::SampleHistory::append(std::uint32_t count) noexcept {
    float* const data = buffer.data();
    if (end + count > capacity) {
        std::memmove(data, data + end - length, length * sizeof(float));
        end = length;
    }
    float* const room = data + end;
    end += count;
    return room;
}

void MultiResolutionPitchCalc::appendToHistory(const float* samples) noexcept {
    // Starts of one block are B apart, so a start's first half repeats the newest B samples of
    // the history; the first start of the caller's next block follows 2B after the previous one
    // and brings 2B new samples.
    const std::uint32_t b = m_blockLength;
    SampleHistory& full = m_streams[0];
    const bool continues = std::memcmp(samples, full.newestEnd() - b, b * sizeof(float)) == 0;
    const float* fresh = continues ? samples + b : samples;
    const std::uint32_t count = continues ? b : 2 * b;
    std::memcpy(full.append(count), fresh, count * sizeof(float));
    // B is a multiple of 256, so every stream takes whole pairs of new samples.
    for (int d = 1; d < m_streamsUsed; ++d) {
        const std::uint32_t sourceCount = count >> (d - 1);
        decimateByTwo(m_streams[d - 1].newestEnd(), sourceCount, m_streams[d].append(sourceCount / 2),
                      m_decimationScratch.data());
    }
    for (Level& level : m_levels) level.pendingSamples += count;
}

void MultiResolutionPitchCalc::analyseLevel(Level& level, bool spectrumReady) {
    const std::uint32_t n = level.fftLength;
    float* const frame = m_frame.data();
    float* const magnitude = m_magnitude.data();
    if (!spectrumReady) {
        const float* newest = m_streams[level.stream].newestEnd() - n;
        const float* window = level.window.data();
        for (std::uint32_t i = 0; i < n; ++i) frame[i] = newest[i] * window[i];
        (void)realFftForward(frame, frame, level.plan, m_scratch.data());  // checked plan, in place
        m_magnitudeBins = 0;
    }

    // Magnitudes for the candidates, their lobes (two bins either side) and the lobes' outer
    // neighbours: bins 0 .. magLast, in double rounded once to float. Levels that share a
    // spectrum lie below the one that computed it, so they find theirs already there.
    const std::uint32_t half = n / 2;
    const std::uint32_t magFirst = level.firstBin >= 3 ? level.firstBin - 3 : 0;
    const std::uint32_t magLast = std::min(half, level.lastBin + 3);
    if (m_magnitudeBins <= magLast) {
        const std::uint32_t bins = std::min(half, magLast + 1);  // bin N/2 is not in the packed pairs
        (void)packedToMagnitude(frame, magnitude, static_cast<int>(bins));  // non-null, bins >= 1
        if (magLast == half) magnitude[half] = static_cast<float>(std::fabs(static_cast<double>(frame[1])));
        m_magnitudeBins = magLast + 1;
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
    // Running sums of the magnitudes, for the local floor around each peak.
    m_prefix[magFirst] = 0.0;
    for (std::uint32_t k = magFirst; k <= magLast; ++k) m_prefix[k + 1] = m_prefix[k] + magnitude[k];
    const double bandFloor =
        (m_prefix[level.lastBin + 1] - m_prefix[level.firstBin]) / (level.lastBin - level.firstBin + 1) * scale;
    double bandEnergy = 0.0;
    for (std::uint32_t k = level.firstBin; k <= level.lastBin; ++k) {
        if (inBand(k)) bandEnergy += power(k);
    }

    // A maximum whose amplitude cannot reach the absolute floor, even at the lowest lobe height,
    // would be dropped with the weak peaks of every start; it is not measured at all.
    const double leastCentre = kAbsoluteFloor * kLowestLobe / scale * (1.0 - 1e-9);
    // The power of the last right neighbour: the next maximum, two bins on, may share it.
    std::uint32_t poweredBin = 0;
    double poweredValue = 0.0;
    for (std::uint32_t k = level.firstBin; k <= level.lastBin; ++k) {
        const float centre = magnitude[k];
        if (!(centre > magnitude[k - 1] && centre >= magnitude[k + 1] && centre > 0.0f)) continue;
        if (centre < leastCentre) continue;
        // A parabola through the magnitudes raised to the power 0.23 fits a Hann main lobe so
        // closely that a lone tone's offset comes out within 0.0002 bin; what is left is the
        // leakage of the tone's image below 0 Hz. (Through the log magnitudes it was off by up to
        // 0.016 bin, 4.5 cents at C1 in the 8B window; the exact two-bin and three-bin Hann
        // formulas put noise peaks less evenly over the classes: pink noise's mean half read
        // ±13 % and ±16 % against ±9 % and ±11 % on the evaluation set.)
        const double left = poweredBin == k - 1 && k > 1
                                ? poweredValue
                                : parabolaPower(magnitude[k - 1]);
        const double mid = parabolaPower(centre);
        const double right = parabolaPower(magnitude[k + 1]);
        poweredBin = k + 1;
        poweredValue = right;
        const double curvature = left - 2.0 * mid + right;
        const double offset = std::clamp(curvature < 0.0 ? 0.5 * (left - right) / curvature : 0.0, -0.5, 0.5);
        const double d = std::fabs(offset);
        const double frequencyHz = (k + offset) * level.binHz;
        if (frequencyHz < level.lowHz || frequencyHz >= level.highHz) continue;
        // The Hann main lobe at offset d: sinc(d) / (1 - d^2) of its height at 0.
        const double lobe = hannLobeHeight(d);
        const double amplitude = centre / lobe * scale;

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
        const std::uint32_t lo = k > magFirst + kFloorHalfWidth ? k - kFloorHalfWidth : magFirst;
        const std::uint32_t hi = std::min(magLast, k + kFloorHalfWidth);
        const double floorMag = (m_prefix[hi + 1] - m_prefix[lo]) / (hi - lo + 1) * scale;
        const bool noise = !(amplitude >= kTonalProminence * floorMag);
        level.peaks.push_back({frequencyHz, amplitude, amplitude, amplitude, energy, frequencyHz,
                               noise ? floorMag : 0.0});
    }
    // Noise peaks are whitened (their local floor replaced by the mean magnitude of the band)
    // and weighted by the bin density.
    for (Candidate& c : level.peaks) {
        if (!(c.floor > 0.0)) continue;
        const double whiten = std::min(kMostWhitening, bandFloor / c.floor);
        // lowHz / f folded into one octave: the bins a semitone spans grow with f within each
        // octave from C to C, and every octave of the band holds each class once.
        double octaveLowHz = level.lowHz;
        while (c.frequencyHz >= 2.0 * octaveLowHz) octaveLowHz *= 2.0;
        const double density = octaveLowHz / c.frequencyHz;
        c.rank = c.amplitude * whiten;
        c.counted = c.rank * density;
        c.energy *= whiten * whiten * density;
    }
    level.bandEnergy = bandEnergy;
}

void MultiResolutionPitchCalc::assignFundamentals() {
    // The candidates come lowest first, so a peak's fundamental is settled before the peaks above
    // it look for theirs; a harmonic of a harmonic counts for the fundamental of both.
    const std::size_t n = m_candidates.size();
    m_root.resize(n);  // at most kMaxPeaksPerStart, reserved
    const double tolerance = std::exp2(kHarmonicToleranceCents / 1200.0);
    const double lowestRatio = 1.0 / (kMaxHarmonic * tolerance);
    // Peak j is harmonic h of peak i's when f_i / f_j lies within the tolerance of h. The peaks
    // are filed by pitch in buckets a little wider than twice the tolerance, so the peaks that
    // can be harmonic h's fundamental lie in two neighbouring buckets; the exact ratio test below
    // decides. Peaks sorted by frequency fill the buckets in order: m_bucketStart[b] is the first
    // peak of bucket b or above, so two buckets are one run of peaks, and visited from
    // h = kMaxHarmonic down the runs give the lower peaks in ascending order: the strongest
    // fundamental wins as with a plain scan of all lower peaks.
    std::uint16_t* const bucketStart = m_bucketStart.data();
    std::size_t filled = 0;  // buckets 0 .. filled-1 have their start
    for (std::size_t i = 0; i < n; ++i) {
        Candidate& p = m_candidates[i];
        p.cents = 1200.0 * std::log2(p.frequencyHz / kPitchZeroHz);
        const std::size_t bucket = bucketOf(p.cents);
        if (bucket >= filled) {
            std::fill(bucketStart + filled, bucketStart + bucket + 1, static_cast<std::uint16_t>(i));
            filled = bucket + 1;
        }
    }
    std::fill(bucketStart + filled, bucketStart + m_bucketStart.size(), static_cast<std::uint16_t>(n));
    constexpr double kReach = kHarmonicToleranceCents + 1e-6;  // rounding margin of the cents
    const double lowestCents = n > 0 ? m_candidates[0].cents : 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        Candidate& p = m_candidates[i];
        m_root[i] = i;
        double rootStrength = 0.0;
        const double lowest = p.frequencyHz * lowestRatio;
        for (int h = kMaxHarmonic; h >= 2; --h) {
            const double below = p.cents - kHarmonicCents[h] - kReach;
            if (below + 2.0 * kReach < lowestCents) continue;  // below the lowest peak
            const std::size_t bucket = bucketOf(std::max(0.0, below));
            const std::size_t end = std::min<std::size_t>(i, bucketStart[bucket + 2]);
            for (std::size_t j = bucketStart[bucket]; j < end; ++j) {
                if (m_candidates[j].frequencyHz < lowest) continue;
                const double ratio = p.frequencyHz / m_candidates[j].frequencyHz;
                if (static_cast<long>(ratio + 0.5) != h) continue;
                const double mismatch = ratio / static_cast<double>(h);
                if (mismatch > tolerance || mismatch < 1.0 / tolerance) continue;
                const std::size_t root = m_root[j];
                if (m_candidates[root].counted > rootStrength) {  // the strongest fundamental wins
                    rootStrength = m_candidates[root].counted;
                    m_root[i] = root;
                }
            }
        }
        p.fundamentalHz = m_candidates[m_root[i]].frequencyHz;
        p.fundamentalCents = m_candidates[m_root[i]].cents;
    }
}

void MultiResolutionPitchCalc::processBlock(const float* samples) {
    if (samples == nullptr) return;
    if (m_recordsRead) {
        m_records.clear();
        m_startsInList = 0;
        m_recordsRead = false;
    }
    appendToHistory(samples);

    double totalEnergy = 0.0;
    std::uint32_t spectrumLength = 0;  // window length of the spectrum in m_frame at this start
    for (Level& level : m_levels) {
        if (!level.analysed || level.pendingSamples >= level.hop) {
            level.peaks.clear();
            level.pendingSamples = 0;
            level.analysed = true;
            analyseLevel(level, spectrumLength == level.length);  // reserved: no allocation
            spectrumLength = level.length;
        }
        totalEnergy += level.bandEnergy;
    }

    double strongest = 0.0;
    for (const Level& level : m_levels) {
        for (const Candidate& c : level.peaks) strongest = std::max(strongest, c.amplitude);
    }
    const double floor = std::max(kAbsoluteFloor, strongest * kRelativeFloor);
    // The peaks that reach the floor, by reference; the strongest kMaxPeaksPerStart of them
    // (ranked with noise whitened, so the cap favours no part of a band) are copied out.
    m_ranked.clear();
    for (const Level& level : m_levels) {
        for (const Candidate& c : level.peaks) {
            if (c.amplitude >= floor) m_ranked.push_back({c.rank, &c});  // reserved: no allocation
        }
    }
    const auto stronger = [](const RankedPeak& a, const RankedPeak& b) { return a.rank > b.rank; };
    if (m_ranked.size() > kMaxPeaksPerStart) {
        std::nth_element(m_ranked.begin(), m_ranked.begin() + kMaxPeaksPerStart, m_ranked.end(), stronger);
        m_ranked.resize(kMaxPeaksPerStart);
    }
    // Lowest first for the harmonic matching and the records.
    std::sort(m_ranked.begin(), m_ranked.end(), [](const RankedPeak& a, const RankedPeak& b) {
        return a.peak->frequencyHz < b.peak->frequencyHz;
    });
    m_candidates.clear();
    for (const RankedPeak& r : m_ranked) m_candidates.push_back(*r.peak);

    assignFundamentals();

    const double energyScale = totalEnergy > 0.0 ? 1.0 / totalEnergy : 0.0;
    for (const Candidate& c : m_candidates) {
        PitchPeak record{};
        record.startIndex = m_startsInList;
        record.peakContribution = static_cast<float>(c.counted);
        record.meanContribution = static_cast<float>(std::min(1.0, c.energy * energyScale));
        record.frequencyHz = static_cast<float>(c.frequencyHz);
        record.pitchCents = static_cast<std::int32_t>(std::lround(c.cents));
        try {  // reserved for 16 starts; a caller that reads less often may make the list grow
            m_records.push_back(record);
            if (c.fundamentalHz != c.frequencyHz) {
                PitchPeak share = record;
                share.peakContribution = static_cast<float>(kHarmonicShare * c.counted);
                share.meanContribution = static_cast<float>(kHarmonicShare * record.meanContribution);
                share.pitchCents = static_cast<std::int32_t>(std::lround(c.fundamentalCents));
                m_records.push_back(share);
            }
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    ++m_startsInList;
}

}  // namespace tonalscan
