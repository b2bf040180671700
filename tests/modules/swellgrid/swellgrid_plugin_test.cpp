// zqx_swellgrid through the loader, as a host drives it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "host/library_loader.h"
#include "host/parameter_map.h"
#include "qvt/qvt_exception.h"

namespace {

using zqx::host::ModuleInstance;
using zqx::host::ParameterMap;
using zqx::host::PluginLibrary;

const std::string kNotSet = "DynamicMidlevelModule: parameter \"hanningLen\" not set!";
const std::string kWrong = "DynamicMidlevelModule: parameter wrong!";

PluginLibrary& plugin() {
    static PluginLibrary library(ZQX_SWELLGRID_PATH);
    return library;
}

ModuleInstance create(ParameterMap params) {
    ParameterMap globalParams;
    return plugin().create(params, globalParams);
}

const BaseVector<float>& feed(ModuleInstance& module, std::vector<float> block) {
    BaseVector<float> in(block.data(), static_cast<std::uint32_t>(block.size()));
    DataBlock* out = nullptr;
    module->process(out, &in);
    return *static_cast<const BaseVector<float>*>(out);
}

// Feature vectors of 8 values whose elements 2..5 average to `level`; the rest is noise that the
// slice must not see.
std::vector<float> frame(float level) {
    return {50.0f, -50.0f, level - 1.0f, level + 1.0f, level - 0.5f, level + 0.5f, 1e6f, 7.0f};
}

float resultOf(ParameterMap params, const std::vector<float>& levels) {
    ModuleInstance module = create(std::move(params));
    for (float level : levels) feed(module, frame(level));
    module->setEndOfStream();
    const BaseVector<float>& out = feed(module, {});
    EXPECT_EQ(out.size, 1u);
    return out.size == 1 ? out.data[0] : std::numeric_limits<float>::quiet_NaN();
}

TEST(SwellgridPlugin, InformationTexts) {
    EXPECT_EQ(plugin().layout(), zqx::host::ModuleInfoLayout::GettersFirst);
    const ModuleInfoTexts texts = plugin().infoTexts();
    EXPECT_EQ(texts.date, "Jun  1 2007");
    EXPECT_EQ(texts.version, "1.0");
    EXPECT_EQ(texts.description, "dynamic-midlevel");
    EXPECT_FALSE(texts.author.empty());
    EXPECT_FALSE(texts.contact.empty());
    EXPECT_FALSE(texts.ownerNotice.empty());
    EXPECT_EQ(plugin().moduleInfo(), plugin().moduleInfo());
}

TEST(SwellgridPlugin, ParametersAreReadAndCheckedInOrder) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::string> all = {"hanningLen", "offset", "size", "frameDuration"};
    const std::vector<std::string> upToSize = {"hanningLen", "offset", "size"};
    const struct {
        ParameterMap params;
        std::optional<std::string> error;
        std::vector<std::string> reads;
    } cases[] = {
        {{{"hanningLen", 0}, {"size", 0}}, kNotSet, {"hanningLen"}},  // "not set" comes first
        {{}, kWrong, upToSize},                                       // no size; a missing hanningLen reads as -1
        {{{"hanningLen", 5}, {"size", 0}}, kWrong, upToSize},
        {{{"hanningLen", 5}, {"size", -3}}, kWrong, upToSize},
        {{{"hanningLen", -2}, {"size", 4}}, kWrong, all},
        {{{"hanningLen", 5}, {"size", 4}, {"frameDuration", 0.0}}, kWrong, all},
        {{{"hanningLen", 5}, {"size", 4}, {"frameDuration", -10.0}}, kWrong, all},
        {{{"hanningLen", 5}, {"size", 4}, {"frameDuration", nan}}, kWrong, all},
        {{{"hanningLen", 5}, {"size", 4}, {"frameDuration", inf}}, kWrong, all},
        {{{"hanningLen", 5}, {"size", 4}}, std::nullopt, all},
        {{{"hanningLen", 1}, {"size", 1}, {"offset", -7}, {"frameDuration", 23.2}}, std::nullopt, all},
    };
    EXPECT_EQ(kNotSet.size(), 54u);
    for (const auto& c : cases) {
        ParameterMap params = c.params;
        ParameterMap globalParams;
        try {
            ModuleInstance module = plugin().create(params, globalParams);
            EXPECT_FALSE(c.error) << "expected " << *c.error;
        } catch (const simpleException& e) {
            EXPECT_EQ(std::optional<std::string>(e.message), c.error);
        }
        EXPECT_EQ(params.readLog(), c.reads);
        EXPECT_TRUE(globalParams.readLog().empty());
    }
}

TEST(SwellgridPlugin, HostFacingAnswers) {
    ModuleInstance module = create({{"hanningLen", 4}, {"size", 2}});
    EXPECT_EQ(module->getInputTypeName(), "");
    EXPECT_EQ(module->getOutputTypeName(), "");
    EXPECT_EQ(module->getInputKind(), RealVector);
    EXPECT_EQ(module->getOutputKind(), RealVector);
    EXPECT_EQ(module->getParameterNote(), "zqx_swellgrid");
    EXPECT_EQ(module->isTyped(), 0);
    EXPECT_EQ(module->getOutputSize(123), 0u);
}

TEST(SwellgridPlugin, AnswersOnlyAfterTheEndOfTheStream) {
    ModuleInstance module = create({{"hanningLen", 2}, {"offset", 2}, {"size", 4}});
    ModuleInstance other = create({{"hanningLen", 2}, {"offset", 2}, {"size", 4}});
    const BaseVector<float>* sharedEmpty = &feed(other, frame(1.0f));
    for (int i = 0; i < 50; ++i) {
        const BaseVector<float>& out = feed(module, frame(1.0f + static_cast<float>(i % 5)));
        EXPECT_EQ(&out, sharedEmpty);
        EXPECT_EQ(out.size, 0u);
        EXPECT_EQ(out.data, nullptr);
        EXPECT_EQ(module->getOutputSize(1), 0u);
    }
    module->setEndOfStream();
    // The block that sees the flag still adds its level; empty blocks afterwards only recompute.
    const BaseVector<float>& first = feed(module, frame(40.0f));
    ASSERT_EQ(first.size, 1u);
    EXPECT_EQ(module->getOutputSize(0), 1u);
    const float value = first.data[0];
    EXPECT_GT(value, 1.0f);
    const BaseVector<float>& second = feed(module, {});
    const BaseVector<float>& third = feed(module, {});
    EXPECT_EQ(&second, &first);
    EXPECT_EQ(second.data[0], value);
    EXPECT_EQ(third.data[0], value);
    // A further frame after the end counts too.
    EXPECT_NE(feed(module, frame(1000.0f)).data[0], value);
}

TEST(SwellgridPlugin, ShortHistoryAfterTheEndGivesZero) {
    for (int frames : {0, 1, 6}) {
        ModuleInstance module = create({{"hanningLen", 6}, {"offset", 2}, {"size", 4}});
        for (int i = 0; i < frames; ++i) feed(module, frame(static_cast<float>(i + 1)));
        module->setEndOfStream();
        const BaseVector<float>& out = feed(module, {});
        ASSERT_EQ(out.size, 1u);
        EXPECT_EQ(out.data[0], 0.0f) << frames << " frames";
        EXPECT_EQ(module->getOutputSize(0), 1u);
    }
}

TEST(SwellgridPlugin, FailuresReachTheHostAsQvtExceptions) {
    ModuleInstance module = create({{"hanningLen", 3000}, {"offset", 2}, {"size", 4}});
    EXPECT_THROW(feed(module, {1, 2, 3, 4, 5}), QVTException);  // one element short
    for (int i = 0; i < 3000; ++i) feed(module, frame(2.0f));
    module->setEndOfStream();
    try {
        feed(module, {});
        FAIL() << "expected QVTException";
    } catch (const QVTException& e) {
        EXPECT_EQ(e.message(), "zero sized vector");
    }
    EXPECT_EQ(module->getOutputSize(0), 0u);
}

TEST(SwellgridPlugin, LongStreamUsesTheThirtySecondsAfterFifty) {
    // Same markers as on the computation: only levels 4999 .. 7998 of this 9000-frame stream count.
    std::vector<float> levels(9000, 1.0f);
    levels[4998] = levels[4999] = 0.01f;
    levels[5000] = 0.25f;
    levels[7998] = 4.0f;
    levels[7999] = 100.0f;
    EXPECT_NEAR(resultOf({{"hanningLen", 1}, {"offset", 2}, {"size", 4}, {"frameDuration", 10.0}}, levels), 3.75f,
                1e-4);
    EXPECT_NEAR(resultOf({{"hanningLen", 1}, {"offset", 2}, {"size", 4}}, levels), 3.75f, 1e-4)
        << "frameDuration defaults to 10 ms";
}

TEST(SwellgridPlugin, AlternatingPassagesHaveAWiderRangeThanASteadyOne) {
    // 25 s of 10 ms frames with half a second of smoothing: two-second passages alternating
    // between quiet and loud against the same material held at an even level. Both carry a small
    // frame-to-frame flutter.
    std::vector<float> alternating, steady;
    for (int i = 0; i < 2500; ++i) {
        const float flutter = 0.02f * static_cast<float>((i * 7919) % 13) / 13.0f;
        const bool loud = (i / 200) % 2 == 1;
        alternating.push_back((loud ? 0.8f : 0.08f) + flutter);
        steady.push_back(0.44f + flutter);
    }
    const ParameterMap params{{"hanningLen", 50}, {"offset", 2}, {"size", 4}};
    const float wide = resultOf(params, alternating);
    const float narrow = resultOf(params, steady);
    EXPECT_GT(wide, 2.0f);
    EXPECT_LT(narrow, 0.1f);
    EXPECT_GT(wide, 20.0f * narrow);
}

}  // namespace
