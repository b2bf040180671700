// Half-wave rectified flux of logarithmic band levels.
#include "summary/onset_envelope.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace zqx::summary {

void OnsetEnvelope::addFrame(const float* levels, std::size_t bands) { m_values.push_back(nextFrame(levels, bands)); }

float OnsetEnvelope::nextFrame(const float* levels, std::size_t bands) {
    if (bands == 0) throw std::invalid_argument("onset envelope: a frame needs at least one band");
    if (!m_previous.empty() && bands != m_previous.size())
        throw std::invalid_argument("onset envelope: a frame of " + std::to_string(bands) + " bands after frames of " +
                                    std::to_string(m_previous.size()));
    const bool first = m_previous.empty();
    if (first) m_previous.assign(bands, 0.0f);
    double rise = 0.0;
    for (std::size_t b = 0; b < bands; ++b) {
        const float level = std::isfinite(levels[b]) ? levels[b] : 0.0f;
        if (!first && level > m_previous[b]) rise += double(level) - double(m_previous[b]);
        m_previous[b] = level;
    }
    return static_cast<float>(rise);
}

}  // namespace zqx::summary
