// Numpy arrays as the blocks a module reads: checked, converted to float32 only when they are not
// already C-contiguous float32, and described as rows x cols.
#pragma once

#include <cstdint>

#include <pybind11/numpy.h>

namespace zqx::python {

using FloatArray = pybind11::array_t<float, pybind11::array::c_style | pybind11::array::forcecast>;

// An input block: the array whose buffer the module reads (the caller's own array when no
// conversion was needed) and its shape as a matrix; a 1-D array of n values is 1 x n.
struct InputBlock {
    FloatArray array;
    std::uint32_t rows = 0;
    std::uint32_t cols = 0;
    int ndim = 0;

    const float* data() const { return rows * cols == 0 ? nullptr : array.data(); }
};

// Reads `object` (a numpy array or anything numpy.asarray accepts) as a 1-D block, or also as a 2-D
// one when allowMatrix. Throws pybind11::type_error when it does not hold real floating-point
// numbers (integers, booleans, complex numbers, objects, text) and pybind11::value_error for
// another number of dimensions or more than 2**32 - 1 values; each message names `argument`.
InputBlock readInputBlock(const pybind11::handle& object, const char* argument, bool allowMatrix = true);

// A new float32 array holding a copy of `count` values (an empty array for count 0).
FloatArray copyToArray(const float* values, std::uint32_t count);

}  // namespace zqx::python
