// Recursive filters in transposed direct form II with a state that carries the stream across calls.
#include "kernels/iir_filter.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

// One allocation: this header followed by 2N + 1 normalised taps (B0..BN, A1..AN) and the N delay
// values plus a trailing 0. The tag is the first member so that a foreign object is recognised by
// its first word before anything else of it is read.
struct IirState {
    std::uint32_t kind;
    std::int32_t order;
    float* taps;
    float* delay;
};

namespace {

constexpr std::uint32_t kIirKind = 0x49495231u;  // "IIR1"
constexpr std::uint32_t kDestroyedKind = 0u;

std::size_t stateBytes(std::size_t order) noexcept {
    const std::size_t floats = (2 * order + 1) + (order + 1);
    return sizeof(IirState) + floats * sizeof(float);
}

inline KernelStatus checkFilterArgs(const void* a, const void* b, std::int32_t length,
                                    const IirState* state) noexcept {
    if (!state || !a || !b) return kStatusNullPointer;
    if (length <= 0) return kStatusBadLength;
    return state->kind == kIirKind ? kStatusOk : kStatusWrongObject;
}

void runOrder0(const float* src, float* dst, std::int32_t length, const float* taps) noexcept {
    const float b0 = taps[0];
    for (std::int32_t t = 0; t < length; ++t) dst[t] = b0 * src[t];
}

// The resampler's case. The two updates are the transposed direct form's, with y expanded:
//   z0 <- B1 x + z1 - A1 (B0 x + z0) = C1 x + z1 - A1 z0,   C1 = B1 - A1 B0
//   z1 <- B2 x - A2 (B0 x + z0)      = C2 x - A2 z0,        C2 = B2 - A2 B0
// so the delay line holds the same values (up to rounding), but the loop-carried chain is one
// multiply and one add instead of an add, a multiply and an add: a quarter fewer cycles per sample.
void runOrder2(const float* src, float* dst, std::int32_t length, const float* taps,
               float* delay) noexcept {
    const float b0 = taps[0], a1 = taps[3], a2 = taps[4];
    const float c1 = static_cast<float>(static_cast<double>(taps[1]) - static_cast<double>(a1) * taps[0]);
    const float c2 = static_cast<float>(static_cast<double>(taps[2]) - static_cast<double>(a2) * taps[0]);
    float z0 = delay[0], z1 = delay[1];
    for (std::int32_t t = 0; t < length; ++t) {
        const float x = src[t];
        const float y = b0 * x + z0;
        const float next0 = (c1 * x + z1) - a1 * z0;
        z1 = c2 * x - a2 * z0;
        z0 = next0;
        dst[t] = y;
    }
    delay[0] = z0;
    delay[1] = z1;
}

void runGeneral(const float* src, float* dst, std::int32_t length, std::int32_t order,
                const float* taps, float* delay) noexcept {
    const float* b = taps;            // B0..BN
    const float* a = taps + order;    // a[j] = Aj for j = 1..N (a[0] is BN, never read)
    for (std::int32_t t = 0; t < length; ++t) {
        const float x = src[t];
        const float y = b[0] * x + delay[0];
        for (std::int32_t j = 0; j + 1 < order; ++j) delay[j] = b[j + 1] * x + delay[j + 1] - a[j + 1] * y;
        delay[order - 1] = b[order] * x - a[order] * y;
        dst[t] = y;
    }
}

void run(const float* src, float* dst, std::int32_t length, IirState* state) noexcept {
    switch (state->order) {
        case 0: runOrder0(src, dst, length, state->taps); break;
        case 2: runOrder2(src, dst, length, state->taps, state->delay); break;
        default: runGeneral(src, dst, length, state->order, state->taps, state->delay); break;
    }
}

}  // namespace

KernelStatus iirCreate(IirState** state, const float* taps, int order, const float* delay) noexcept {
    if (!state || !taps) return kStatusNullPointer;
    if (order < 0) return kStatusBadFilterOrder;
    const std::size_t n = static_cast<std::size_t>(order);
    // Guard the size arithmetic on 32-bit targets, where a huge order would wrap it.
    if (n > (SIZE_MAX - sizeof(IirState)) / (4 * sizeof(float))) return kStatusNoMemory;
    void* block = ::operator new(stateBytes(n), std::nothrow);
    if (!block) return kStatusNoMemory;

    const float a0 = taps[n + 1];
    if (a0 == 0.0f || std::isnan(a0)) {
        ::operator delete(block);
        return kStatusDivideByZero;
    }

    IirState* s = new (block) IirState{};
    float* floats = reinterpret_cast<float*>(static_cast<unsigned char*>(block) + sizeof(IirState));
    std::uninitialized_fill_n(floats, 3 * n + 2, 0.0f);
    s->kind = kIirKind;
    s->order = order;
    s->taps = floats;
    s->delay = floats + (2 * n + 1);

    const float inverse = 1.0f / a0;
    for (std::size_t k = 0; k <= n; ++k) s->taps[k] = taps[k] * inverse;
    for (std::size_t k = 1; k <= n; ++k) s->taps[n + k] = taps[n + 1 + k] * inverse;
    if (delay)
        for (std::size_t k = 0; k < n; ++k) s->delay[k] = delay[k];
    *state = s;
    return kStatusOk;
}

KernelStatus iirFilter(const float* src, float* dst, std::int32_t length, IirState* state) noexcept {
    if (KernelStatus s = checkFilterArgs(src, dst, length, state)) return s;
    run(src, dst, length, state);
    return kStatusOk;
}

KernelStatus iirFilterInPlace(float* samples, std::int32_t length, IirState* state) noexcept {
    if (KernelStatus s = checkFilterArgs(samples, samples, length, state)) return s;
    run(samples, samples, length, state);
    return kStatusOk;
}

KernelStatus iirDestroy(IirState* state) noexcept {
    if (!state) return kStatusNullPointer;
    if (state->kind != kIirKind) return kStatusWrongObject;
    state->kind = kDestroyedKind;
    state->~IirState();
    ::operator delete(state);
    return kStatusOk;
}
