// The plug-in contract seen from a host: real shared libraries loaded through the loader.
#include <gtest/gtest.h>

#include "framework/typed_processing_module.h"
#include "host/library_loader.h"
#include "host/parameter_map.h"

namespace {

using zqx::host::LoaderError;
using zqx::host::ModuleInfoLayout;
using zqx::host::ModuleInstance;
using zqx::host::ParameterMap;
using zqx::host::PluginLibrary;

TEST(PluginContract, ConstructsFromBothSetsInOrder) {
    PluginLibrary probe(ZQX_CONTRACT_PROBE_PATH);
    ParameterMap moduleParams{{"gain", 2.0}};
    ParameterMap globalParams{{"samplingRate", 44100}};
    ModuleInstance module = probe.create(moduleParams, globalParams);
    ASSERT_TRUE(module);
    EXPECT_EQ(moduleParams.readLog(), (std::vector<std::string>{"gain", "inputKind", "sliceOffset"}));
    EXPECT_EQ(globalParams.readLog(), (std::vector<std::string>{"samplingRate"}));
    EXPECT_FALSE(module->isEndOfStream());
    module->setEndOfStream();
    module->setEndOfStream();
    EXPECT_TRUE(module->isEndOfStream());
    EXPECT_EQ(&module->getInputTypeName(), &module->getInputTypeName());
    EXPECT_EQ(module->isTyped(), 0);
    EXPECT_EQ(module->getParameterNote(), "probe");
}

TEST(PluginContract, RejectedParameterArrivesAsSimpleException) {
    PluginLibrary probe(ZQX_CONTRACT_PROBE_PATH);
    ParameterMap moduleParams{{"gain", -1.0}};
    ParameterMap globalParams;
    const std::string expected = "ContractProbeModule: parameter \"gain\" out of range";
    try {
        probe.create(moduleParams, globalParams);
        FAIL() << "expected simpleException";
    } catch (const simpleException& e) {
        EXPECT_EQ(e.message, expected);
        EXPECT_EQ(std::string(e.what()), expected);
    }
    try {
        probe.create(moduleParams, globalParams);
        FAIL() << "expected std::exception";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), expected);
    }
}

TEST(PluginContract, ProcessesVectorAndMatrixBlocks) {
    PluginLibrary probe(ZQX_CONTRACT_PROBE_PATH);
    ParameterMap globalParams;
    ParameterMap vectorParams{{"gain", 3.0}};
    ModuleInstance vectorModule = probe.create(vectorParams, globalParams);
    float samples[3] = {1, 2, 3};
    BaseVector<float> in(samples, 3);
    DataBlock* out = nullptr;
    vectorModule->process(out, &in);
    auto* result = static_cast<BaseVector<float>*>(out);
    ASSERT_EQ(result->size, 3u);
    EXPECT_EQ(result->data[2], 9.0f);
    EXPECT_EQ(samples[2], 3.0f) << "the input block is only read";

    ParameterMap matrixParams{{"gain", 1.0}, {"inputKind", 3}};
    ModuleInstance matrixModule = probe.create(matrixParams, globalParams);
    EXPECT_EQ(matrixModule->getInputKind(), RealMatrix);
    float cells[6] = {1, 2, 3, 4, 5, 6};
    BaseMatrix<float> matrix(cells, 2, 3);
    matrixModule->process(out, &matrix);
    result = static_cast<BaseVector<float>*>(out);
    ASSERT_EQ(result->size, 2u);
    EXPECT_EQ(result->data[0], 6.0f);
    EXPECT_EQ(result->data[1], 15.0f);
}

TEST(PluginContract, EmptyBlockIsSharedByInstancesOfOneLibrary) {
    PluginLibrary probe(ZQX_CONTRACT_PROBE_PATH);
    ParameterMap moduleParams{{"gain", 1.0}};
    ParameterMap globalParams;
    ModuleInstance first = probe.create(moduleParams, globalParams);
    ModuleInstance second = probe.create(moduleParams, globalParams);
    BaseVector<float> empty;
    DataBlock* a = nullptr;
    DataBlock* b = nullptr;
    first->process(a, &empty);
    second->process(b, &empty);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(static_cast<BaseVector<float>*>(a)->size, 0u);
    EXPECT_EQ(static_cast<BaseVector<float>*>(a)->data, nullptr);
}

TEST(PluginContract, VectorLibraryExceptionCrossesWithAllFields) {
    PluginLibrary probe(ZQX_CONTRACT_PROBE_PATH);
    ParameterMap moduleParams{{"gain", 1.0}, {"sliceOffset", 5}};
    ParameterMap globalParams;
    ModuleInstance module = probe.create(moduleParams, globalParams);
    float samples[3] = {1, 2, 3};
    BaseVector<float> in(samples, 3);
    DataBlock* out = nullptr;
    try {
        module->process(out, &in);
        FAIL() << "expected QVTException";
    } catch (const QVTException& e) {
        EXPECT_STREQ(e.what(), "subvector parameters out of range");
        EXPECT_EQ(e.source(), "qvt/base_vector");
        EXPECT_EQ(e.line(), 256);
    }
}

TEST(PluginContract, ModuleInfoIsOneStaticObject) {
    PluginLibrary probe(ZQX_CONTRACT_PROBE_PATH);
    EXPECT_EQ(probe.moduleInfo(), probe.moduleInfo());
    const auto texts = probe.infoTexts();
    EXPECT_EQ(texts.date, "Dec  8 2026");
    EXPECT_EQ(texts.description, "contract probe");
    EXPECT_EQ(texts.author, ZQX_MODULE_AUTHOR);
    EXPECT_EQ(probe.name(), "zqx_contract_probe");
    // deleteInstance(nullptr) is harmless: an empty handle's reset goes nowhere, and the raw
    // export is called directly too.
    ModuleInstance nothing;
    nothing.reset();
    auto deleteInstanceExport = reinterpret_cast<DeleteInstanceFunction>(
        zqx::host::SharedLibrary(ZQX_CONTRACT_PROBE_PATH).symbol("deleteInstance"));
    deleteInstanceExport(nullptr);
}

TEST(TypedPluginContract, DispatchesAndNamesTheMissingCombination) {
    PluginLibrary typed(ZQX_TYPED_PROBE_PATH, ModuleInfoLayout::DestructorFirst);
    const std::string description = "typed probe, destructor first";
    EXPECT_EQ(typed.infoTexts().description, description);
    EXPECT_EQ(typed.infoTexts().version, "0.2");

    struct Case {
        bool complexIn, complexOut;
        int inputKindOverride;
        const char* prefix;  // null: the real-to-real operation answers
    };
    const Case cases[] = {
        {false, false, 0, nullptr},
        {true, false, 0, "process : C->R not defined. "},
        {false, true, 0, "process : R->C not defined. "},
        {true, true, 0, "process : C->C not defined. "},
        {false, false, 3, "process : C->R not defined. "},  // any kind but 1 counts as complex
    };
    for (const Case& c : cases) {
        ParameterMap moduleParams{{"complexIn", c.complexIn}, {"complexOut", c.complexOut},
                                  {"inputKindOverride", c.inputKindOverride}};
        ParameterMap globalParams;
        ModuleInstance module = typed.create(moduleParams, globalParams);
        EXPECT_EQ(module->isTyped(), 1);
        float samples[2] = {1, 2};
        BaseVector<float> in(samples, 2);
        DataBlock* out = nullptr;
        if (!c.prefix) {
            EXPECT_EQ(module->getInputKind(), RealVector);
            EXPECT_EQ(module->getOutputKind(), RealVector);
            module->process(out, &in);
            EXPECT_EQ(out, &in);
            continue;
        }
        try {
            module->process(out, &in);
            FAIL() << c.prefix;
        } catch (const simpleException& e) {
            EXPECT_EQ(std::string(c.prefix).size(), 28u);
            EXPECT_EQ(e.message, std::string(c.prefix) + description);
        }
        // The instance is unchanged and may be called again.
        EXPECT_THROW(module->process(out, &in), simpleException);
    }
}

TEST(Loader, ErrorsNameThePathAndTheSymbol) {
    try {
        PluginLibrary missing("/nonexistent/zqx_nothing.so");
        FAIL();
    } catch (const LoaderError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/zqx_nothing.so"), std::string::npos) << e.what();
    }
    try {
        PluginLibrary noExports(ZQX_NO_EXPORTS_PATH);
        FAIL();
    } catch (const LoaderError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find(ZQX_NO_EXPORTS_PATH), std::string::npos) << text;
        EXPECT_NE(text.find("newInstance"), std::string::npos) << text;
    }
}

TEST(Loader, InstanceKeepsItsLibraryLoaded) {
    ModuleInstance survivor;
    {
        PluginLibrary probe(ZQX_CONTRACT_PROBE_PATH);
        ParameterMap moduleParams{{"gain", 1.0}};
        ParameterMap globalParams;
        survivor = probe.create(moduleParams, globalParams);
    }
    // The PluginLibrary is gone; the instance's virtual calls still reach loaded code.
    EXPECT_EQ(survivor->getParameterNote(), "probe");
}

}  // namespace
