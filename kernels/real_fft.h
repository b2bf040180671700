// Real-input FFT of power-of-two length: plans, forward and inverse transforms in the packed
// layout, expansion of a packed spectrum to a full complex one, and polar conversion.
//
// Packed spectrum of a real N-point signal (N = 2^order, N >= 2): N floats
//   [Re X0, Re X(N/2), Re X1, Im X1, Re X2, Im X2, ..., Re X(N/2-1), Im X(N/2-1)].
// For N = 1 it is the single value X0 = x0. The forward transform is
// X[k] = sum_n x[n] e^(-2 pi i k n / N), scaled as the plan's normalisation says.
#pragma once

#include <cstdint>

#include "kernels/kernel_status.h"

struct ComplexFloat {
    float re;
    float im;
};

enum FftNormalization : int {
    NormalizeForward = 1,  // forward scaled by 1/N, inverse unscaled
    NormalizeInverse = 2,  // forward unscaled, inverse scaled by 1/N
    NormalizeSqrt = 4,     // both scaled by 1/sqrt(N)
    NormalizeNone = 8,     // neither scaled
};

// Opaque plan for one transform length, reused for any number of transforms.
struct RealFftPlan;

// Builds a plan for N = 2^order. Checks: null plan pointer -8; order outside 0..30 -15;
// normalisation not 1, 2, 4 or 8 -16; memory -9 (nothing left allocated). `hint` is stored only.
KernelStatus realFftCreate(RealFftPlan** plan, int order, int normalization, int hint) noexcept;
// Bytes of caller scratch a transform needs: 0 for orders 0..3, else the internal size plus 16
// (room to align the buffer to 16 bytes). Plans of orders 29 and 30, whose work buffer would not fit
// an int, allocate it at creation and ask for 16 bytes only. Null pointer -8; not a plan -17.
KernelStatus realFftScratchSize(const RealFftPlan* plan, int* bytes) noexcept;
// Clears the plan's kind tag and releases it. Null -8; not a plan -17.
KernelStatus realFftDestroy(RealFftPlan* plan) noexcept;
// N floats from src to the packed spectrum in dst (src == dst allowed). Checks: null plan -8;
// not a plan -17; null src or dst -8. Null scratch: a temporary buffer is taken for the call
// (-9 if that fails); a caller's scratch pointer is rounded up to a multiple of 16 before use.
KernelStatus realFftForward(const float* src, float* dst, const RealFftPlan* plan,
                            std::uint8_t* scratch) noexcept;
// Packed spectrum of N floats in src to N samples in dst; same checks and scratch rules.
KernelStatus realFftInverse(const float* src, float* dst, const RealFftPlan* plan,
                            std::uint8_t* scratch) noexcept;
// Expands a packed spectrum to `length` complex values X[0..length-1] (conjugate-symmetric).
// Null pointer -8; length <= 0 -6.
KernelStatus packedToComplex(const float* packed, ComplexFloat* dst, int length) noexcept;
// magnitude[k] = |X[k]| for k = 0 .. length-1 straight from the packed spectrum (length <= N/2, so
// bin N/2 is never read): Re X0 from packed[0], then the pairs from packed[2]. Squares, sum and root
// in double, rounded once to float, so the values equal complexToPolar's magnitudes after
// packedToComplex, bit for bit, in every variant. Null pointer -8; length <= 0 -6 (nothing written).
KernelStatus packedToMagnitude(const float* packed, float* magnitude, int length) noexcept;
// power[k] = |X[k]|^2 = re^2 + im^2 for bins k = first .. first+length-1 of a packed spectrum
// (1 <= first, first + length <= N/2), in double: the squares are exact, the sum rounded once, the
// same bits in every variant. power[0] is bin `first`. Null pointer -8; first < 1 or length <= 0 -6
// (nothing written).
KernelStatus packedToPower(const float* packed, double* power, int first, int length) noexcept;
// magnitude[i] = |src[i]|, phase[i] = atan2(im, re), in double, stored as float.
// Null pointer -8; length <= 0 -6 (nothing written).
KernelStatus complexToPolar(const ComplexFloat* src, float* magnitude, float* phase,
                            int length) noexcept;
