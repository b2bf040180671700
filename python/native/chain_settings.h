// zqx.extract's keyword settings as the extract chain's settings: rate=HZ as `zqx extract --rate`,
// and a plug-in's name with a dict of parameters as `--set NAME:k=v,...`.
#pragma once

#include <pybind11/pybind11.h>

#include "host/feature_chain.h"

namespace zqx::python {

// Throws pybind11::type_error for a name that is neither "rate" nor a plug-in of the chain (the
// message lists them) and for parameter values of another type than bool, int, float or str;
// pybind11::value_error for a rate that is not a positive int.
host::FeatureChainSettings chainSettings(const pybind11::dict& settings);

}  // namespace zqx::python
