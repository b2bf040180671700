// CRealFft and CPolarFft: FFT objects that own a plan and every buffer, so that a frame is
// transformed to magnitude and phase without allocating.
#pragma once

#include <cstdint>

#include "kernels/real_fft.h"

class CRealFft {
public:
    // Builds the plan (NormalizeNone, hint 2), the scratch buffer and the packed buffer for
    // N = 2^order; statuses of plan creation and scratch query are ignored.
    explicit CRealFft(int order);
    virtual ~CRealFft();
    // Builds the object for `order` only when it has no plan yet; never rebuilds.
    virtual void prepare(int order);

    // Forward transform of N samples of `frame` into `packed`, then the magnitudes of bins
    // 0 .. N/2-1 into `magnitude` (packedToMagnitude). Returns the bitwise OR of the two statuses;
    // the magnitudes equal CPolarFft::computePolar's bit for bit.
    int computeMagnitude(const float* frame, float* magnitude);

    CRealFft(const CRealFft&) = delete;
    CRealFft& operator=(const CRealFft&) = delete;

    std::int32_t size = 0;
    std::int32_t order = 0;
    RealFftPlan* plan = nullptr;
    std::uint8_t* scratch = nullptr;
    float* packed = nullptr;

protected:
    void build(int order);
};

class CPolarFft : public CRealFft {
public:
    explicit CPolarFft(int order);
    ~CPolarFft() override;
    void prepare(int order) override;

    // Forward transform of N samples of `frame`, expansion, polar conversion of halfSize bins into
    // `magnitude` and `phase`. Returns the bitwise OR of the three statuses.
    int computePolar(const float* frame, float* magnitude, float* phase);

    std::int32_t halfSize = 0;
    ComplexFloat* spectrum = nullptr;
};
