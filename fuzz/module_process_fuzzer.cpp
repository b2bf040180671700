// Each module's constructor and process on arbitrary parameter values, block shapes and sample
// values (NaN and infinities included), as `zqx run` can hand them over. The module's refusal
// (simpleException, QVTException: any std::exception) is an answer; a crash, a hang or a sanitizer
// report is a finding. Whole-number parameters stay within +-4096 so a run is fast; the host's own
// bound (16 Mi) only adds larger buffers.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "host/limits.h"
#include "host/parameter_map.h"
#include "modules/pulsegrid/rhythmic_midlevel_module.h"
#include "modules/ratefold/resample_module.h"
#include "modules/swellgrid/dynamic_midlevel_module.h"
#include "modules/tonewheel/chroma_module.h"
#include "qvt/base_vector.h"

using zqx::host::ParameterMap;

namespace {

ParameterMap::Value anyValue(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: return input.ConsumeIntegralInRange<int>(-4096, 4096);
        case 1: return input.ConsumeBool();
        case 2: return input.ConsumeFloatingPointInRange<double>(-1e5, 1e5);
        default: return input.ConsumeRandomLengthString(8);
    }
}

std::unique_ptr<ProcessingModule> create(int which, ParameterMap& params, ParameterMap& globals) {
    switch (which) {
        case 0: return std::make_unique<CChromaModule>(&params, &globals);
        case 1: return std::make_unique<RhythmicMidlevelModule>(&params, &globals);
        case 2: return std::make_unique<DynamicMidlevelModule>(&params, &globals);
        default: return std::make_unique<CResampleModule>(&params, &globals);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const keys[4][5] = {
        {"loedge", "hiedge", "earTransfer", "numMaxima", "useMRFFT"},
        {"groupFrames", "hanningLen", "onsetThresh", "loBPM", "hiBPM"},
        {"hanningLen", "offset", "size", "frameDuration", nullptr},
        {"inSampRate", "outSampRate", "antiAliasFilter", nullptr, nullptr},
    };
    FuzzedDataProvider input(data, size);
    const int which = input.ConsumeIntegralInRange(0, 3);
    ParameterMap params, globals;
    for (const char* key : keys[which])
        if (key && input.ConsumeBool()) params.set(key, anyValue(input));
    globals.set("samplingRate", input.ConsumeIntegralInRange(zqx::host::kMinSampleRate, zqx::host::kMaxSampleRate));
    globals.set("windowSize", input.ConsumeIntegralInRange(0, 8192));
    globals.set("overlapSize", input.ConsumeBool() ? 0 : input.ConsumeIntegralInRange(0, 8192));
    globals.set("msPerRow", input.ConsumeIntegralInRange(1, 1000));

    std::unique_ptr<ProcessingModule> module;
    try {
        module = create(which, params, globals);
    } catch (const std::exception&) {
        return 0;
    }
    const int kind = module->getInputKind();
    while (input.remaining_bytes() > 0) {
        const auto rows = kind == RealMatrix ? input.ConsumeIntegralInRange<std::uint32_t>(0, 64) : 1u;
        const auto cols = input.ConsumeIntegralInRange<std::uint32_t>(0, 8192);
        if (input.ConsumeBool()) module->setEndOfStream();
        std::vector<float> values(std::size_t(rows) * cols);
        for (float& v : values) v = input.ConsumeFloatingPoint<float>();
        float* elements = values.empty() ? nullptr : values.data();
        DataBlock* output = nullptr;
        try {
            if (kind == RealMatrix) {
                const BaseMatrix<float> block(elements, rows, cols);
                module->process(output, &block);
            } else {
                const BaseVector<float> block(elements, rows * cols);
                module->process(output, &block);
            }
        } catch (const std::exception&) {
            continue;
        }
        // The returned block must be readable whole.
        if (output && module->getOutputKind() == RealVector) {
            const auto* vector = static_cast<const BaseVector<float>*>(output);
            volatile float sum = 0.0f;
            for (std::uint32_t i = 0; i < vector->size; ++i) sum = sum + vector->data[i];
        }
    }
    return 0;
}
