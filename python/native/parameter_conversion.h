// Python dicts as the host's parameter maps and back: bool, int, float and str values, typed as
// the CLI types its "name=value" texts.
#pragma once

#include <pybind11/pybind11.h>

#include "host/parameter_map.h"

namespace zqx::python {

// Copies `values` (a dict, or None for none) into `map`, replacing entries of the same name.
// bool and numpy.bool_ become bool; int and numpy integers int (range checked); float and numpy
// floats double; str string. Throws pybind11::type_error for a key that is not str or a value of
// another type, pybind11::value_error for an int outside the 32-bit range; the message names
// `argument` and the key.
void applyParameterDict(host::ParameterMap& map, const pybind11::handle& values, const char* argument);

// The map as a dict of bool, int, float and str.
pybind11::dict parameterDict(const host::ParameterMap& map);

}  // namespace zqx::python
