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
    ~State() { ebur128_destroy(&meter); }
};

namespace {

double decibels(double amplitude) {
    return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : -std::numeric_limits<double>::infinity();
}

}  // namespace

LoudnessMeter::LoudnessMeter(unsigned channels, unsigned long sampleRate) : m_channels(channels) {
    if (channels < 1 || sampleRate < 16)
        throw std::invalid_argument("loudness: " + std::to_string(channels) + " channels at " +
                                    std::to_string(sampleRate) + " Hz cannot be measured");
    m_state = std::make_unique<State>();
    m_state->meter = ebur128_init(channels, sampleRate, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_SAMPLE_PEAK);
    if (!m_state->meter) throw std::bad_alloc();
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const float* interleaved, std::size_t frames) {
    if (frames == 0) return;
    if (ebur128_add_frames_float(m_state->meter, interleaved, frames) != EBUR128_SUCCESS)
        throw std::runtime_error("loudness: libebur128 could not take the audio");
}

Loudness LoudnessMeter::result() const {
    Loudness loudness;
    // libebur128 answers minus infinity (HUGE_VAL negated) for a stream below the gate.
    if (ebur128_loudness_global(m_state->meter, &loudness.integratedLufs) != EBUR128_SUCCESS)
        loudness.integratedLufs = -std::numeric_limits<double>::infinity();
    if (ebur128_loudness_range(m_state->meter, &loudness.rangeLu) != EBUR128_SUCCESS || !std::isfinite(loudness.rangeLu))
        loudness.rangeLu = 0.0;
    double peak = 0.0;
    for (unsigned c = 0; c < m_channels; ++c) {
        double channelPeak = 0.0;
        if (ebur128_sample_peak(m_state->meter, c, &channelPeak) == EBUR128_SUCCESS) peak = std::max(peak, channelPeak);
    }
    loudness.samplePeakDbfs = decibels(peak);
    return loudness;
}

}  // namespace zqx::summary
