// zqx_pulsegrid as a host sees it: loaded through the plug-in loader and driven by its contract.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "host/library_loader.h"
#include "host/parameter_map.h"

namespace {

using zqx::host::ModuleInstance;
using zqx::host::ParameterMap;
using zqx::host::PluginLibrary;

ParameterMap standardParams() {
    return ParameterMap{{"groupFrames", 400}, {"hanningLen", 9}, {"onsetThresh", 0.05},
                        {"loBPM", 60},        {"hiBPM", 200}};
}

std::vector<float> randomCells(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> level(0.0f, 1.0f);
    std::vector<float> cells(count);
    for (float& v : cells) v = level(rng);
    return cells;
}

const BaseVector<float>& run(ModuleInstance& module, std::vector<float>& cells, std::uint32_t rows,
                             std::uint32_t cols) {
    BaseMatrix<float> input(cells.data(), rows, cols);
    DataBlock* output = nullptr;
    module->process(output, &input);
    return *static_cast<BaseVector<float>*>(output);
}

std::vector<float> copy(const BaseVector<float>& v) { return std::vector<float>(v.data, v.data + v.size); }

TEST(PulsegridPlugin, AnswersItsGettersAndTexts) {
    PluginLibrary library(ZQX_PULSEGRID_PATH);
    const auto texts = library.infoTexts();
    EXPECT_EQ(texts.date, "Jun  1 2007");
    EXPECT_EQ(texts.version, "1.0");
    EXPECT_EQ(texts.description, "collects vectors and concatenates them to matrices");
    EXPECT_EQ(library.moduleInfo(), library.moduleInfo());

    ParameterMap moduleParams = standardParams(), globalParams{{"msPerRow", 10}};
    ModuleInstance module = library.create(moduleParams, globalParams);
    EXPECT_EQ(module->getInputKind(), RealMatrix);
    EXPECT_EQ(module->getOutputKind(), RealVector);
    EXPECT_EQ(module->getInputTypeName(), "");
    EXPECT_EQ(&module->getInputTypeName(), &module->getInputTypeName());
    EXPECT_EQ(module->getOutputTypeName(), "");
    EXPECT_EQ(module->getParameterNote(), "zqx_pulsegrid");
    EXPECT_EQ(module->isTyped(), 0);
    EXPECT_EQ(module->getOutputSize(400 * 20), 0u);
}

TEST(PulsegridPlugin, ReadsParametersInOrderAndRefusesUndefinedConfigurations) {
    PluginLibrary library(ZQX_PULSEGRID_PATH);
    const std::vector<std::string> allReads{"groupFrames", "hanningLen", "onsetThresh", "loBPM", "hiBPM"};
    const std::string notSet = "RhythmicMidlevelModule: parameter \"groupFrames\" not set!";
    ASSERT_EQ(notSet.size(), 56u);
    auto outOfRange = [](const char* name) {
        return std::string("RhythmicMidlevelModule: parameter \"") + name + "\" out of range";
    };
    struct Case {
        std::vector<std::pair<std::string, ParameterMap::Value>> changes;
        std::string message;  // empty: accepted
    };
    const Case cases[] = {
        {{}, ""},
        {{{"groupFrames", -1}}, notSet},
        {{{"groupFrames", 0}}, notSet},
        {{{"groupFrames", -5}}, notSet},
        {{{"groupFrames", 1}, {"hiBPM", 7000}}, ""},  // one frame, lag 0 only
        {{{"hanningLen", 0}, {"loBPM", 0}}, outOfRange("hanningLen")},  // first in read order
        {{{"hanningLen", 1}}, ""},
        {{{"loBPM", 0}, {"hiBPM", -3}}, outOfRange("loBPM")},
        {{{"hiBPM", 0}}, outOfRange("hiBPM")},
        {{{"loBPM", 200}, {"hiBPM", 60}}, outOfRange("lagCount")},
        {{{"loBPM", 200}, {"hiBPM", 200}}, outOfRange("lagCount")},
        {{{"groupFrames", 30}}, outOfRange("lagCount")},  // minLag 30 leaves no lag below 30
        {{{"groupFrames", 31}}, ""},
    };
    for (const Case& c : cases) {
        ParameterMap moduleParams = standardParams(), globalParams;
        for (const auto& [name, value] : c.changes)
            if (std::get<int>(value) == -1) moduleParams.remove(name);
            else moduleParams.set(name, value);
        const bool stopsEarly = c.message == notSet;
        try {
            ModuleInstance module = library.create(moduleParams, globalParams);
            EXPECT_TRUE(c.message.empty()) << "accepted, expected " << c.message;
        } catch (const std::exception& e) {  // a simpleException, caught as its base
            EXPECT_EQ(std::string(e.what()), c.message);
            EXPECT_NE(dynamic_cast<const simpleException*>(&e), nullptr);
        }
        EXPECT_EQ(moduleParams.readLog(),
                  stopsEarly ? std::vector<std::string>{"groupFrames"} : allReads) << c.message;
        EXPECT_EQ(globalParams.readLog(),
                  stopsEarly ? std::vector<std::string>{} : std::vector<std::string>{"msPerRow"});
    }
}

TEST(PulsegridPlugin, LatchesTheFirstOutputSize) {
    PluginLibrary library(ZQX_PULSEGRID_PATH);
    ParameterMap moduleParams = standardParams(), globalParams;
    ModuleInstance module = library.create(moduleParams, globalParams);
    std::vector<float> wide = randomCells(400 * 20, 1), narrow = randomCells(400 * 10, 2);
    std::vector<float> nothing;
    EXPECT_EQ(run(module, nothing, 0, 20).size, 0u);
    EXPECT_EQ(module->getOutputSize(0), 0u) << "an empty input computes nothing";

    const BaseVector<float>& first = run(module, wide, 400, 20);
    EXPECT_EQ(first.size, 105u);
    EXPECT_EQ(module->getOutputSize(123), 105u);
    const std::vector<float> firstValues = copy(first);
    const BaseVector<float>& second = run(module, narrow, 400, 10);
    EXPECT_EQ(&second, &first) << "each call overwrites the module's one output block";
    EXPECT_EQ(second.size, 95u);
    EXPECT_EQ(module->getOutputSize(4000), 105u);
    EXPECT_EQ(copy(run(module, wide, 400, 20)), firstValues);
}

TEST(PulsegridPlugin, EmptyInputsShareTheLibrarysEmptyBlock) {
    PluginLibrary library(ZQX_PULSEGRID_PATH);
    ParameterMap moduleParams = standardParams(), globalParams;
    ModuleInstance a = library.create(moduleParams, globalParams);
    ModuleInstance b = library.create(moduleParams, globalParams);
    std::vector<float> cells = randomCells(20, 3);
    const BaseVector<float>& noRows = run(a, cells, 0, 20);
    const BaseVector<float>& noCols = run(b, cells, 400, 0);
    EXPECT_EQ(&noRows, &noCols);
    EXPECT_EQ(noRows.size, 0u);
    EXPECT_EQ(noRows.data, nullptr);
    EXPECT_EQ(b->getOutputSize(0), 0u);
}

TEST(PulsegridPlugin, MsPerRowChangesNothing) {
    PluginLibrary library(ZQX_PULSEGRID_PATH);
    std::vector<float> cells = randomCells(400 * 12, 4);
    std::vector<std::vector<float>> results;
    for (const int msPerRow : {-1, 10, 23, 1000}) {  // -1: absent
        ParameterMap moduleParams = standardParams(), globalParams;
        if (msPerRow != -1) globalParams.set("msPerRow", msPerRow);
        ModuleInstance module = library.create(moduleParams, globalParams);
        results.push_back(copy(run(module, cells, 400, 12)));
    }
    for (const auto& r : results) {
        ASSERT_EQ(r.size(), results[0].size());
        EXPECT_EQ(std::memcmp(r.data(), results[0].data(), r.size() * sizeof(float)), 0);
    }
}

TEST(PulsegridPlugin, ClickTrainAt120BpmPeaksAtLag50) {
    // One onset every 50 frames of 10 ms in every band, with quieter off-beat noise.
    PluginLibrary library(ZQX_PULSEGRID_PATH);
    ParameterMap moduleParams = standardParams(), globalParams;
    ModuleInstance module = library.create(moduleParams, globalParams);
    const std::uint32_t rows = 400, bands = 6;
    std::vector<float> cells = randomCells(rows * bands, 5);
    for (std::uint32_t t = 0; t < rows; ++t)
        for (std::uint32_t b = 0; b < bands; ++b) {
            cells[t * bands + b] *= 0.05f;
            if (t % 50 == 7) cells[t * bands + b] += 1.0f + 0.1f * b;
        }
    const std::vector<float> result = copy(run(module, cells, rows, bands));
    ASSERT_EQ(result.size(), bands + 15 + 70);
    const float* profile = result.data() + bands + 15;
    const auto peak = std::max_element(profile, profile + 70) - profile;
    EXPECT_EQ(peak, 50 - 30) << "lag " << peak + 30;
    EXPECT_GT(profile[peak], 0.5f);
    for (std::uint32_t b = 0; b < bands; ++b) EXPECT_GT(result[b], 0.5f) << "band " << b << " is clearly peaked";
}

}  // namespace
