// AdaptedPlugin: what every Vamp plug-in of this library shares. Texts, the parameter table,
// mono time-domain input, the host's rate as whole hertz and the report of a refused
// initialise().
//
// Lifecycle, as a Vamp host drives an instance:
//   1. Construction with the input rate: cheap, loads nothing.
//   2. Parameters set; the preferred block and step sizes asked.
//   3. initialise(): loads the zqx plug-ins and creates their instances with the parameters as
//      they stand. A refusal (a plug-in not found, a parameter or rate the module refuses, sizes
//      the plug-in cannot take) returns false and writes one line to stderr.
//   4. process() per block in stream order, getRemainingFeatures() at the end; reset() starts a
//      new stream with fresh module instances.
// One caller drives an instance at a time; instances share nothing but the descriptor tables.
#pragma once

#include <string>
#include <vector>

#include <vamp-sdk/Plugin.h>

#include "vamp/parameter_table.h"

namespace zqx::vamp {

class AdaptedPlugin : public Vamp::Plugin {
public:
    AdaptedPlugin(float inputSampleRate, const std::vector<MappedParameter>& table);

    std::string getMaker() const override;
    std::string getCopyright() const override;
    int getPluginVersion() const override;
    InputDomain getInputDomain() const override { return TimeDomain; }
    // Several channels are mixed to their mean here, as the zqx command mixes a file, so that a
    // multichannel file gives the command's numbers (a host's own mixdown rounds differently).
    size_t getMinChannelCount() const override { return 1; }
    size_t getMaxChannelCount() const override { return kMaxChannels; }
    static constexpr size_t kMaxChannels = 64;

    ParameterList getParameterDescriptors() const override;
    float getParameter(std::string identifier) const override;
    void setParameter(std::string identifier, float value) override;

protected:
    // The host's rate as whole hertz (rounded); 0 when that is below 1 or beyond an int.
    int sampleRate() const;
    // The checks every plug-in makes first: 1 to kMaxChannels channels, a rate of at least
    // minRate Hz, a block of at least minBlock samples and a step from 1 to the block length.
    // False after reporting; otherwise prepares mono().
    bool checkSizes(size_t channels, size_t stepSize, size_t blockSize, int minRate, size_t minBlock);
    // The block's samples as one channel: the only channel itself, or the mean of the channels
    // (summed in double, rounded once) in a buffer valid until the next call.
    const float* mono(const float* const* inputBuffers);
    // Writes "zqx_vamp: <identifier>: <message>" to stderr; returns false.
    bool refuse(const std::string& message) const;
    const ParameterValues& parameters() const { return m_parameters; }

private:
    ParameterValues m_parameters;
    size_t m_channels = 1;
    std::vector<float> m_mono;
};

}  // namespace zqx::vamp
