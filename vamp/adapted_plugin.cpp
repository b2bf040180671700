// The shared part of the adapted plug-ins.
#include "vamp/adapted_plugin.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace zqx::vamp {

AdaptedPlugin::AdaptedPlugin(float inputSampleRate, const std::vector<MappedParameter>& table)
    : Vamp::Plugin(inputSampleRate), m_parameters(table) {}

std::string AdaptedPlugin::getMaker() const { return "zqx audio project"; }

std::string AdaptedPlugin::getCopyright() const { return "zqx audio project 2026"; }

int AdaptedPlugin::getPluginVersion() const { return 1; }

Vamp::PluginBase::ParameterList AdaptedPlugin::getParameterDescriptors() const { return m_parameters.descriptors(); }

float AdaptedPlugin::getParameter(std::string identifier) const { return m_parameters.get(identifier); }

void AdaptedPlugin::setParameter(std::string identifier, float value) { (void)m_parameters.set(identifier, value); }

int AdaptedPlugin::sampleRate() const {
    const double rate = std::round(double(m_inputSampleRate));
    if (!(rate >= 1.0 && rate <= double(std::numeric_limits<int>::max()))) return 0;
    return int(rate);
}

bool AdaptedPlugin::checkSizes(size_t channels, size_t stepSize, size_t blockSize, int minRate,
                               size_t minBlock) {
    if (channels < 1 || channels > kMaxChannels)
        return refuse("takes 1 to " + std::to_string(kMaxChannels) + " channels, not " + std::to_string(channels));
    if (sampleRate() < minRate)
        return refuse("cannot analyse audio at " + std::to_string(m_inputSampleRate) + " Hz (at least " +
                      std::to_string(minRate) + " Hz)");
    if (blockSize < minBlock || blockSize > (1u << 24))
        return refuse("block size " + std::to_string(blockSize) + " is outside " + std::to_string(minBlock) +
                      ".." + std::to_string(1u << 24));
    if (stepSize < 1 || stepSize > blockSize)
        return refuse("step size " + std::to_string(stepSize) + " must be from 1 to the block size " +
                      std::to_string(blockSize));
    m_channels = channels;
    m_mono.assign(channels > 1 ? blockSize : 0, 0.0f);
    return true;
}

const float* AdaptedPlugin::mono(const float* const* inputBuffers) {
    if (m_channels == 1) return inputBuffers[0];
    for (std::size_t i = 0; i < m_mono.size(); ++i) {
        double sum = 0.0;
        for (std::size_t c = 0; c < m_channels; ++c) sum += inputBuffers[c][i];
        m_mono[i] = static_cast<float>(sum / double(m_channels));
    }
    return m_mono.data();
}

bool AdaptedPlugin::refuse(const std::string& message) const {
    std::fprintf(stderr, "zqx_vamp: %s: %s\n", getIdentifier().c_str(), message.c_str());
    std::fflush(stderr);
    return false;
}

}  // namespace zqx::vamp
