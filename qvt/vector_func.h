// Functions of whole vectors: Mean.
#pragma once

#include "qvt/base_vector.h"
#include "qvt/operations.h"

// Arithmetic mean in double; throws "zero sized vector" for an empty vector.
template <typename T>
double Mean(const BaseVector<T>& v) {
    if (v.size == 0) throw QVTException("zero sized vector", "qvt/vector_func", 102);
    return Sum(v.data, v.size) / static_cast<double>(v.size);
}
