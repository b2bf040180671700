// Functions of whole vectors: Mean, and the check they make first.
#pragma once

#include "qvt/base_vector.h"
#include "qvt/operations.h"

// Throws QVTException "zero sized vector" (qvt/vector_func, line 102) for an empty vector: what a
// whole-vector function raises when it has nothing to work on.
template <typename T>
void requireNonEmpty(const BaseVector<T>& v) {
    if (v.size == 0) throw QVTException("zero sized vector", "qvt/vector_func", 102);
}

// Arithmetic mean in double; throws as requireNonEmpty() for an empty vector.
template <typename T>
double Mean(const BaseVector<T>& v) {
    requireNonEmpty(v);
    return Sum(v.data, v.size) / static_cast<double>(v.size);
}
