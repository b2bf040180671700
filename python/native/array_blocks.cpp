// Checking and converting numpy input blocks.
#include "python/native/array_blocks.h"

#include <algorithm>
#include <limits>
#include <string>

namespace py = pybind11;

namespace zqx::python {

namespace {

std::string shapeText(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t i = 0; i < array.ndim(); ++i) {
        if (i) text += ", ";
        text += std::to_string(array.shape(i));
    }
    return text + (array.ndim() == 1 ? ",)" : ")");
}

}  // namespace

InputBlock readInputBlock(const py::handle& object, const char* argument, bool allowMatrix) {
    py::array array;
    if (py::isinstance<py::array>(object)) {
        array = py::reinterpret_borrow<py::array>(object);
    } else {
        try {
            array = py::module_::import("numpy").attr("asarray")(object);
        } catch (const py::error_already_set&) {
            throw py::type_error(std::string(argument) + " must be a numpy array of floats; got " +
                                 std::string(py::str(py::type::of(object).attr("__name__"))));
        }
    }
    const char kind = array.dtype().kind();
    if (kind != 'f')
        throw py::type_error(std::string(argument) + " must hold floating-point samples (float32); got dtype " +
                             std::string(py::str(array.dtype())) +
                             (kind == 'i' || kind == 'u' ? " (scale integer samples to floats first)" : ""));
    if (!allowMatrix && array.ndim() != 1)
        throw py::value_error(std::string(argument) + " must be 1-D; got shape " + shapeText(array));
    if (array.ndim() != 1 && array.ndim() != 2)
        throw py::value_error(std::string(argument) + " must be 1-D (a vector) or 2-D (a matrix); got shape " +
                              shapeText(array));
    const auto rows = array.ndim() == 1 ? py::ssize_t(1) : array.shape(0);
    const auto cols = array.ndim() == 1 ? array.shape(0) : array.shape(1);
    constexpr auto limit = py::ssize_t(std::numeric_limits<std::uint32_t>::max());
    if (rows > limit || cols > limit || (cols > 0 && rows > limit / cols))
        throw py::value_error(std::string(argument) + " holds more than 2**32 - 1 values (shape " +
                              shapeText(array) + ")");

    InputBlock block;
    // ensure() returns the same array when it already is C-contiguous float32, else a converted copy.
    block.array = FloatArray::ensure(array);
    if (!block.array) throw py::error_already_set();
    block.rows = std::uint32_t(rows);
    block.cols = std::uint32_t(cols);
    block.ndim = int(array.ndim());
    return block;
}

FloatArray copyToArray(const float* values, std::uint32_t count) {
    FloatArray result(py::ssize_t{count});
    if (count > 0) std::copy(values, values + count, result.mutable_data());
    return result;
}

}  // namespace zqx::python
