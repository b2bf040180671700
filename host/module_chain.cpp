// Creating chains of instances and exchanging blocks with them.
#include "host/module_chain.h"

#include <cmath>
#include <exception>

#include "framework/processing_module.h"
#include "qvt/base_vector.h"

namespace zqx::host {

BlockView processBlock(ProcessingModule& module, const std::string& pluginName, const float* data,
                       std::uint32_t rows, std::uint32_t cols) {
    // Modules only read their input; the block types are simply not const-qualified.
    float* elements = rows * cols == 0 ? nullptr : const_cast<float*>(data);
    // Both views outlive the call: a module may hand the input block itself back (zqx_ratefold at
    // equal rates), and it is read below (HostileCommand.BrokenPluginsGiveOneLineNamingThem).
    const BaseVector<float> vectorBlock(elements, rows * cols);
    const BaseMatrix<float> matrixBlock(elements, rows, cols);
    DataBlock* output = nullptr;
    const int inputKind = module.getInputKind();
    try {
        // What a block gives is bounded like what it takes: a resampler from 1 Hz to 768 kHz turns
        // 64 values into 49 million (the chain fuzzer found gigabytes asked for this way).
        const std::uint32_t outputSize = module.getOutputSize(rows * cols);
        if (outputSize > std::uint32_t(kMaxBlockFrames))
            throw ModuleError(pluginName + ": a block of " + std::to_string(rows * cols) + " values would give " +
                              std::to_string(outputSize) + ", beyond the host's bound of " +
                              std::to_string(kMaxBlockFrames) + " values per block");
        if (inputKind == RealVector) {
            module.process(output, &vectorBlock);
        } else if (inputKind == RealMatrix) {
            module.process(output, &matrixBlock);
        } else {
            throw ModuleError(pluginName + ": takes input blocks of kind " + std::to_string(inputKind) +
                              ", which this host cannot provide");
        }
    } catch (const ModuleError&) {
        throw;
    } catch (const std::exception& error) {
        throw ModuleError(pluginName + ": " + error.what());
    } catch (...) {
        throw ModuleError(pluginName + ": failed with an unknown exception");
    }
    if (module.getOutputKind() != RealVector)
        throw ModuleError(pluginName + ": returns blocks of kind " + std::to_string(module.getOutputKind()) +
                          ", which this host cannot read");
    if (!output) throw ModuleError(pluginName + ": returned no output block");
    const auto* vector = static_cast<const BaseVector<float>*>(output);
    if (vector->size > 0 && !vector->data) throw ModuleError(pluginName + ": returned a block without data");
    return {vector->data, vector->size};
}

ParameterMap defaultGlobalParams(int samplingRate) {
    int windowSize = 1;
    const double wanted = 4096.0 * samplingRate / 44100.0;
    while (windowSize < (1 << 20) && std::abs(windowSize * 2 - wanted) <= std::abs(windowSize - wanted))
        windowSize *= 2;
    ParameterMap globals;
    globals.set("samplingRate", samplingRate);
    globals.set("windowSize", windowSize);
    globals.set("overlapSize", 0);
    globals.set("msPerRow", 10);
    return globals;
}

void checkChainGlobals(const ParameterMap& globalParams) {
    const struct {
        const char* name;
        int lowest, highest;
    } limits[] = {{"samplingRate", kMinSampleRate, kMaxSampleRate},
                  {"windowSize", 0, kMaxBlockFrames},
                  {"overlapSize", 0, kMaxBlockFrames},
                  {"msPerRow", 1, 60000}};
    for (const auto& limit : limits) {
        const auto it = globalParams.values().find(limit.name);
        if (it == globalParams.values().end()) continue;
        const int* value = std::get_if<int>(&it->second);
        if (!value || *value < limit.lowest || *value > limit.highest)
            throw ModuleError(std::string("global parameter ") + limit.name + "=" + formatParameterValue(it->second) +
                              " must be a whole number from " + std::to_string(limit.lowest) + " to " +
                              std::to_string(limit.highest));
    }
}

namespace {

std::string joinedNames(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// " (with offset=5, size=2)": the module's fixed message does not always name the parameter.
std::string givenNote(const ParameterMap& moduleParams) {
    std::vector<std::string> given;
    for (const auto& [key, value] : moduleParams.values()) given.push_back(key + "=" + formatParameterValue(value));
    return given.empty() ? std::string() : " (with " + joinedNames(given) + ")";
}

// "(groupFrames=400.7 is not a whole number)" after a refusal, so the module's fixed message is
// tied to the value that caused it; otherwise the parameters given.
std::string unusableNote(const ParameterMap& moduleParams, const ParameterMap& globalParams) {
    std::vector<std::string> notes = moduleParams.unusableReads();
    for (const std::string& note : globalParams.unusableReads()) notes.push_back("global " + note);
    return notes.empty() ? givenNote(moduleParams) : " (" + joinedNames(notes) + ")";
}

}  // namespace

ModuleStage::ModuleStage(std::string name, std::shared_ptr<const PluginLibrary> library,
                         const ParameterList& parameters, ParameterMap& globalParams)
    : m_name(std::move(name)), m_library(std::move(library)) {
    // A whole-number parameter beyond the block bound could only size a buffer no machine holds.
    for (const auto& [key, value] : parameters) {
        const int* whole = std::get_if<int>(&value);
        if (whole && (*whole > kMaxBlockFrames || *whole < -kMaxBlockFrames))
            throw ModuleError(m_name + ": parameter " + key + "=" + std::to_string(*whole) +
                              " is beyond the bound of +-" + std::to_string(kMaxBlockFrames) +
                              " this host sets to keep every buffer under 64 MB");
    }
    applyParameters(m_moduleParams, parameters);
    m_globalParamsSeen = globalParams;
    try {
        m_instance = m_library->create(m_moduleParams, globalParams);
    } catch (const LoaderError&) {
        throw;  // a broken plug-in, not a refusal: the message names it already
    } catch (const std::exception& error) {
        throw ModuleError(m_name + " rejected its parameters: " + error.what() +
                          unusableNote(m_moduleParams, globalParams));
    } catch (...) {
        throw ModuleError(m_name + " rejected its parameters with an unknown exception" +
                          unusableNote(m_moduleParams, globalParams));
    }
    try {
        checkChainGlobals(globalParams);
    } catch (const ModuleError& error) {
        throw ModuleError(m_name + " set the chain beyond its bounds: " + error.what());
    }
    for (const std::string& key : m_moduleParams.unreadNames())
        m_warnings.push_back(m_name + " does not read parameter '" + key + "' (it reads " +
                             joinedNames(m_moduleParams.readLog()) + ")");
    for (const std::string& note : m_moduleParams.unusableReads())
        m_warnings.push_back(m_name + ": " + note + "; the module used its default");
    m_globalParamsSeen.clearReadLog();
}

BlockView ModuleStage::process(const float* data, std::uint32_t rows, std::uint32_t cols) {
    try {
        return processBlock(*m_instance, m_name, data, rows, cols);
    } catch (const ModuleError& error) {
        throw ModuleError(error.what() + givenNote(m_moduleParams));
    }
}

ModuleInfoTexts ModuleStage::infoTexts() const { return m_library->infoTexts(moduleInfoLayoutOf(*m_instance)); }

ModuleStage createStage(const std::string& name, const ParameterList& parameters, ParameterMap& globalParams,
                        const PluginLocator& locator) {
    return ModuleStage(name, std::make_shared<const PluginLibrary>(locator.find(name)), parameters, globalParams);
}

ModuleChain::ModuleChain(ParameterMap globalParams) : m_globalParams(std::move(globalParams)) {}

ModuleChain::ModuleChain(const std::vector<ChainStage>& stages, ParameterMap globalParams,
                         const PluginLocator& locator)
    : m_globalParams(std::move(globalParams)) {
    for (const ChainStage& stage : stages)
        m_stages.push_back(createStage(stage.plugin, stage.parameters, m_globalParams, locator));
}

std::size_t ModuleChain::add(const std::string& name, std::shared_ptr<const PluginLibrary> library,
                             const ParameterList& parameters) {
    m_stages.emplace_back(name, std::move(library), parameters, m_globalParams);
    return m_stages.size() - 1;
}

BlockView ModuleChain::process(const float* data, std::uint32_t rows, std::uint32_t cols) {
    BlockView block{data, rows * cols};
    for (std::size_t i = 0; i < m_stages.size(); ++i)
        block = i == 0 ? m_stages[i].process(data, rows, cols)
                       : m_stages[i].process(block.data, block.size == 0 ? 0 : 1, block.size);
    return block;
}

void ModuleChain::setEndOfStream() {
    for (ModuleStage& stage : m_stages) stage.setEndOfStream();
}

int ModuleChain::globalInt(const std::string& name, int fallback) {
    const int value = m_globalParams.getInt(name, fallback);
    m_globalParams.clearReadLog();
    return value;
}

}  // namespace zqx::host
