// zqx_ratefold as a host sees it: the loaded library, its information texts, exceptions across the
// boundary, and a chain in which a module created later reads the rewritten globalParams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/library_loader.h"
#include "host/parameter_map.h"

namespace {

using zqx::host::ModuleInfoLayout;
using zqx::host::ModuleInstance;
using zqx::host::ParameterMap;
using zqx::host::PluginLibrary;

TEST(RatefoldPlugin, InformationTexts) {
    PluginLibrary library(ZQX_RATEFOLD_PATH);
    EXPECT_EQ(library.layout(), ModuleInfoLayout::DestructorFirst);
    EXPECT_EQ(library.moduleInfo(), library.moduleInfo());
    const ModuleInfoTexts texts = library.infoTexts();
    EXPECT_EQ(texts.date, "Jul  5 2007");
    EXPECT_EQ(texts.version, "1.0");
    EXPECT_EQ(texts.description, "Converts sample rates, freely configurable.");
    EXPECT_FALSE(texts.author.empty());
}

TEST(RatefoldPlugin, RefusalsArriveAsSimpleException) {
    PluginLibrary library(ZQX_RATEFOLD_PATH);
    struct Case {
        ParameterMap chain;
        std::string message;
    };
    std::vector<Case> cases = {
        {ParameterMap{{"samplingRate", 44100}, {"windowSize", 1024}, {"overlapSize", 512}},
         "CResampleModule: this module does not support overlapping processing"},
        {ParameterMap{{"windowSize", 1024}, {"overlapSize", 0}},
         "CResampleModule: sampling rates must be between 1 and 2147483647 Hz"},
    };
    for (auto& c : cases) {
        ParameterMap params{{"inSampRate", 0}, {"outSampRate", 22050}};
        try {
            library.create(params, c.chain);
            ADD_FAILURE() << "constructed";
        } catch (const simpleException& e) {
            EXPECT_EQ(e.message, c.message);
        }
    }
}

// Two converters in a chain: the second takes its input rate from "samplingRate", which the first
// has rewritten, and halves the window size the first has already halved.
TEST(RatefoldPlugin, LaterModulesSeeTheRewrittenChain) {
    PluginLibrary library(ZQX_RATEFOLD_PATH);
    ParameterMap chain{{"samplingRate", 44100}, {"windowSize", 1024}, {"overlapSize", 0}};
    ParameterMap first{{"inSampRate", 0}, {"outSampRate", 22050}, {"antiAliasFilter", true}};
    ModuleInstance a = library.create(first, chain);
    EXPECT_EQ(std::get<int>(chain.values().at("samplingRate")), 22050);
    EXPECT_EQ(std::get<int>(chain.values().at("windowSize")), 512);

    ParameterMap second{{"inSampRate", 0}, {"outSampRate", 11025}, {"antiAliasFilter", true}};
    ModuleInstance b = library.create(second, chain);
    EXPECT_EQ(b->getOutputSize(1000), 500u) << "the second module must convert from 22050 Hz";
    EXPECT_EQ(std::get<int>(chain.values().at("samplingRate")), 11025);
    EXPECT_EQ(std::get<int>(chain.values().at("windowSize")), 256);
    EXPECT_EQ(b->isTyped(), 1);

    std::vector<float> samples(1024, 0.5f);
    BaseVector<float> in(samples.data(), 1024);
    DataBlock* mid = nullptr;
    a->process(mid, &in);
    DataBlock* out = nullptr;
    b->process(out, mid);
    EXPECT_EQ(static_cast<BaseVector<float>*>(mid)->size, 512u);
    EXPECT_EQ(static_cast<BaseVector<float>*>(out)->size, 256u);
}

}  // namespace
