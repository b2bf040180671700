// Building the chain's settings from Python keywords.
#include "python/native/chain_settings.h"

#include <algorithm>
#include <string>

#include "python/native/parameter_conversion.h"

namespace py = pybind11;

namespace zqx::python {

host::FeatureChainSettings chainSettings(const py::dict& settings) {
    host::FeatureChainSettings result;
    for (const auto& item : settings) {
        const std::string key = py::cast<std::string>(item.first);
        if (key == "rate") {
            if (item.second.is_none()) continue;
            // Any integer (Python or numpy) but a bool.
            const bool integral = PyIndex_Check(item.second.ptr()) && !py::isinstance<py::bool_>(item.second) &&
                                  !py::isinstance(item.second, py::module_::import("numpy").attr("bool_"));
            const py::int_ rate = integral ? py::int_(py::reinterpret_steal<py::object>(PyNumber_Index(item.second.ptr())))
                                           : py::int_(0);
            if (!integral || rate < py::int_(1) || rate > py::int_(1'000'000'000))
                throw py::value_error("rate must be a positive int number of Hz; got " +
                                      std::string(py::repr(item.second)));
            result.targetRate = py::cast<int>(rate);
            continue;
        }
        const auto stage = std::find_if(result.stages.begin(), result.stages.end(),
                                        [&](const host::ExtractStage& s) { return s.plugin == key; });
        if (stage == result.stages.end()) {
            std::string names;
            for (const host::ExtractStage& s : result.stages) names += ", " + s.plugin;
            throw py::type_error("unexpected setting '" + key + "': the settings are rate" + names);
        }
        host::ParameterMap given;
        applyParameterDict(given, item.second, key.c_str());
        for (const auto& [name, value] : given.values()) {
            auto existing = std::find_if(stage->parameters.begin(), stage->parameters.end(),
                                         [&, n = name](const auto& p) { return p.first == n; });
            if (existing != stage->parameters.end())
                existing->second = value;
            else
                stage->parameters.emplace_back(name, value);
        }
    }
    return result;
}

}  // namespace zqx::python
