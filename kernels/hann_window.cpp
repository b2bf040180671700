// The symmetric Hann window, applied in place.
#include "kernels/hann_window.h"

#include <cmath>

KernelStatus windowHannInPlace(float* x, std::int32_t n) noexcept {
    if (!x) return kStatusNullPointer;
    if (n < 3) return kStatusBadLength;

    // cos(k * step) by angle addition in long double: the drift after n/2 rotations stays far below
    // float resolution, and each factor is rounded once and used for both ends.
    const long double step = 2.0L * 3.141592653589793238462643383279502884L / static_cast<long double>(n - 1);
    const long double cosStep = std::cos(step);
    const long double sinStep = std::sin(step);
    long double c = 1.0L, s = 0.0L;
    for (std::int32_t i = 0, j = n - 1; i < j; ++i, --j) {
        const float factor = static_cast<float>(0.5L * (1.0L - c));
        x[i] *= factor;
        x[j] *= factor;
        const long double nextC = c * cosStep - s * sinStep;
        s = s * cosStep + c * sinStep;
        c = nextC;
    }
    return kStatusOk;
}
