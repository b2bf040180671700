// CResampleModule: construction (parameters, chain rewrite, filter design) and block processing.
#include "modules/ratefold/resample_module.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "modules/ratefold/biquad_designer.h"
#include "modules/ratefold/ratefold_info.h"

namespace {

constexpr std::uint32_t kHighestRate = 2147483647u;

// trunc(count * ratio) with the product taken exactly (a 32-bit count times a float fits a long
// double's 64-bit mantissa), clamped to what an unsigned 32-bit size can hold.
std::uint32_t scaledCount(std::uint32_t count, float ratio) {
    const long double product = std::trunc(static_cast<long double>(count) * ratio);
    if (!(product >= 0.0L)) return 0;
    if (product >= 4294967295.0L) return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(product);
}

// The same product as a 32-bit int for globalParams, clamped to the int range.
int scaledParameter(std::uint32_t value, float ratio) {
    return static_cast<int>(std::min<std::uint32_t>(scaledCount(value, ratio), 2147483647u));
}

}  // namespace

CResampleModule::CResampleModule(ParameterSet* moduleParams, ParameterSet* globalParams)
    : TypedProcessingModule(moduleParams, globalParams, ratefoldModuleInfo()) {
    // Negative values (-1 for a missing name) wrap to large unsigned rates, refused below.
    inputRate = static_cast<std::uint32_t>(moduleParams->getInt("inSampRate", -1));
    outputRate = static_cast<std::uint32_t>(moduleParams->getInt("outSampRate", -1));
    windowSize = static_cast<std::uint32_t>(globalParams->getInt("windowSize", -1));
    overlapSize = static_cast<std::uint32_t>(globalParams->getInt("overlapSize", -1));
    antiAliasFilter = moduleParams->getBool("antiAliasFilter");

    // Checked before the "samplingRate" fallback, so a set without "overlapSize" fails here.
    if (overlapSize != 0)
        throw simpleException("CResampleModule: this module does not support overlapping processing");

    if (inputRate == 0) inputRate = static_cast<std::uint32_t>(globalParams->getInt("samplingRate", -1));
    if (outputRate == 0) outputRate = static_cast<std::uint32_t>(globalParams->getInt("samplingRate", -1));

    // A zero or missing rate would size every block from an infinite or meaningless ratio; refuse
    // it before globalParams is touched.
    if (inputRate == 0 || inputRate > kHighestRate || outputRate == 0 || outputRate > kHighestRate)
        throw simpleException("CResampleModule: sampling rates must be between 1 and 2147483647 Hz");

    if (inputRate == outputRate) return;

    const long double quotient = static_cast<long double>(outputRate) / static_cast<long double>(inputRate);
    rateRatio = static_cast<float>(quotient);
    if (quotient > 0.0L) readStep = static_cast<float>(1.0L / quotient);

    globalParams->setInt("samplingRate", static_cast<int>(outputRate));
    globalParams->setInt("windowSize", scaledParameter(windowSize, rateRatio));
    globalParams->setInt("overlapSize", scaledParameter(overlapSize, rateRatio));

    // The filter guards the lower of the two rates' Nyquist bands, 250 Hz inside it, and runs at
    // the higher rate: before interpolation when down-sampling, after it when up-sampling.
    const bool upSampling = outputRate > inputRate;
    const std::uint32_t lowerRate = upSampling ? inputRate : outputRate;
    const std::uint32_t designRate = upSampling ? outputRate : inputRate;
    cutoffFrequency = static_cast<float>(static_cast<long double>(lowerRate) * 0.5L - 250.0L);

    filterTaps.resize(6);
    double taps[6];
    BiquadDesigner designer;
    designer.design(taps, cutoffFrequency, static_cast<double>(designRate), 6, false);
    for (int i = 0; i < 6; ++i) filterTaps.data[i] = static_cast<float>(taps[i]);
    filterStatus = iirCreate(&filterState, filterTaps.data, 2, nullptr);
}

CResampleModule::~CResampleModule() {
    if (filterState) (void)iirDestroy(filterState);  // nothing to do about a failure here
}

void CResampleModule::process(DataBlock*& output, const DataBlock* input) {
    if (inputRate == outputRate) {
        // The host only reads the block it gets back, so handing its own block back is safe.
        output = const_cast<DataBlock*>(input);
        return;
    }
    const auto* in = static_cast<const BaseVector<float>*>(input);
    const std::uint32_t n = in->size;
    const std::uint32_t m = scaledCount(n, rateRatio);
    outputVector.setSize(m);  // every value is written below
    output = &outputVector;
    if (n == 0) return;

    const float* x = in->data;
    // The filter sees every input sample, also of a block too short to give an output sample, so
    // that its state runs on as over one signal (ResampleModule.FilterSeesBlocksTooShortForOutput).
    if (antiAliasFilter && outputRate < inputRate) {
        workBuffer.setSize(n);
        filterStatus = iirFilter(in->data, workBuffer.data, static_cast<std::int32_t>(n), filterState);
        // Without a filter state (its creation ran out of memory) interpolate the raw input.
        if (filterStatus == kStatusOk) x = workBuffer.data;
    }
    if (m == 0) return;
    interpolate(x, n, m);
    if (antiAliasFilter && outputRate > inputRate)
        filterStatus = iirFilterInPlace(outputVector.data, static_cast<std::int32_t>(m), filterState);
}

void CResampleModule::extendPositions(std::uint32_t m) {
    const std::uint32_t known = positionIndex.size;
    if (m <= known) return;
    positionIndex.resize(m);
    positionFraction.resize(m);
    // The position is a float that gains one rounded step per value, exactly as a streaming reader
    // would advance it.
    float p = lastPosition;
    for (std::uint32_t k = known; k < m; ++k) {
        p += readStep;
        // p > 0, so truncation is floor; beyond 2^32 the entry is past any block's end anyway.
        const std::uint32_t i0 = p < 4294967296.0f ? static_cast<std::uint32_t>(p) : 4294967295u;
        positionIndex.data[k] = i0;
        positionFraction.data[k] = p < 4294967296.0f ? p - static_cast<float>(i0) : 0.0f;  // exact
    }
    lastPosition = p;
}

void CResampleModule::interpolate(const float* x, std::uint32_t n, std::uint32_t m) {
    extendPositions(m);
    const std::uint32_t* index = positionIndex.data;
    const float* fraction = positionFraction.data;
    // Positions never decrease, so the values with both neighbours inside the block come first.
    const std::uint32_t last = n - 1;
    const std::uint32_t* end = std::partition_point(index, index + m, [&](std::uint32_t i0) { return i0 < last; });
    std::uint32_t count = static_cast<std::uint32_t>(end - index);
    // A position exactly on the last sample reads it alone (both neighbours are that sample).
    while (count < m && index[count] == last && fraction[count] == 0.0f) ++count;

    float* out = outputVector.data;
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t i0 = index[k];
        const double f = fraction[k];
        const std::uint32_t i1 = i0 + (f > 0.0 ? 1u : 0u);
        out[k] = static_cast<float>((1.0 - f) * x[i0] + f * x[i1]);
    }
    // Positions past the last sample hold it, rather than dropping to 0 (a click at every block end).
    const float tail = x[last];
    for (std::uint32_t k = count; k < m; ++k) out[k] = tail;
}

const std::string& CResampleModule::getInputTypeName() const { return inputTypeName; }

const std::string& CResampleModule::getOutputTypeName() const { return outputTypeName; }

std::uint32_t CResampleModule::getOutputSize(std::uint32_t inputSize) const {
    return scaledCount(inputSize, rateRatio);
}

std::string CResampleModule::getParameterNote() const { return "."; }

bool CResampleModule::isInputComplex() const { return false; }

bool CResampleModule::isOutputComplex() const { return false; }
