// The package's plug-in search path.
#include "python/native/package_locator.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace zqx::python {

namespace {

const std::string& nativeModuleDirectory() {
    static const std::string directory =
        std::filesystem::path(py::cast<std::string>(py::module_::import("zqx._native").attr("__file__")))
            .parent_path()
            .string();
    return directory;
}

}  // namespace

host::PluginLocator packageLocator() {
    const char* pathVariable = std::getenv("ZQX_PLUGIN_PATH");
    // The locator's "executable folder" is ours: the native module's folder, then ../lib/zqx beside it.
    return host::PluginLocator({}, pathVariable ? pathVariable : "", nativeModuleDirectory());
}

}  // namespace zqx::python
