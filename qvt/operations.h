// Loops over runs of elements: Sum, Max, Min, Fill, AddScalar. Arithmetic is in double.
#pragma once

#include <cstdint>

#include "qvt/qvt_exception.h"

// Sum of data[0..n-1] in index order into one double. Reads data[0] unconditionally: n >= 1.
template <typename T>
double Sum(const T* data, std::uint32_t n) {
    double sum = data[0];
    for (std::uint32_t i = 1; i < n; ++i) sum += data[i];
    return sum;
}

// Largest element from *start (or 0) on; the earlier of equal values wins and a NaN never
// replaces the running maximum. Throws on n == 0 and on a start index of n or more.
template <typename T>
T Max(const T* data, std::uint32_t n, const std::uint32_t* start = nullptr) {
    if (n == 0) throw QVTException("Max empty vector given error", "qvt/operations", 714);
    const std::uint32_t s = start ? *start : 0u;
    if (start && s >= n) throw QVTException("Max: Start-index too large", "qvt/operations", 715);
    T best = data[s];
    for (std::uint32_t i = s + 1; i < n; ++i)
        if (data[i] > best) best = data[i];
    return best;
}

// Smallest element, starting from the largest finite float; *index (when given) receives the
// position of each replacement, so it is left alone when nothing is below 3.4028235e38.
template <typename T>
T Min(const T* data, std::uint32_t n, std::uint32_t* index = nullptr) {
    T best = static_cast<T>(3.4028234663852886e38);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (best > data[i]) {
            best = data[i];
            if (index) *index = i;
        }
    }
    return best;
}

template <typename T>
void Fill(T* data, const T& value, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) data[i] = value;
}

template <typename T>
void AddScalar(T* data, const T& value, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) data[i] = static_cast<T>(static_cast<double>(data[i]) + static_cast<double>(value));
}
