// Recursive (IIR) filters of any order in transposed direct form II, with a state that carries
// the stream from call to call.
#pragma once

#include <cstdint>

#include "kernels/kernel_status.h"

// Opaque filter state; created and released only by the functions below.
struct IirState;

// taps: b0..bN, a0..aN (2N + 2 floats); delay: N initial delay values or null for zeros.
// Checks: null taps or state pointer -8; N < 0 -25; memory -9; a0 == 0 or NaN -10 (no state).
KernelStatus iirCreate(IirState** state, const float* taps, int order, const float* delay) noexcept;
// Filters `length` samples from src into dst (may be the same array). Null state, src or dst -8;
// length <= 0 -6; not an IIR state -17. A failing call leaves the state unchanged.
KernelStatus iirFilter(const float* src, float* dst, std::int32_t length, IirState* state) noexcept;
KernelStatus iirFilterInPlace(float* samples, std::int32_t length, IirState* state) noexcept;
// Null -8; not an IIR state -17; else releases it.
KernelStatus iirDestroy(IirState* state) noexcept;
