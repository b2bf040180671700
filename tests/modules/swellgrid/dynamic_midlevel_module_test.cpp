// DynamicMidlevelModule on the static core: the level of each block, the history and the window.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/fake_parameter_set.h"
#include "modules/swellgrid/dynamic_midlevel_module.h"
#include "qvt/qvt_exception.h"

namespace {

// The module classes read their parameters from a fake set; no host library is needed.
using ParameterMap = zqx::test::FakeParameterSet;

DynamicMidlevelModule makeModule(ParameterMap params) {
    ParameterMap globalParams;
    return DynamicMidlevelModule(&params, &globalParams);
}

std::vector<float> levelsAfter(ParameterMap params, const std::vector<std::vector<float>>& blocks) {
    ParameterMap globalParams;
    DynamicMidlevelModule module(&params, &globalParams);
    DataBlock* out = nullptr;
    for (std::vector<float> block : blocks) {
        BaseVector<float> in(block.data(), static_cast<std::uint32_t>(block.size()));
        module.process(out, &in);
    }
    return module.levelHistory();
}

TEST(DynamicMidlevelModule, LevelIsTheMeanOfTheSliceInDouble) {
    const std::vector<float> block = {1, 2, 3, 4, 5, 6};
    const struct {
        int offset;
        int size;
        float level;
    } cases[] = {
        {2, 3, 4.0f},  // elements 2..4
        {-1, 3, 2.0f}, // a negative offset starts at 0
        {0, 3, 2.0f},
        {1, 1, 2.0f},
        {3, 3, 5.0f},  // the slice may end at the block's end
        {0, 6, 3.5f},
    };
    for (const auto& c : cases) {
        const std::vector<float> levels =
            levelsAfter({{"hanningLen", 3}, {"offset", c.offset}, {"size", c.size}}, {block});
        ASSERT_EQ(levels.size(), 1u) << "offset " << c.offset << " size " << c.size;
        EXPECT_EQ(levels[0], c.level) << "offset " << c.offset << " size " << c.size;
    }
    // Summed in float, 2^24 + 1 + 1 + 1 + 1 would lose every 1.
    const std::vector<float> wide = levelsAfter({{"hanningLen", 3}, {"size", 5}}, {{16777216.0f, 1, 1, 1, 1}});
    EXPECT_EQ(wide, std::vector<float>{3355444.0f});
}

TEST(DynamicMidlevelModule, SliceOutOfRangeThrowsAndLeavesTheHistory) {
    ParameterMap params{{"hanningLen", 2}, {"offset", 2}, {"size", 3}};
    ParameterMap globalParams;
    DynamicMidlevelModule module(&params, &globalParams);
    DataBlock* out = nullptr;
    float good[5] = {0, 0, 1, 2, 3};
    float shortBlock[4] = {9, 9, 9, 9};
    BaseVector<float> goodBlock(good, 5), tooShort(shortBlock, 4);
    module.process(out, &goodBlock);
    for (bool ended : {false, true}) {
        if (ended) module.setEndOfStream();
        try {
            module.process(out, &tooShort);
            ADD_FAILURE() << "expected QVTException";
        } catch (const QVTException& e) {
            EXPECT_EQ(e.message(), "subvector parameters out of range");
            EXPECT_EQ(e.line(), 256);
        }
        EXPECT_EQ(module.levelHistory(), std::vector<float>{2.0f});
    }
}

TEST(DynamicMidlevelModule, EmptyBlocksAddNothing) {
    // The slice would not fit an empty block, but an empty block is not sliced at all.
    const std::vector<float> levels =
        levelsAfter({{"hanningLen", 3}, {"offset", 4}, {"size", 2}}, {{}, {0, 0, 0, 0, 5, 7}, {}, {}});
    EXPECT_EQ(levels, std::vector<float>{6.0f});
}

TEST(DynamicMidlevelModule, BuildsTheHannWindowOnce) {
    const std::vector<std::vector<float>> expected = {
        {1.0f}, {1.0f, 1.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.75f, 0.75f, 0.0f}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const DynamicMidlevelModule module =
            makeModule({{"hanningLen", static_cast<int>(i + 1)}, {"size", 1}});
        const BaseVector<float>& window = module.smoothingWindow();
        ASSERT_EQ(window.size, expected[i].size());
        for (std::uint32_t k = 0; k < window.size; ++k)
            EXPECT_NEAR(window.data[k], expected[i][k], 1e-7) << "hanningLen " << i + 1 << " element " << k;
    }
}

}  // namespace
