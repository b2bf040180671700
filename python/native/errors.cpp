// Translating C++ failures into zqx's Python exceptions.
#include "python/native/errors.h"

#include "host/library_loader.h"
#include "host/plugin_locator.h"

namespace py = pybind11;

namespace zqx::python {

void registerErrorTranslators() {
    // Held for the life of the process and never released: a static py::object would be
    // destroyed after the interpreter has shut down.
    static const py::object& moduleError = *new py::object(py::module_::import("zqx._errors").attr("ModuleError"));
    static const py::object& pluginError = *new py::object(py::module_::import("zqx._errors").attr("PluginError"));
    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) std::rethrow_exception(pending);
        } catch (const ModuleFailure& failure) {
            const py::object error = moduleError(py::str(failure.what()), py::arg("module") = failure.module());
            PyErr_SetObject(moduleError.ptr(), error.ptr());
        } catch (const host::PluginNotFoundError& failure) {
            PyErr_SetString(pluginError.ptr(), failure.what());
        } catch (const host::LoaderError& failure) {
            PyErr_SetString(pluginError.ptr(), failure.what());
        }
    });
}

}  // namespace zqx::python
