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

// One created plug-in instance and what it was created with. Blocks go in through process(); the
// instance is never handed out, so every call on it passes the host's checks.
class ModuleStage {
public:
    // Creates an instance of library with parameters on globalParams (which the module may
    // rewrite); a rejected parameter set becomes
    // ModuleError("<name> rejected its parameters: <module message> (<values>)"), the values being
    // those whose type the module could not use or else the parameters given. A whole-number
    // parameter beyond +-kMaxBlockFrames, or globalParams that the module rewrote beyond
    // checkChainGlobals' bounds, give ModuleError too.
    ModuleStage(std::string name, std::shared_ptr<const PluginLibrary> library, const ParameterList& parameters,
                ParameterMap& globalParams);

    // processBlock() on this instance; a failure's message ends with the parameters given.
    BlockView process(const float* data, std::uint32_t rows, std::uint32_t cols);
    void setEndOfStream() { m_instance->setEndOfStream(); }

    const std::string& name() const { return m_name; }       // as asked for, e.g. "zqx_tonewheel"
    const PluginLibrary& library() const { return *m_library; }
    const ParameterMap& moduleParams() const { return m_moduleParams; }
    // globalParams as they stood when this stage was created.
    const ParameterMap& globalParamsSeen() const { return m_globalParamsSeen; }
    const ProcessingModule& module() const { return *m_instance; }
    // The library's texts, read through the layout that the instance's base class fixes.
    ModuleInfoTexts infoTexts() const;
    // Parameters given but never read (a misspelt key) and values of a type the module could not
    // use, one sentence each naming the plug-in, for the command to print as warnings.
    const std::vector<std::string>& warnings() const { return m_warnings; }

private:
    std::string m_name;
    std::shared_ptr<const PluginLibrary> m_library;
    ParameterMap m_moduleParams;
    ParameterMap m_globalParamsSeen;
    ModuleInstance m_instance;
    std::vector<std::string> m_warnings;
};

// Loads the plug-in through locator and creates a stage.
ModuleStage createStage(const std::string& name, const ParameterList& parameters, ParameterMap& globalParams,
                        const PluginLocator& locator);

// Stages created in chain order on one globalParams (so a stage sees what earlier stages wrote
// into it). process() passes each block through every stage in series, a stage's vector handed on
// as 1 x n; a host that routes blocks its own way (the extract chain) calls stage(i).process().
//
// Lifecycle: construct; add() stages in order (or give them all to the constructor); process()
// per block in stream order; optionally setEndOfStream() before the final process(); destroy.
// Instances are never shared: one chain per thread. Stages are addressed by index, which stays
// valid as stages are added.
class ModuleChain {
public:
    explicit ModuleChain(ParameterMap globalParams);
    ModuleChain(const std::vector<ChainStage>& stages, ParameterMap globalParams, const PluginLocator& locator);

    // Creates the next stage; returns its index.
    std::size_t add(const std::string& name, std::shared_ptr<const PluginLibrary> library,
                    const ParameterList& parameters);

    BlockView process(const float* data, std::uint32_t rows, std::uint32_t cols);
    void setEndOfStream();

    std::size_t size() const { return m_stages.size(); }
    ModuleStage& stage(std::size_t index) { return m_stages[index]; }
    const std::vector<ModuleStage>& stages() const { return m_stages; }
    const ParameterMap& globalParams() const { return m_globalParams; }
    // An int of globalParams as it stands now, without leaving a trace in its read log.
    int globalInt(const std::string& name, int fallback);

private:
    ParameterMap m_globalParams;
    std::vector<ModuleStage> m_stages;
};

}  // namespace zqx::host
