// The EBU R128 figures through libebur128.
#include "summary/loudness_meter.h"

#include <algorithm>
#include <cmath>
#include <ebur128.h>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

namespace zqx::summary {

struct LoudnessMeter::State {
    ebur128_state* meter = nullptr;
    // libebur128's destroy reads the state it is given: never hand it one that init refused.
    ~State() {
        if (meter != nullptr) ebur128_destroy(&meter);
    }
};

namespace {

// libebur128 reports an energy E (K-weighted mean square, channels weighted and summed) as the
// loudness 10 log10(E) - 0.691 LUFS; the short-term values are averaged as energies, so the
// step readings are turned back into them with the same offset.
constexpr double kLoudnessOffsetDb = -0.691;

double energyOf(double lufs) { return std::isfinite(lufs) ? std::pow(10.0, (lufs - kLoudnessOffsetDb) / 10.0) : 0.0; }

double loudnessOf(double energy) {
    return energy > 0.0 ? 10.0 * std::log10(energy) + kLoudnessOffsetDb : -std::numeric_limits<double>::infinity();
}

double decibels(double amplitude) {
    return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : -std::numeric_limits<double>::infinity();
}

}  // namespace

LoudnessMeter::LoudnessMeter(unsigned channels, unsigned long sampleRate)
    : m_channels(channels), m_stepFrames(std::size_t(sampleRate) * kStepMs / 1000) {
    if (channels < 1 || sampleRate < 16)
        throw std::invalid_argument("loudness: " + std::to_string(channels) + " channels at " +
                                    std::to_string(sampleRate) + " Hz cannot be measured");
    if (channels > kMostChannels)
        throw std::invalid_argument("loudness: libebur128 measures at most " + std::to_string(kMostChannels) +
                                    " channels, not " + std::to_string(channels));
    m_state = std::make_unique<State>();
    // Integrated loudness and sample peak only: libebur128's short-term and range modes would add a
    // 3 s buffer and a once-a-second list that the range here does not use.
    m_state->meter = ebur128_init(channels, sampleRate, EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
    if (!m_state->meter) throw std::bad_alloc();
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const float* interleaved, std::size_t frames) {
    // Cut at the 100 ms steps so that each step's energy can be read when it is complete.
    while (frames > 0) {
        const std::size_t n = std::min(frames, m_stepFrames - m_stepFilled);
        if (ebur128_add_frames_float(m_state->meter, interleaved, n) != EBUR128_SUCCESS)
            throw std::runtime_error("loudness: libebur128 could not take the audio");
        interleaved += n * m_channels;
        frames -= n;
        m_stepFilled += n;
        if (m_stepFilled == m_stepFrames) closeStep();
    }
}

void LoudnessMeter::closeStep() {
    m_stepFilled = 0;
    // The window reading covers the last sampleRate * kStepMs / 1000 frames (libebur128's count,
    // which m_stepFrames repeats): exactly the step just completed, one sum of squares per sample.
    double stepLufs = 0.0;
    if (ebur128_loudness_window(m_state->meter, kStepMs, &stepLufs) != EBUR128_SUCCESS)
        throw std::runtime_error("loudness: libebur128 could not read a 100 ms window");
    m_stepEnergy[m_steps % kStepsPerShortTerm] = energyOf(stepLufs);
    ++m_steps;
    if (m_steps < kStepsPerShortTerm) return;  // the first short-term value ends 3 s in
    // Summed afresh from the 30 steps rather than kept as a running sum, which would drift.
    double sum = 0.0;
    for (double e : m_stepEnergy) sum += e;
    m_range.add(loudnessOf(sum / double(kStepsPerShortTerm)));
}

Loudness LoudnessMeter::result() const {
    Loudness loudness;
    // libebur128 answers minus infinity (HUGE_VAL negated) for a stream below the gate.
    if (ebur128_loudness_global(m_state->meter, &loudness.integratedLufs) != EBUR128_SUCCESS)
        loudness.integratedLufs = -std::numeric_limits<double>::infinity();
    loudness.rangeLu = m_range.rangeLu();
    double peak = 0.0;
    for (unsigned c = 0; c < m_channels; ++c) {
        double channelPeak = 0.0;
        if (ebur128_sample_peak(m_state->meter, c, &channelPeak) == EBUR128_SUCCESS) peak = std::max(peak, channelPeak);
    }
    loudness.samplePeakDbfs = decibels(peak);
    return loudness;
}

}  // namespace zqx::summary
