// A stage on a thread of its own: results come back whole and in order however deep the queue,
// and a module that fails reports through the caller instead of hanging or losing the error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/module_chain.h"
#include "host/plugin_locator.h"
#include "host/stage_worker.h"

namespace {

using namespace zqx::host;

ModuleStage probeStage(const ParameterList& parameters, ParameterMap& globals) {
    return createStage("zqx_contract_probe", parameters, globals, PluginLocator({ZQX_PROBE_DIR}, "", ""));
}

TEST(StageWorker, ResultsComeBackInOrderWhateverTheQueueDepth) {
    // The probe scales a vector by its gain: each result names the block it came from.
    const struct {
        std::size_t depth;
        std::size_t blocks;
        std::size_t collectEvery;  // 0: only at the end
    } cases[] = {{1, 40, 1}, {3, 97, 5}, {8, 200, 0}, {8, 1, 0}, {2, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.depth << ", " << c.blocks << " blocks");
        ParameterMap globals = defaultGlobalParams(44100);
        ModuleStage stage = probeStage({{"gain", 2.0}}, globals);
        constexpr std::uint32_t kLength = 257;
        std::vector<std::vector<float>> results;
        {
            StageWorker worker(stage, 1, kLength, c.depth);
            const auto keep = [&](const std::vector<float>& r) { results.push_back(r); };
            std::vector<float> block(kLength);
            for (std::size_t b = 0; b < c.blocks; ++b) {
                for (std::uint32_t i = 0; i < kLength; ++i) block[i] = float(b) + float(i) / 1024.0f;
                worker.submit(block.data());
                block.assign(kLength, -1.0f);  // the worker must have taken its own copy
                if (c.collectEvery && b % c.collectEvery == 0) worker.collect(false, keep);
            }
            worker.collect(true, keep);
        }
        ASSERT_EQ(results.size(), c.blocks);
        for (std::size_t b = 0; b < results.size(); ++b) {
            ASSERT_EQ(results[b].size(), kLength);
            EXPECT_EQ(results[b][0], 2.0f * float(b));
            EXPECT_EQ(results[b][kLength - 1], 2.0f * (float(b) + float(kLength - 1) / 1024.0f));
        }
    }
}

TEST(StageWorker, AModuleFailureReachesTheCallerAndStopsTheWorker) {
    ParameterMap globals = defaultGlobalParams(44100);
    // An offset beyond the block: every block fails inside the module.
    ModuleStage stage = probeStage({{"gain", 1.0}, {"sliceOffset", 500}}, globals);
    StageWorker worker(stage, 1, 100, 2);
    const std::vector<float> block(100, 0.5f);
    worker.submit(block.data());
    std::size_t delivered = 0;
    try {
        worker.collect(true, [&](const std::vector<float>&) { ++delivered; });
        FAIL() << "the module's failure was lost";
    } catch (const ModuleError& error) {
        EXPECT_NE(std::string(error.what()).find("subvector parameters out of range"), std::string::npos) << error.what();
    }
    EXPECT_EQ(delivered, 0u);
    // Later blocks are refused with the same error rather than queued for a worker that stopped.
    EXPECT_THROW(worker.submit(block.data()), ModuleError);
    EXPECT_THROW(worker.collect(true, [](const std::vector<float>&) {}), ModuleError);
}

}  // namespace
