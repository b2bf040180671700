// zqx.Module: one plug-in instance driven from Python, loaded through the host's locator and
// loader, with numpy arrays as its blocks.
//
// Lifecycle, as in the host:
//   1. Construction: finds and loads the plug-in, creates the instance from the module parameters
//      and the global parameters (the CLI's defaults for the sampling rate, overridden by the
//      caller's); a rejected parameter raises ModuleFailure and no instance exists.
//   2. process() once per block, in stream order; setEndOfStream() before the final process().
//   3. Destruction releases the instance through the plug-in's deleteInstance, then the library.
// One thread drives an instance at a time: calls from several threads are serialised by a mutex,
// taken with the GIL released. Returned arrays are copies the caller owns; the module reuses its
// own storage from block to block.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "host/library_loader.h"
#include "host/parameter_map.h"

namespace zqx::python {

class ModuleHandle {
public:
    // name: a plug-in name ("zqx_tonewheel"), found in ZQX_PLUGIN_PATH, then beside the native
    // module (where the package carries the plug-ins), then in <prefix>/lib/zqx; or a path to a
    // plug-in file. params and globalParams are dicts (or None).
    ModuleHandle(const std::string& name, const pybind11::handle& params, const pybind11::handle& globalParams);

    // A 2-D array is handed over as a rows x cols matrix block, a 1-D array as a vector block (or as
    // a 1 x n matrix block to a module that reads matrices). Float32 C-contiguous arrays are read
    // in place; other floating arrays are converted first. Returns the module's vector as a new
    // float32 array.
    pybind11::array_t<float> process(const pybind11::handle& block);
    void setEndOfStream();
    bool isEndOfStream() const;

    std::uint32_t outputSize(std::uint32_t inputSize) const;
    // The input and output kinds as "vector", "matrix" or "complex vector".
    std::string inputKind() const;
    std::string outputKind() const;
    std::string inputTypeName() const;
    std::string outputTypeName() const;
    std::string parameterNote() const;

    const std::string& name() const { return m_name; }
    std::string path() const { return m_library->path(); }
    // The six texts of the library's ModuleInfo, keyed author, contact, owner_notice, date,
    // version, description.
    pybind11::dict info() const;
    // The module parameters as given, and the global parameters as they stand after construction
    // (a module may write into them, as zqx_ratefold writes the rate it produces).
    pybind11::dict params() const;
    pybind11::dict globalParams() const;

private:
    std::string m_name;
    std::shared_ptr<host::PluginLibrary> m_library;
    host::ParameterMap m_moduleParams;
    host::ParameterMap m_globalParams;
    host::ModuleInstance m_instance;
    mutable std::mutex m_mutex;
};

}  // namespace zqx::python
