// Names of the kernel statuses.
#include "kernels/kernel_status.h"

const char* kernelStatusName(std::int32_t status) noexcept {
    switch (status) {
        case kStatusOk: return "ok";
        case kStatusBadLength: return "length below minimum";
        case kStatusNullPointer: return "null pointer";
        case kStatusNoMemory: return "out of memory";
        case kStatusDivideByZero: return "division by zero";
        case kStatusBadFftOrder: return "FFT order outside 0..30";
        case kStatusBadFftNormalization: return "FFT normalisation not 1, 2, 4 or 8";
        case kStatusWrongObject: return "wrong kind of kernel object";
        case kStatusBadFilterOrder: return "negative filter order";
        case kStatusSqrtOfNegative: return "square root of a negative value";
        case kStatusLnOfZero: return "logarithm of zero";
        case kStatusLnOfNegative: return "logarithm of a negative value";
        default: return "unknown status";
    }
}
