// Chain texts, global parameters and blocks as `zqx run` would take them from a user, through the
// loaded plug-ins: parsing, creation on one globalParams, blocks of any shape and the end of
// stream. Refusals (a bad text, a parameter a module rejects, a bound of the host) are answers; any
// other exception, a crash or a sanitizer report is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <set>
#include <string>

#include "fuzz/loaded_plugins.h"
#include "host/chain_spec.h"
#include "host/module_chain.h"

using namespace zqx::host;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const PluginLocator& locator = zqx::fuzz::loadedPlugins();
    // Only the built plug-ins: a chain text may name any file, which the fuzzer must not load.
    static const std::set<std::string> known = {"zqx_ratefold", "zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid"};
    FuzzedDataProvider input(data, size);
    const std::string chainText = input.ConsumeRandomLengthString(256);
    const std::string globalText = input.ConsumeRandomLengthString(96);
    try {
        const std::vector<ChainStage> stages = parseChainSpec(chainText);
        for (const ChainStage& stage : stages)
            if (known.count(stage.plugin) == 0) return 0;
        ParameterMap globals = defaultGlobalParams(input.ConsumeIntegralInRange<int>(kMinSampleRate, kMaxSampleRate));
        applyParameters(globals, parseParameterList(globalText));
        checkChainGlobals(globals);
        ModuleChain chain(stages, std::move(globals), locator);
        while (input.remaining_bytes() > 0) {
            const auto rows = input.ConsumeIntegralInRange<std::uint32_t>(0, 64);
            const auto cols = input.ConsumeIntegralInRange<std::uint32_t>(0, 4096);
            if (input.ConsumeBool()) chain.setEndOfStream();
            std::vector<float> block(std::size_t(rows) * cols);
            for (float& v : block) v = input.ConsumeFloatingPoint<float>();
            chain.process(block.data(), rows, cols);
        }
    } catch (const ChainSpecError&) {
    } catch (const ModuleError&) {
    }
    return 0;
}
