// CRealFft and CPolarFft: a plan plus every buffer a transform needs, built once per order.
#include "kernels/polar_fft.h"

#include <cstddef>
#include <new>

namespace {

constexpr int kMaxOrder = 30;

}  // namespace

CRealFft::CRealFft(int order) { build(order); }

CRealFft::~CRealFft() {
    if (plan) (void)realFftDestroy(plan);
    delete[] scratch;
    delete[] packed;
}

void CRealFft::prepare(int order) {
    if (plan) return;
    build(order);
}

// Allocation failures leave null buffers behind instead of throwing; the transform primitives then
// report them (-8 for a missing buffer, a temporary for missing scratch).
void CRealFft::build(int newOrder) {
    // 2^order is only defined for the orders a plan accepts; other orders leave an empty object.
    const bool valid = newOrder >= 0 && newOrder <= kMaxOrder;
    size = valid ? std::int32_t{1} << newOrder : 0;
    order = newOrder;
    // The object ignores these statuses: a failed creation leaves plan null, and each transform
    // then reports -8.
    (void)realFftCreate(&plan, newOrder, NormalizeNone, 2);
    int bytes = 0;
    (void)realFftScratchSize(plan, &bytes);
    delete[] scratch;
    delete[] packed;
    scratch = new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)];
    packed = size > 0 ? new (std::nothrow) float[static_cast<std::size_t>(size)] : nullptr;
}

int CRealFft::computeMagnitude(const float* frame, float* magnitude) {
    const KernelStatus forward = realFftForward(frame, packed, plan, scratch);
    const KernelStatus polar = packedToMagnitude(packed, magnitude, size >> 1);
    return forward | polar;
}

CPolarFft::CPolarFft(int order) : CRealFft(order) {
    halfSize = size >> 1;
    spectrum = size > 0 ? new (std::nothrow) ComplexFloat[static_cast<std::size_t>(size)] : nullptr;
}

CPolarFft::~CPolarFft() { delete[] spectrum; }

void CPolarFft::prepare(int order) {
    if (spectrum) return;
    CRealFft::prepare(order);
    spectrum = size > 0 ? new (std::nothrow) ComplexFloat[static_cast<std::size_t>(size)] : nullptr;
    halfSize = size >> 1;
}

int CPolarFft::computePolar(const float* frame, float* magnitude, float* phase) {
    const KernelStatus forward = realFftForward(frame, packed, plan, scratch);
    const KernelStatus expand = packedToComplex(packed, spectrum, size);
    const KernelStatus polar = complexToPolar(spectrum, magnitude, phase, halfSize);
    return forward | expand | polar;
}
