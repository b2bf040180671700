// Converting parameter values between Python objects and ParameterMap values.
#include "python/native/parameter_conversion.h"

#include <climits>
#include <string>
#include <variant>

namespace py = pybind11;

namespace zqx::python {

namespace {

std::string typeName(const py::handle& object) {
    return py::str(py::type::of(object).attr("__name__"));
}

host::ParameterMap::Value toValue(const py::handle& value, const std::string& where) {
    const py::module_ numpy = py::module_::import("numpy");
    // bool before int: Python's bool is an int.
    if (py::isinstance<py::bool_>(value) || py::isinstance(value, numpy.attr("bool_")))
        return py::cast<bool>(py::bool_(py::reinterpret_borrow<py::object>(value)));
    if (PyIndex_Check(value.ptr())) {
        const py::int_ number(py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr())));
        const py::int_ lowest(INT_MIN), highest(INT_MAX);
        if (number < lowest || number > highest)
            throw py::value_error(where + " = " + std::string(py::repr(number)) +
                                  " is outside the 32-bit integer range the modules read");
        return py::cast<int>(number);
    }
    if (py::isinstance<py::float_>(value) || py::isinstance(value, numpy.attr("floating")))
        return py::cast<double>(py::float_(py::reinterpret_borrow<py::object>(value)));
    if (py::isinstance<py::str>(value)) return py::cast<std::string>(value);
    throw py::type_error(where + " must be bool, int, float or str; got " + typeName(value));
}

}  // namespace

void applyParameterDict(host::ParameterMap& map, const py::handle& values, const char* argument) {
    if (values.is_none()) return;
    if (!py::isinstance<py::dict>(values))
        throw py::type_error(std::string(argument) + " must be a dict of name: value; got " + typeName(values));
    for (const auto& item : py::reinterpret_borrow<py::dict>(values)) {
        if (!py::isinstance<py::str>(item.first))
            throw py::type_error(std::string(argument) + " names must be str; got " + typeName(item.first));
        const std::string name = py::cast<std::string>(item.first);
        map.set(name, toValue(item.second, std::string(argument) + "['" + name + "']"));
    }
}

py::dict parameterDict(const host::ParameterMap& map) {
    py::dict result;
    for (const auto& [name, value] : map.values())
        result[py::str(name)] = std::visit([](const auto& v) { return py::cast(v); }, value);
    return result;
}

}  // namespace zqx::python
