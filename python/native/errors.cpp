// Translating C++ failures into zqx's Python exceptions.
#include "python/native/errors.h"

#include "host/audio_file.h"
#include "host/corpus_inputs.h"
#include "host/library_loader.h"
#include "host/module_chain.h"
#include "host/output_writer.h"
#include "host/plugin_locator.h"

namespace py = pybind11;

namespace zqx::python {

void registerErrorTranslators() {
    // Held for the life of the process and never released: a static py::object would be
    // destroyed after the interpreter has shut down.
    static const py::object& moduleError = *new py::object(py::module_::import("zqx._errors").attr("ModuleError"));
    static const py::object& pluginError = *new py::object(py::module_::import("zqx._errors").attr("PluginError"));
    static const py::object& audioFileError =
        *new py::object(py::module_::import("zqx._errors").attr("AudioFileError"));
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
        } catch (const host::ModuleError& failure) {
            // The chain's message names the plug-in before the module's own text.
            PyErr_SetString(moduleError.ptr(), failure.what());
        } catch (const host::AudioFileError& failure) {
            PyErr_SetString(audioFileError.ptr(), failure.what());
        } catch (const host::InputListError& failure) {
            PyErr_SetString(audioFileError.ptr(), failure.what());
        } catch (const host::OutputError& failure) {
            PyErr_SetString(PyExc_OSError, failure.what());
        }
    });
}

}  // namespace zqx::python
