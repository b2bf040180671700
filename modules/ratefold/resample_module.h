// CResampleModule: sample-rate conversion of a stream of sample blocks by linear interpolation,
// with a second-order anti-alias low-pass whose state runs on from block to block.
#pragma once

#include <cstdint>
#include <string>

#include "framework/typed_processing_module.h"
#include "kernels/iir_filter.h"
#include "qvt/base_vector.h"

// Lifecycle:
//   1. Construction reads "inSampRate", "outSampRate" and "antiAliasFilter" from moduleParams and
//      "windowSize", "overlapSize" (then "samplingRate" once for each rate given as 0) from
//      globalParams. It throws simpleException when "overlapSize" is not 0 or a rate is missing or
//      outside 1 .. 2147483647 Hz. When the rates differ it designs and creates the low-pass
//      (whether or not "antiAliasFilter" is set) and rewrites "samplingRate", "windowSize" and
//      "overlapSize" in globalParams, so that modules created afterwards see the new stream.
//   2. process() once per block of samples (a real vector), in stream order. At equal rates the
//      input block itself comes back; otherwise a block of trunc(n * rateRatio) samples.
//   3. Destruction releases the filter state and the buffers.
// One caller drives an instance at a time; instances share nothing but the ModuleInfo. The block
// process() returns (outputVector, or the input at equal rates) is valid until the next call.
class CResampleModule : public TypedProcessingModule {
public:
    CResampleModule(ParameterSet* moduleParams, ParameterSet* globalParams);
    ~CResampleModule() override;

    // Each call starts interpolating afresh at input position readStep; only the filter's delay
    // line carries over. Positions past the block's last sample repeat that sample. Down-sampling
    // filters the input before interpolating, up-sampling filters the interpolated block.
    void process(DataBlock*& output, const DataBlock* input) override;
    const std::string& getInputTypeName() const override;
    const std::string& getOutputTypeName() const override;
    // inputSize * rateRatio, truncated; inputSize itself at equal rates.
    std::uint32_t getOutputSize(std::uint32_t inputSize) const override;
    std::string getParameterNote() const override;
    bool isInputComplex() const override;
    bool isOutputComplex() const override;

    // The derived configuration, for inspection.
    float getRateRatio() const { return rateRatio; }
    float getReadStep() const { return readStep; }
    float getCutoffFrequency() const { return cutoffFrequency; }
    // b0, b1, b2, a0, a1, a2; empty at equal rates.
    const BaseVector<float>& getFilterTaps() const { return filterTaps; }

private:
    // Writes the m interpolated values of x (n samples) into outputVector.
    void interpolate(const float* x, std::uint32_t n, std::uint32_t m);
    // Extends the read-position table to at least m entries.
    void extendPositions(std::uint32_t m);

    std::uint32_t windowSize = 0;
    std::uint32_t overlapSize = 0;
    std::uint32_t inputRate = 0;
    std::uint32_t outputRate = 0;
    Vector<float> filterTaps;
    Vector<float> outputVector;
    float rateRatio = 1.0f;
    float cutoffFrequency = 0.0f;
    float readStep = 1.0f;
    std::string inputTypeName;
    std::string outputTypeName;
    bool antiAliasFilter = false;
    IirState* filterState = nullptr;
    int filterStatus = 0;
    // The filtered input when down-sampling; grows only, so a steady stream allocates once.
    Vector<float> workBuffer;
    // Read position k of every block (the float sum of k + 1 steps) as floor and fraction. The
    // positions start afresh in each block, so they are worked out once, for the longest block.
    Vector<std::uint32_t> positionIndex;
    Vector<float> positionFraction;
    float lastPosition = 0.0f;
};
