// A chain of plug-in instances created in order on one shared globalParams, with the host's side
// of the block exchange: wrapping floats as the block kind a module asks for, and reading back
// the vector it returns.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/chain_spec.h"
#include "host/library_loader.h"
#include "host/limits.h"
#include "host/parameter_map.h"
#include "host/plugin_locator.h"

namespace zqx::host {

// A module refused its parameters or failed on a block; the message names the plug-in and
// carries the module's own message unchanged.
class ModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The floats of a returned block; valid until the next call on the instance that returned it.
struct BlockView {
    const float* data = nullptr;
    std::uint32_t size = 0;
};

// Hands rows x cols floats (row by row) to the module as the kind its getInputKind names: a vector
// of rows*cols values or a rows x cols matrix. Returns the vector block the module gives back.
// The module's exceptions become ModuleError("<pluginName>: <message>"); a module announcing a
// kind this host cannot feed or read also gives ModuleError.
BlockView processBlock(ProcessingModule& module, const std::string& pluginName, const float* data,
                       std::uint32_t rows, std::uint32_t cols);

// The chain-wide parameters for a stream at samplingRate: "samplingRate", "windowSize" (the
// power of two nearest to 93 ms: 4096 at 44.1 and 48 kHz, 2048 at 22.05 kHz), "overlapSize" 0 and
// "msPerRow" 10.
ParameterMap defaultGlobalParams(int samplingRate);

// Throws ModuleError unless "samplingRate", "windowSize", "overlapSize" and "msPerRow", where
// present, are whole numbers, the rate within kMinSampleRate..kMaxSampleRate Hz and the sizes
// within 0..kMaxBlockFrames: the values a user gives with --global.
void checkChainGlobals(const ParameterMap& globalParams);

// One created plug-in instance and what it was created with.
struct ModuleStage {
    std::string name;                       // as asked for, e.g. "zqx_tonewheel"
    std::shared_ptr<PluginLibrary> library;
    ParameterMap moduleParams;
    ParameterMap globalParamsSeen;          // globalParams as they stood when this stage was created
    ModuleInstance instance;
    // Parameters given but never read (a misspelt key) and values of a type the module could not
    // use, one sentence each naming the plug-in, for the command to print as warnings.
    std::vector<std::string> warnings;
};

// Loads the plug-in and creates an instance; a rejected parameter set becomes
// ModuleError("<name> rejected its parameters: <module message>"), followed by the values whose
// type the module could not use, in parentheses.
ModuleStage createStage(const std::string& name, const ParameterList& parameters, ParameterMap& globalParams,
                        const PluginLocator& locator);

// Stages created in chain order on one globalParams (so a stage sees what earlier stages wrote
// into it). Each block passes through every stage; a stage's vector is handed on as 1 x n.
//
// Lifecycle: construct; process() per block in stream order; optionally setEndOfStream() before
// the final process(); destroy. Instances are never shared: one chain per thread.
class ModuleChain {
public:
    ModuleChain(const std::vector<ChainStage>& stages, ParameterMap globalParams, const PluginLocator& locator);

    BlockView process(const float* data, std::uint32_t rows, std::uint32_t cols);
    void setEndOfStream();

    const std::vector<ModuleStage>& stages() const { return m_stages; }
    const ParameterMap& globalParams() const { return m_globalParams; }

private:
    ParameterMap m_globalParams;
    std::vector<ModuleStage> m_stages;
};

}  // namespace zqx::host
