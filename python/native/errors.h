// The failures the native module raises as zqx's own Python exceptions (defined in zqx/_errors.py).
#pragma once

#include <stdexcept>
#include <string>

#include <pybind11/pybind11.h>

namespace zqx::python {

// A module refused its parameters or failed on a block: raised as zqx.ModuleError, whose text is
// the module's message unchanged and whose .module attribute names the plug-in.
class ModuleFailure : public std::runtime_error {
public:
    ModuleFailure(std::string module, const std::string& message)
        : std::runtime_error(message), m_module(std::move(module)) {}
    const std::string& module() const { return m_module; }

private:
    std::string m_module;
};

// Registers the translations: ModuleFailure and the chain's ModuleError to zqx.ModuleError, the
// host's PluginNotFoundError and LoaderError to zqx.PluginError, AudioFileError and
// InputListError to zqx.AudioFileError, OutputError to OSError. Imports zqx._errors.
void registerErrorTranslators();

}  // namespace zqx::python
