// KernelStatus: the result of every kernel primitive, and its text for logs and test failures.
//
// Conventions shared by all kernels: buffers are plain float arrays with signed 32-bit element
// counts; pointers are checked before lengths, lengths before values, and nothing is written
// before every check has passed. Negative statuses are errors (nothing written), positive ones are
// warnings (the result is complete). Kernels never throw and never keep a pointer after returning.
#pragma once

#include <cstdint>

enum KernelStatus : std::int32_t {
    kStatusOk = 0,
    kStatusBadLength = -6,
    kStatusNullPointer = -8,
    kStatusNoMemory = -9,
    kStatusDivideByZero = -10,
    kStatusBadFftOrder = -15,
    kStatusBadFftNormalization = -16,
    kStatusWrongObject = -17,
    kStatusBadFilterOrder = -25,
    kStatusSqrtOfNegative = 3,
    kStatusLnOfZero = 7,
    kStatusLnOfNegative = 8,
};

// A short name for a status ("ok", "null pointer", ...); "unknown status" for other values.
const char* kernelStatusName(std::int32_t status) noexcept;
