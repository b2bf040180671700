// zqx_tonewheel as a host sees it: construction and its checks, the getters and information texts,
// and the chroma vectors it gives for synthesised audio.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numeric>
#include <vector>

#include "host/library_loader.h"
#include "host/parameter_map.h"

namespace {

using zqx::host::ModuleInstance;
using zqx::host::ParameterMap;
using zqx::host::PluginLibrary;

constexpr double kRate = 44100.0;
constexpr std::uint32_t kBlock = 4096;

ParameterMap globalParams() { return {{"samplingRate", 44100}, {"windowSize", 4096}, {"overlapSize", 0}}; }
ParameterMap moduleParams() {
    return {{"loedge", 100}, {"hiedge", 5000}, {"earTransfer", true}, {"numMaxima", -1}, {"useMRFFT", false}};
}

// Sum of unit sines at the given frequencies, with phases that avoid exact symmetry.
std::vector<float> tones(std::initializer_list<double> frequencies, std::uint32_t n = kBlock) {
    std::vector<float> x(n, 0.0f);
    double phase = 0.3;
    for (double f : frequencies) {
        for (std::uint32_t i = 0; i < n; ++i)
            x[i] += static_cast<float>(std::sin(2.0 * M_PI * f * i / kRate + phase));
        phase += 1.1;
    }
    return x;
}

class Tonewheel : public ::testing::Test {
protected:
    ModuleInstance create(ParameterMap params = moduleParams(), ParameterMap global = globalParams()) {
        m_params = std::move(params);
        m_global = std::move(global);
        return m_library.create(m_params, m_global);
    }

    // One block of rows x (samples / rows) through process(); the result copied out.
    static std::vector<float> run(ModuleInstance& module, std::vector<float> samples, std::uint32_t rows = 1) {
        // rows 0 keeps every sample in one would-be row: a block with 0 rows but some columns.
        const std::uint32_t cols = static_cast<std::uint32_t>(samples.size()) / std::max(rows, 1u);
        BaseMatrix<float> block(samples.data(), rows, cols);
        DataBlock* out = nullptr;
        module->process(out, &block);
        const auto& v = *static_cast<const BaseVector<float>*>(out);
        return std::vector<float>(v.data, v.data + v.size);
    }

    std::vector<float> runFresh(std::vector<float> samples, ParameterMap params = moduleParams()) {
        ModuleInstance module = create(std::move(params));
        return run(module, std::move(samples));
    }

    // Pitch classes of the peak half, strongest first.
    static std::vector<int> strongestPeakClasses(const std::vector<float>& chroma, int count) {
        std::vector<int> classes(12);
        std::iota(classes.begin(), classes.end(), 0);
        std::stable_sort(classes.begin(), classes.end(), [&](int a, int b) { return chroma[a] > chroma[b]; });
        classes.resize(count);
        std::sort(classes.begin(), classes.end());
        return classes;
    }

    PluginLibrary m_library{ZQX_TONEWHEEL_PATH};
    ParameterMap m_params;
    ParameterMap m_global;
};

TEST_F(Tonewheel, ParametersGettersAndInformation) {
    ModuleInstance module = create();
    EXPECT_EQ(m_global.readLog(), (std::vector<std::string>{"samplingRate", "windowSize", "overlapSize"}));
    EXPECT_EQ(m_params.readLog(),
              (std::vector<std::string>{"loedge", "hiedge", "earTransfer", "numMaxima", "useMRFFT"}));
    EXPECT_EQ(module->getInputTypeName(), "TimeSignal");
    EXPECT_EQ(module->getOutputTypeName(), "ChromaVector");
    EXPECT_EQ(&module->getInputTypeName(), &module->getInputTypeName());
    EXPECT_EQ(module->getInputKind(), RealMatrix);
    EXPECT_EQ(module->getOutputKind(), RealVector);
    EXPECT_EQ(module->getOutputSize(0), 12u);
    EXPECT_EQ(module->getOutputSize(kBlock), 12u);
    EXPECT_EQ(module->getParameterNote(), "chroma is non-parametric");
    EXPECT_EQ(module->isTyped(), 0);
    EXPECT_FALSE(module->isEndOfStream());

    const ModuleInfoTexts texts = m_library.infoTexts();
    EXPECT_EQ(texts.date, "Jun  8 2007");
    EXPECT_EQ(texts.version, "2.0");
    EXPECT_EQ(texts.description, "Chroma vector calculation using either fft or mrfft");
    EXPECT_EQ(texts.author, ZQX_MODULE_AUTHOR);
    EXPECT_EQ(texts.contact, ZQX_MODULE_CONTACT);
    EXPECT_EQ(texts.ownerNotice, ZQX_MODULE_OWNER);
    EXPECT_EQ(m_library.moduleInfo(), m_library.moduleInfo());
}

TEST_F(Tonewheel, ConstructorChecksInOrder) {
    const std::string overlap = "overlapSize out of range";
    const std::string rate = "Chroma module does not support sampling rates smaller than 22050 Hz";
    const std::string edges = "Chroma module requires parameter hiedge to be strictly greater than parameter loedge";
    const std::string mrfft = "MRFFT initialization failed";
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, ParameterMap::Value>> global, module;
        std::vector<std::string> unset;  // names removed from either set
        std::string message;             // empty: accepted
    };
    const Case cases[] = {
        {"overlap 1", {{"overlapSize", 1}}, {}, {}, overlap},
        {"overlap before rate", {{"overlapSize", 1}, {"samplingRate", 8000}}, {{"loedge", 9000}}, {}, overlap},
        {"overlap unset", {}, {}, {"overlapSize"}, overlap},
        {"rate 22049", {{"samplingRate", 22049}}, {}, {}, rate},
        {"rate before edges", {{"samplingRate", 22049}}, {{"loedge", 5000}}, {}, rate},
        {"rate 22050", {{"samplingRate", 22050}}, {}, {}, ""},
        {"rate unset reads as 4294967295", {}, {}, {"samplingRate"}, ""},
        {"equal edges", {}, {{"loedge", 5000}}, {}, edges},
        {"loedge unset", {}, {}, {"loedge"}, edges},
        {"hiedge unset", {}, {}, {"hiedge"}, ""},
        {"edges before MRFFT", {}, {{"loedge", 6000}, {"useMRFFT", true}}, {}, edges},
        {"MRFFT at 44100 Hz", {}, {{"useMRFFT", true}}, {}, ""},
        {"MRFFT, rate unset", {}, {{"useMRFFT", true}}, {"samplingRate"}, mrfft},
        {"MRFFT at a rate tonalscan does not serve", {{"samplingRate", 200000}}, {{"useMRFFT", true}}, {}, mrfft},
    };
    for (const Case& c : cases) {
        ParameterMap global = globalParams(), params = moduleParams();
        for (const auto& [name, value] : c.global) global.set(name, value);
        for (const auto& [name, value] : c.module) params.set(name, value);
        for (const auto& name : c.unset) {
            global.remove(name);
            params.remove(name);
        }
        try {
            ModuleInstance module = create(std::move(params), std::move(global));
            EXPECT_TRUE(c.message.empty()) << c.what << ": accepted";
            EXPECT_EQ(run(module, tones({440.0})).size(), 24u) << c.what;
        } catch (const simpleException& e) {
            EXPECT_EQ(e.message, c.message) << c.what;
            EXPECT_EQ(m_params.readLog().size(), 5u) << c.what << ": every parameter is read before the checks";
        }
    }
}

TEST_F(Tonewheel, EmptyAndSilentBlocks) {
    ModuleInstance module = create();
    EXPECT_EQ(run(module, std::vector<float>(64, 1.0f), 0).size(), 0u);

    // Silence has no peaks, so the mean half stays zero as well.
    EXPECT_EQ(run(module, std::vector<float>(kBlock, 0.0f)), std::vector<float>(24, 0.0f));
    // The next block after an empty one is analysed as usual.
    const std::vector<float> a4 = run(module, tones({440.0}));
    ASSERT_EQ(a4.size(), 24u);
    EXPECT_EQ(a4, runFresh(tones({440.0})));
    // Tiny blocks: one or two samples make a frame without bins.
    EXPECT_EQ(run(module, {0.5f, -0.5f}), std::vector<float>(24, 0.0f));
    EXPECT_EQ(run(module, {0.5f}), std::vector<float>(24, 0.0f));
}

TEST_F(Tonewheel, BlockIsReadInStorageOrderAcrossRows) {
    const std::vector<float> x = tones({330.0, 880.0});
    ModuleInstance module = create();
    EXPECT_EQ(run(module, x, 64), runFresh(x));
}

TEST_F(Tonewheel, OnlyTheLeadingPowerOfTwoIsAnalysed) {
    // 1024 samples analyse 0..511, 1025 samples analyse 0..1023.
    const std::vector<float> base = tones({440.0, 660.0}, 1025);
    std::vector<float> changedTail = base;
    for (std::uint32_t i = 512; i < 1024; ++i) changedTail[i] = 0.0f;

    const auto head = [](const std::vector<float>& x, std::uint32_t n) { return std::vector<float>(x.begin(), x.begin() + n); };
    EXPECT_EQ(runFresh(head(base, 1024)), runFresh(head(changedTail, 1024)));
    EXPECT_NE(runFresh(head(base, 1025)), runFresh(head(changedTail, 1025)));
    std::vector<float> changedLast = base;
    changedLast[1024] = 100.0f;
    EXPECT_EQ(runFresh(base), runFresh(changedLast));
}

TEST_F(Tonewheel, NumMaximaLimitsThePeakHalfOnly) {
    const std::vector<float> x = tones({261.63, 329.63, 392.0});
    ParameterMap none = moduleParams(), one = moduleParams(), many = moduleParams(), unset = moduleParams();
    none.set("numMaxima", 0);
    one.set("numMaxima", 1);
    many.set("numMaxima", 100000);
    unset.remove("numMaxima");
    const std::vector<float> all = runFresh(x);
    const std::vector<float> zero = runFresh(x, none);
    const std::vector<float> single = runFresh(x, one);

    for (int c = 0; c < 12; ++c) EXPECT_EQ(zero[c], 0.0f) << c;
    EXPECT_TRUE(std::equal(zero.begin() + 12, zero.end(), all.begin() + 12)) << "mean half unchanged";
    EXPECT_GT(*std::max_element(zero.begin() + 12, zero.end()), 0.0f);

    EXPECT_EQ(std::count_if(single.begin(), single.begin() + 12, [](float v) { return v != 0.0f; }), 1);
    EXPECT_EQ(runFresh(x, many), all);
    EXPECT_EQ(runFresh(x, unset), all);
}

TEST_F(Tonewheel, MusicalPitchClasses) {
    const struct {
        const char* name;
        std::vector<float> signal;
        std::vector<int> classes;
    } cases[] = {
        {"A4", tones({440.0}), {9}},
        {"C major C4 E4 G4", tones({261.63, 329.63, 392.0}), {0, 4, 7}},
        {"A minor A4 C5 E5", tones({440.0, 523.25, 659.26}), {0, 4, 9}},
    };
    for (const auto& c : cases) {
        const std::vector<float> chroma = runFresh(c.signal);
        ASSERT_EQ(chroma.size(), 24u) << c.name;
        EXPECT_EQ(strongestPeakClasses(chroma, static_cast<int>(c.classes.size())), c.classes) << c.name;
    }
}

TEST_F(Tonewheel, ChangingBlockLengthGetsTablesForEachLength) {
    // One instance fed blocks of changing length answers like a fresh instance for each block.
    ModuleInstance module = create();
    for (std::uint32_t n : {4096u, 1024u, 1025u, 300u, 4096u}) {
        const std::vector<float> x = tones({440.0, 523.25, 659.26}, n);
        const std::vector<float> chroma = run(module, x);
        EXPECT_EQ(chroma, runFresh(x)) << n << " samples";
    }
}

}  // namespace
