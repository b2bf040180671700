// zqx._native: the compiled part of the zqx package. The package's __init__ re-exports what users
// call; the docstrings here are what help(zqx.Module) shows.
#include <pybind11/pybind11.h>

#include "python/native/errors.h"
#include "python/native/extraction_bindings.h"
#include "python/native/module_handle.h"

namespace py = pybind11;
using zqx::python::ModuleHandle;

PYBIND11_MODULE(_native, m) {
    m.doc() = "zqx native module: plug-in instances and the extract chain on numpy arrays";
    zqx::python::registerErrorTranslators();

    py::class_<ModuleHandle>(m, "Module", R"(One zqx plug-in instance.

Module(name, params={}, global_params={})

name: a plug-in name such as "zqx_tonewheel" (looked up in ZQX_PLUGIN_PATH, then beside this
package's native library, then in <prefix>/lib/zqx) or the path of a plug-in file.
params: the module parameters, {name: bool | int | float | str}.
global_params: the chain-wide parameters; unset entries take the zqx command's defaults for the
given "samplingRate" (44100 when not given): "windowSize" 4096 at 44.1/48 kHz, "overlapSize" 0,
"msPerRow" 10.

Raises zqx.PluginError when the plug-in cannot be found or loaded, zqx.ModuleError (with the
module's own message) when the module rejects its parameters, TypeError/ValueError for
parameters of the wrong type or range.)")
        .def(py::init<const std::string&, const py::handle&, const py::handle&>(), py::arg("name"),
             py::arg("params") = py::none(), py::arg("global_params") = py::none())
        .def("process", &ModuleHandle::process, py::arg("block"),
             R"(Runs the module on one block and returns its result as a new float32 array.

block: a 1-D array (a vector block; a 1 x n matrix block for a module reading matrices) or a
2-D array (a rows x cols matrix block) of floats. C-contiguous float32 arrays are read in place,
other floating arrays are converted. The GIL is released while the module runs.
Raises zqx.ModuleError with the module's message when the module fails on the block.)")
        .def("set_end_of_stream", &ModuleHandle::setEndOfStream,
             "Marks the end of the stream; the next process() call is the last.")
        .def_property_readonly("is_end_of_stream", &ModuleHandle::isEndOfStream)
        .def("output_size", &ModuleHandle::outputSize, py::arg("input_size"),
             "The length of the vector the module announces for an input block of input_size values.")
        .def_property_readonly("input_kind", &ModuleHandle::inputKind,
                               "The block kind the module reads: 'vector' or 'matrix'.")
        .def_property_readonly("output_kind", &ModuleHandle::outputKind)
        .def_property_readonly("input_type", &ModuleHandle::inputTypeName)
        .def_property_readonly("output_type", &ModuleHandle::outputTypeName)
        .def_property_readonly("parameter_note", &ModuleHandle::parameterNote)
        .def_property_readonly("name", &ModuleHandle::name)
        .def_property_readonly("path", &ModuleHandle::path, "The plug-in file that was loaded.")
        .def_property_readonly("info", &ModuleHandle::info,
                               "The library's six texts: author, contact, owner_notice, date, version, description.")
        .def_property_readonly("params", &ModuleHandle::params, "The module parameters as given.")
        .def_property_readonly("global_params", &ModuleHandle::globalParams,
                               "The global parameters as they stand after the module was created.")
        .def("__repr__", [](const ModuleHandle& module) { return "<zqx.Module " + module.name() + ">"; });

    zqx::python::bindExtraction(m);
}
