// CChromaModule in MRFFT mode with a scripted CPitchCalc: the calls it makes on the analysis
// object, the block starts, and the fold of reported cents into pitch classes.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_parameter_set.h"
#include "modules/tonewheel/chroma_module.h"
#include "modules/tonewheel/mrfft_chroma.h"
#include "tonalscan/pitch_calc.h"

namespace {

// The module classes read their parameters from a fake set; no host library is needed.
using ParameterMap = zqx::test::FakeParameterSet;
using zqx::tonewheel::PitchCalcBinding;

// What the scripted analysis object answers, and what it saw.
struct Script {
    bool initResult = true;
    std::uint32_t blockLength = 1024;
    std::vector<PitchPeak> records;
    int initRate = 0;
    int initCalls = 0;
    int destroyCalls = 0;
    int blockLengthCalls = 0;
    int peakCountCalls = 0;
    std::vector<float> startFirst;  // first and last of the 2B samples of each start
    std::vector<float> startLast;
};

Script* g_script = nullptr;

class ScriptedPitchCalc final : public CPitchCalc {
public:
    std::uint32_t getBlockLength() override {
        ++g_script->blockLengthCalls;
        return g_script->blockLength;
    }
    void processBlock(const float* samples) override {
        // Reading the whole window lets the sanitizers catch a start too close to the block's end.
        g_script->startFirst.push_back(samples[0]);
        g_script->startLast.push_back(samples[2 * g_script->blockLength - 1]);
    }
    std::uint32_t getPeakCount() override {
        ++g_script->peakCountCalls;
        return static_cast<std::uint32_t>(g_script->records.size());
    }
    void getPeak(std::uint32_t index, PitchPeak* peak) override { *peak = g_script->records.at(index); }
};

bool scriptedInit(CPitchCalc*& calc, int samplingRate) {
    ++g_script->initCalls;
    g_script->initRate = samplingRate;
    if (!g_script->initResult) return false;
    calc = new ScriptedPitchCalc;
    return true;
}

bool scriptedDestroy(CPitchCalc* calc) {
    ++g_script->destroyCalls;
    delete calc;
    return true;
}

constexpr PitchCalcBinding kScripted{&scriptedInit, &scriptedDestroy};

PitchPeak record(std::int32_t cents, float peak, float mean) {
    PitchPeak r{};
    r.peakContribution = peak;
    r.meanContribution = mean;
    r.pitchCents = cents;
    return r;
}

// 0, 1, 2, ...: each start's first sample is its offset in the block.
std::vector<float> ramp(std::uint32_t n) {
    std::vector<float> x(n);
    for (std::uint32_t i = 0; i < n; ++i) x[i] = static_cast<float>(i);
    return x;
}

class MrfftChroma : public ::testing::Test {
protected:
    void SetUp() override { g_script = &m_script; }
    void TearDown() override { g_script = nullptr; }

    std::unique_ptr<CChromaModule> create(bool useMRFFT = true) {
        m_module = {{"loedge", 100}, {"hiedge", 5000}, {"earTransfer", true}, {"numMaxima", -1},
                    {"useMRFFT", useMRFFT}};
        m_global = {{"samplingRate", 44100}, {"windowSize", 4096}, {"overlapSize", 0}};
        return std::make_unique<CChromaModule>(&m_module, &m_global, kScripted);
    }

    static std::vector<float> run(CChromaModule& module, std::vector<float> samples) {
        BaseMatrix<float> block(samples.data(), 1, static_cast<std::uint32_t>(samples.size()));
        DataBlock* out = nullptr;
        module.process(out, &block);
        const auto& v = *static_cast<const BaseVector<float>*>(out);
        return std::vector<float>(v.data, v.data + v.size);
    }

    Script m_script;
    ParameterMap m_module;
    ParameterMap m_global;
};

TEST_F(MrfftChroma, FoldsCentsIntoPitchClasses) {
    const struct {
        std::int32_t cents;
        int pitchClass;  // -1: skipped
    } cases[] = {
        {0, 3},          {850, 0},      {900, 0},       {849, 11},      {-360, 0},     {-400, 0},
        {-449, 0},       {-450, -1},    {-1549, -1},    {-1550, 0},     {6600, 9},     {5700, 0},
        {1150, 3},       {1149, 2},    {INT32_MAX, 11}, {INT32_MIN, -1}, {-351, 0},    {250, 6},
    };
    auto module = create();
    for (const auto& c : cases) {
        m_script.records = {record(c.cents, 1.5f, 0.25f)};
        const std::vector<float> out = run(*module, ramp(2048));
        ASSERT_EQ(out.size(), 24u);
        std::vector<float> expected(24, 0.0f);
        if (c.pitchClass >= 0) {
            expected[c.pitchClass] = 1.5f;
            expected[12 + c.pitchClass] = 0.25f;
        }
        EXPECT_EQ(out, expected) << "cents " << c.cents;
        if (c.pitchClass >= 0) EXPECT_EQ(zqx::tonewheel::pitchClassOfCents(c.cents), c.pitchClass);
        else EXPECT_LT(zqx::tonewheel::pitchClassOfCents(c.cents), 0) << "cents " << c.cents;
    }
}

TEST_F(MrfftChroma, RecordsOfOneClassAddUpAndTheCountIsAskedBeforeEachRecord) {
    auto module = create();
    m_script.records = {record(6600, 1.0f, 0.5f), record(6640, 2.0f, 0.25f), record(5700, 4.0f, 0.125f),
                        record(-450, 8.0f, 8.0f)};
    const std::vector<float> out = run(*module, ramp(4096));
    std::vector<float> expected(24, 0.0f);
    expected[9] = 3.0f;
    expected[12 + 9] = 0.75f;
    expected[0] = 4.0f;
    expected[12 + 0] = 0.125f;
    EXPECT_EQ(out, expected);
    EXPECT_EQ(m_script.peakCountCalls, 5);

    m_script.records.clear();
    EXPECT_EQ(run(*module, ramp(4096)), std::vector<float>(24, 0.0f)) << "no records, no carry-over";
    EXPECT_EQ(m_script.peakCountCalls, 6);
}

// Starts are B apart and each reads 2B samples, so a block of kB samples gives k - 1 starts. A
// block shorter than 2B gives none, reads no records and returns 24 zeros (the scripted records
// would otherwise show).
TEST_F(MrfftChroma, HandsOverTheBlockStartsThatFitInTheBlock) {
    const struct {
        std::uint32_t blockLength;
        std::uint32_t n;
        std::vector<float> starts;
    } cases[] = {
        {1024, 4096, {0, 1024, 2048}},
        {1024, 2048, {0}},
        {1024, 5120, {0, 1024, 2048, 3072}},
        {1024, 4100, {0, 1024, 2048}},
        {1024, 2047, {}},
        {1024, 1500, {}},
        {1024, 1024, {}},
        {1024, 1000, {}},
        {1024, 1, {}},
        {1, 3, {0, 1}},
        {1, 1, {}},
        {3, 10, {0, 3}},
    };
    for (const auto& c : cases) {
        m_script = Script{};
        m_script.blockLength = c.blockLength;
        m_script.records = {record(0, 1.0f, 1.0f)};
        auto module = create();
        const std::vector<float> out = run(*module, ramp(c.n));
        EXPECT_EQ(m_script.startFirst, c.starts) << c.blockLength << " / " << c.n;
        for (std::size_t i = 0; i < m_script.startLast.size(); ++i)
            EXPECT_EQ(m_script.startLast[i], c.starts[i] + 2 * c.blockLength - 1);
        ASSERT_EQ(out.size(), 24u);
        const bool handedOver = !c.starts.empty();
        EXPECT_EQ(m_script.peakCountCalls, handedOver ? 2 : 0) << c.blockLength << " / " << c.n;
        EXPECT_EQ(out[3], handedOver ? 1.0f : 0.0f) << c.blockLength << " / " << c.n;
    }
}

TEST_F(MrfftChroma, AsksTheBlockLengthOnceAndReleasesTheObjectOnce) {
    {
        auto module = create();
        EXPECT_EQ(m_script.initCalls, 1);
        EXPECT_EQ(m_script.initRate, 44100);
        for (int i = 0; i < 3; ++i) run(*module, ramp(4096));
        EXPECT_EQ(m_script.startFirst.size(), 9u);
        EXPECT_EQ(run(*module, {}).size(), 0u) << "an empty block gives the empty result";
        EXPECT_EQ(m_script.startFirst.size(), 9u);
        EXPECT_EQ(m_script.blockLengthCalls, 1);
        EXPECT_EQ(m_script.destroyCalls, 0);
    }
    EXPECT_EQ(m_script.destroyCalls, 1);

    m_script = Script{};
    { auto fftMode = create(false); }
    EXPECT_EQ(m_script.initCalls, 0) << "FFT mode never creates the analysis object";
    EXPECT_EQ(m_script.destroyCalls, 0);
}

TEST_F(MrfftChroma, FailedInitialisationOrZeroBlockLengthIsRefused) {
    const struct {
        bool initResult;
        std::uint32_t blockLength;
        int destroyCalls;  // an object that was made is released before the throw
    } cases[] = {{false, 1024, 0}, {true, 0, 1}};
    for (const auto& c : cases) {
        m_script = Script{};
        m_script.initResult = c.initResult;
        m_script.blockLength = c.blockLength;
        try {
            create();
            ADD_FAILURE() << "no exception";
        } catch (const simpleException& e) {
            EXPECT_EQ(e.message, "MRFFT initialization failed");
        }
        EXPECT_EQ(m_script.destroyCalls, c.destroyCalls);
    }
}

}  // namespace
