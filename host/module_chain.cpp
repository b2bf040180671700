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
    float* elements = const_cast<float*>(data);
    DataBlock* output = nullptr;
    const int inputKind = module.getInputKind();
    try {
        if (inputKind == RealVector) {
            const BaseVector<float> block(rows * cols == 0 ? nullptr : elements, rows * cols);
            module.process(output, &block);
        } else if (inputKind == RealMatrix) {
            const BaseMatrix<float> block(rows * cols == 0 ? nullptr : elements, rows, cols);
            module.process(output, &block);
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

ModuleStage::ModuleStage(std::string name, std::shared_ptr<const PluginLibrary> library,
                         const ParameterList& parameters, ParameterMap& globalParams)
    : m_name(std::move(name)), m_library(std::move(library)) {
    applyParameters(m_moduleParams, parameters);
    m_globalParamsSeen = globalParams;
    try {
        m_instance = m_library->create(m_moduleParams, globalParams);
    } catch (const std::exception& error) {
        throw ModuleError(m_name + " rejected its parameters: " + error.what());
    } catch (...) {
        throw ModuleError(m_name + " rejected its parameters with an unknown exception");
    }
    m_globalParamsSeen.clearReadLog();
}

BlockView ModuleStage::process(const float* data, std::uint32_t rows, std::uint32_t cols) {
    return processBlock(*m_instance, m_name, data, rows, cols);
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
