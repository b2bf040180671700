// CResampleModule through its core library: configuration, chain rewrite, worked blocks, filter
// continuity, block ends, and the audio quality of the interpolation and the anti-alias filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/fake_parameter_set.h"
#include "kernels/iir_filter.h"
#include "modules/ratefold/resample_module.h"

namespace {

// The module classes read their parameters from a fake set; no host library is needed.
using ParameterMap = zqx::test::FakeParameterSet;

ParameterMap moduleSet(int in, int out, bool filter) {
    return ParameterMap{{"inSampRate", in}, {"outSampRate", out}, {"antiAliasFilter", filter}};
}

ParameterMap chainSet(int rate = 44100, int window = 1024) {
    return ParameterMap{{"samplingRate", rate}, {"windowSize", window}, {"overlapSize", 0}};
}

// Runs one block and copies the result out of the module's buffer.
std::vector<float> run(CResampleModule& module, std::vector<float>& samples) {
    BaseVector<float> in(samples.data(), static_cast<std::uint32_t>(samples.size()));
    DataBlock* out = nullptr;
    module.process(out, &in);
    const auto* v = static_cast<const BaseVector<float>*>(out);
    return std::vector<float>(v->data, v->data + v->size);
}

std::vector<float> tone(std::size_t n, double frequency, double rate, double amplitude = 0.5) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / rate));
    return x;
}

std::vector<float> ramp(std::size_t n) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = 0.25f + 0.001f * static_cast<float>(i % 997);
    return x;
}

TEST(ResampleModule, ReadsParametersInOrderAndRewritesTheChain) {
    ParameterMap params = moduleSet(0, 16000, true);
    ParameterMap chain = chainSet(48000, 1536);
    CResampleModule module(&params, &chain);
    EXPECT_EQ(params.readLog(), (std::vector<std::string>{"inSampRate", "outSampRate", "antiAliasFilter"}));
    EXPECT_EQ(chain.readLog(), (std::vector<std::string>{"windowSize", "overlapSize", "samplingRate"}));
    EXPECT_EQ(module.getRateRatio(), static_cast<float>(1.0L / 3.0L));
    EXPECT_EQ(module.getReadStep(), 3.0f);
    EXPECT_EQ(module.getCutoffFrequency(), 7750.0f);
    EXPECT_EQ(std::get<int>(chain.values().at("samplingRate")), 16000);
    // 1536 times the float ratio (0.3333333432...) is 512.0000152, truncated to 512.
    EXPECT_EQ(std::get<int>(chain.values().at("windowSize")), 512);
    EXPECT_EQ(std::get<int>(chain.values().at("overlapSize")), 0);

    std::vector<float> x = ramp(1024);
    const std::vector<float> y = run(module, x);
    EXPECT_EQ(y.size(), 341u);
}

TEST(ResampleModule, BothRatesFromSamplingRateMeanNoConversion) {
    ParameterMap params = moduleSet(0, 0, true);
    ParameterMap chain = chainSet(22050, 777);
    const auto before = chain.values();
    CResampleModule module(&params, &chain);
    EXPECT_EQ(chain.readLog(), (std::vector<std::string>{"windowSize", "overlapSize", "samplingRate", "samplingRate"}));
    EXPECT_EQ(chain.values(), before);
    EXPECT_EQ(module.getFilterTaps().size, 0u);
    EXPECT_EQ(module.getOutputSize(1000), 1000u);
    float samples[3] = {1, 2, 3};
    BaseVector<float> in(samples, 3);
    DataBlock* out = nullptr;
    module.process(out, &in);
    EXPECT_EQ(out, &in);
}

TEST(ResampleModule, RefusedConfigurations) {
    const std::string overlap = "CResampleModule: this module does not support overlapping processing";
    const std::string rates = "CResampleModule: sampling rates must be between 1 and 2147483647 Hz";
    struct Case {
        const char* name;
        ParameterMap params, chain;
        std::string message;
    };
    std::vector<Case> cases = {
        {"overlap 512", moduleSet(0, 16000, false),
         ParameterMap{{"samplingRate", 48000}, {"windowSize", 1024}, {"overlapSize", 512}}, overlap},
        {"overlap missing", moduleSet(0, 16000, false),
         ParameterMap{{"samplingRate", 48000}, {"windowSize", 1024}}, overlap},
        {"sampling rate 0", moduleSet(0, 16000, false), chainSet(0), rates},
        {"sampling rate missing", moduleSet(44100, 0, false),
         ParameterMap{{"windowSize", 1024}, {"overlapSize", 0}}, rates},
        {"input rate missing", ParameterMap{{"outSampRate", 22050}}, chainSet(), rates},
        {"output rate negative", moduleSet(44100, -8000, false), chainSet(), rates},
    };
    for (auto& c : cases) {
        const auto before = c.chain.values();
        try {
            CResampleModule module(&c.params, &c.chain);
            ADD_FAILURE() << c.name << ": constructed";
        } catch (const simpleException& e) {
            EXPECT_EQ(e.message, c.message) << c.name;
        }
        EXPECT_EQ(c.chain.values(), before) << c.name << ": globalParams written";
        if (c.message == overlap) {
            const auto& log = c.chain.readLog();
            EXPECT_EQ(std::count(log.begin(), log.end(), "samplingRate"), 0) << c.name;
        }
    }
}

TEST(ResampleModule, HostFacingAnswers) {
    ParameterMap params = moduleSet(44100, 22050, false);
    ParameterMap chain = chainSet();
    CResampleModule module(&params, &chain);
    EXPECT_EQ(module.getOutputSize(1000), 500u);
    EXPECT_EQ(module.getOutputSize(0), 0u);
    EXPECT_EQ(module.getInputKind(), RealVector);
    EXPECT_EQ(module.getOutputKind(), RealVector);
    EXPECT_EQ(module.isTyped(), 1);
    EXPECT_EQ(module.getParameterNote(), ".");
    EXPECT_EQ(module.getInputTypeName(), "");
    EXPECT_EQ(module.getOutputTypeName(), "");
    ParameterMap up = moduleSet(44100, 48000, false);
    ParameterMap chain2 = chainSet();
    CResampleModule upModule(&up, &chain2);
    // 1000 * 1.08843541 (the float ratio) = 1088.43...
    EXPECT_EQ(upModule.getOutputSize(1000), 1088u);
    EXPECT_EQ(std::get<int>(chain2.values().at("windowSize")), 1114);

    DataBlock* out = nullptr;
    float sample = 1.0f;
    BaseVector<float> in(&sample, 1);
    try {
        module.processRealToReal(out, &in);
        FAIL() << "expected simpleException";
    } catch (const simpleException& e) {
        EXPECT_EQ(e.message, "process : R->R not defined. Converts sample rates, freely configurable.");
    }
}

// The designed taps are the ones of the worked design, stored as floats.
TEST(ResampleModule, DesignsTheFilterEvenWhenItIsOff) {
    ParameterMap params = moduleSet(44100, 22050, false);
    ParameterMap chain = chainSet();
    CResampleModule module(&params, &chain);
    EXPECT_EQ(module.getCutoffFrequency(), 10775.0f);
    const BaseVector<float>& taps = module.getFilterTaps();
    ASSERT_EQ(taps.size, 6u);
    const float expected[6] = {0.177931f, 0.355863f, 0.177931f, 1.0f, -0.505360f, 0.217086f};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(taps.data[i], expected[i], 1e-6f) << "tap " << i;
    ParameterMap upParams = moduleSet(22050, 44100, false);
    ParameterMap upChain = chainSet(22050);
    CResampleModule up(&upParams, &upChain);
    // Up-sampling guards the input band and designs at the output rate: the same filter.
    EXPECT_EQ(up.getCutoffFrequency(), 10775.0f);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(up.getFilterTaps().data[i], taps.data[i]);
}

TEST(ResampleModule, WorkedBlocks) {
    std::vector<float> x = ramp(1024);
    {
        ParameterMap params = moduleSet(44100, 22050, false);
        ParameterMap chain = chainSet();
        CResampleModule module(&params, &chain);
        const std::vector<float> y = run(module, x);
        ASSERT_EQ(y.size(), 512u);
        for (std::size_t k = 0; k < 511; ++k) ASSERT_EQ(y[k], x[2 * (k + 1)]) << k;
        EXPECT_EQ(y[511], x[1023]);  // past the end: the last sample, not 0
    }
    {
        ParameterMap params = moduleSet(22050, 44100, false);
        ParameterMap chain = chainSet(22050);
        CResampleModule module(&params, &chain);
        const std::vector<float> y = run(module, x);
        ASSERT_EQ(y.size(), 2048u);
        // Even k: half-way between samples k/2 and k/2 + 1; odd k: sample (k + 1)/2 itself.
        for (std::size_t k = 0; k < 2046; k += 2) {
            ASSERT_EQ(y[k], static_cast<float>(0.5 * x[k / 2] + 0.5 * x[k / 2 + 1])) << k;
            ASSERT_EQ(y[k + 1], x[(k + 2) / 2]) << k + 1;
        }
        EXPECT_EQ(y[2046], x[1023]);
        EXPECT_EQ(y[2047], x[1023]);
    }
    {
        // A fractional step: the read position is the float sum of the steps, the value the
        // straight line between its two neighbours.
        ParameterMap params = moduleSet(44100, 48000, false);
        ParameterMap chain = chainSet();
        CResampleModule module(&params, &chain);
        const float step = module.getReadStep();
        EXPECT_EQ(step, static_cast<float>(44100.0L / 48000.0L));
        const std::vector<float> y = run(module, x);
        ASSERT_EQ(y.size(), 1114u);
        float p = 0;
        std::size_t k = 0;
        for (; k < y.size(); ++k) {
            p += step;
            const auto i0 = static_cast<std::size_t>(std::floor(p));
            const auto i1 = static_cast<std::size_t>(std::ceil(p));
            if (i1 >= x.size()) break;
            const double f = p - static_cast<float>(i0);
            ASSERT_EQ(y[k], static_cast<float>((1.0 - f) * x[i0] + f * x[i1])) << k;
        }
        EXPECT_EQ(k, 1113u);
        EXPECT_EQ(y[1113], x[1023]);
    }
}

TEST(ResampleModule, EmptyBlockAndGrowingOutput) {
    ParameterMap params = moduleSet(44100, 22050, true);
    ParameterMap chain = chainSet();
    CResampleModule module(&params, &chain);
    std::vector<float> none;
    EXPECT_TRUE(run(module, none).empty());
    std::vector<float> big = ramp(4096), small = ramp(100);
    EXPECT_EQ(run(module, big).size(), 2048u);
    EXPECT_EQ(run(module, small).size(), 50u);
    EXPECT_EQ(run(module, big).size(), 2048u);
}

// Interpolation starts afresh in every block: whatever came before, a block gives what a fresh
// module gives for it (filter off), shorter and longer blocks mixed.
TEST(ResampleModule, PositionsRestartInEveryBlock) {
    for (const auto& pair : {std::pair<int, int>{44100, 48000}, {48000, 44100}, {22050, 44100}}) {
        ParameterMap params = moduleSet(pair.first, pair.second, false);
        ParameterMap chain = chainSet(pair.first);
        CResampleModule module(&params, &chain);
        for (std::size_t n : {100u, 4096u, 333u, 1u, 4096u, 8191u}) {
            std::vector<float> x = ramp(n);
            ParameterMap freshParams = moduleSet(pair.first, pair.second, false);
            ParameterMap freshChain = chainSet(pair.first);
            CResampleModule fresh(&freshParams, &freshChain);
            EXPECT_EQ(run(module, x), run(fresh, x)) << pair.first << "->" << pair.second << " n=" << n;
        }
    }
}

// No non-silent block ends in fabricated zeros, whatever the ratio and filter setting; a constant
// block without the filter comes back as the same constant everywhere.
TEST(ResampleModule, BlockEndsHoldTheLastSample) {
    const int pairs[][2] = {{44100, 22050}, {22050, 44100}, {44100, 48000}, {48000, 44100}, {8000, 44100}, {44100, 8000}};
    for (const auto& pair : pairs) {
        for (bool filter : {false, true}) {
            ParameterMap params = moduleSet(pair[0], pair[1], filter);
            ParameterMap chain = chainSet(pair[0]);
            CResampleModule module(&params, &chain);
            for (int block = 0; block < 3; ++block) {
                std::vector<float> x(1000, 0.75f);
                const std::vector<float> y = run(module, x);
                ASSERT_FALSE(y.empty());
                for (std::size_t k = 0; k < y.size(); ++k) {
                    if (!filter) {
                        ASSERT_EQ(y[k], 0.75f) << pair[0] << "->" << pair[1] << " k=" << k;
                    } else {
                        ASSERT_GT(y[k], 0.0f) << pair[0] << "->" << pair[1] << " k=" << k;
                    }
                }
            }
        }
    }
}

// Down-sampling filters the input stream as one signal: block B's output is the standalone filter
// run over A followed by B, read at B's positions. Up-sampling filters the interpolated stream.
TEST(ResampleModule, FilterRunsOnAcrossBlocks) {
    std::vector<float> a = tone(1024, 3000, 44100), b = tone(1024, 9000, 44100);
    ParameterMap params = moduleSet(44100, 22050, true);
    ParameterMap chain = chainSet();
    CResampleModule module(&params, &chain);
    const std::vector<float> ya = run(module, a);
    const std::vector<float> yb = run(module, b);

    IirState* state = nullptr;
    ASSERT_EQ(iirCreate(&state, module.getFilterTaps().data, 2, nullptr), kStatusOk);
    std::vector<float> stream(a);
    stream.insert(stream.end(), b.begin(), b.end());
    ASSERT_EQ(iirFilterInPlace(stream.data(), 2048, state), kStatusOk);
    iirDestroy(state);
    for (std::size_t k = 0; k < 511; ++k) {
        ASSERT_EQ(ya[k], stream[2 * (k + 1)]) << k;
        ASSERT_EQ(yb[k], stream[1024 + 2 * (k + 1)]) << k;
    }

    const std::vector<float> again = run(module, b);
    EXPECT_NE(again, yb) << "the filter memory must carry over";

    ParameterMap upOn = moduleSet(22050, 44100, true), upOff = moduleSet(22050, 44100, false);
    ParameterMap chainOn = chainSet(22050), chainOff = chainSet(22050);
    CResampleModule filtered(&upOn, &chainOn), plain(&upOff, &chainOff);
    std::vector<float> interpolated = run(plain, a);
    const std::vector<float> interpolatedB = run(plain, b);
    interpolated.insert(interpolated.end(), interpolatedB.begin(), interpolatedB.end());
    std::vector<float> up = run(filtered, a);
    const std::vector<float> upB = run(filtered, b);
    up.insert(up.end(), upB.begin(), upB.end());
    ASSERT_EQ(iirCreate(&state, filtered.getFilterTaps().data, 2, nullptr), kStatusOk);
    ASSERT_EQ(iirFilterInPlace(interpolated.data(), 4096, state), kStatusOk);
    iirDestroy(state);
    EXPECT_EQ(up, interpolated);
}

// Without the filter the output is the sine itself at each read position, up to the error of a
// straight line between samples: (omega / rate)^2 / 8 of the amplitude, 0.0025 for 1 kHz at 44.1 kHz.
TEST(ResampleQuality, InterpolationFollowsTheSine) {
    struct Case {
        int in, out;
        double tolerance;
    };
    for (const Case& c : {Case{44100, 22050, 1e-7}, Case{44100, 48000, 0.0026}, Case{44100, 32000, 0.0026}}) {
        ParameterMap params = moduleSet(c.in, c.out, false);
        ParameterMap chain = chainSet(c.in);
        CResampleModule module(&params, &chain);
        std::vector<float> x = tone(4410, 1000, c.in, 1.0);
        const std::vector<float> y = run(module, x);
        float p = 0;
        double worst = 0;
        for (std::size_t k = 0; k + 2 < y.size(); ++k) {
            p += module.getReadStep();
            if (p > 4409.0f) break;
            worst = std::max(worst, std::abs(y[k] - std::sin(2.0 * M_PI * 1000.0 * p / c.in)));
        }
        EXPECT_LT(worst, c.tolerance) << c.in << "->" << c.out;
    }
}

double rms(const std::vector<float>& y, std::size_t from) {
    double s = 0;
    for (std::size_t k = from; k < y.size(); ++k) s += static_cast<double>(y[k]) * y[k];
    return std::sqrt(s / static_cast<double>(y.size() - from));
}

// The gain of a tone through 44100 -> 22050 with the filter on, in dB, over 1 s in 1024-sample
// blocks after the filter has settled.
double toneGainDb(double frequency) {
    ParameterMap params = moduleSet(44100, 22050, true);
    ParameterMap chain = chainSet();
    CResampleModule module(&params, &chain);
    const std::vector<float> x = tone(44032, frequency, 44100, 0.5);
    std::vector<float> y;
    for (std::size_t start = 0; start < x.size(); start += 1024) {
        std::vector<float> block(x.begin() + static_cast<std::ptrdiff_t>(start),
                                 x.begin() + static_cast<std::ptrdiff_t>(start + 1024));
        const std::vector<float> out = run(module, block);
        y.insert(y.end(), out.begin(), out.end() - 1);  // the held last value is not a read position
    }
    return 20.0 * std::log10(rms(y, 500) / (0.5 / std::sqrt(2.0)));
}

TEST(ResampleQuality, AntiAliasFilterAttenuatesAboveTheNewBand) {
    const double pass = toneGainDb(1000);
    const double stop = toneGainDb(15000);
    RecordProperty("gain1kHzDb", std::to_string(pass));
    RecordProperty("gain15kHzDb", std::to_string(stop));
    std::printf("44100 -> 22050 with the filter: 1 kHz %.2f dB, 15 kHz %.2f dB\n", pass, stop);
    EXPECT_LT(std::abs(pass), 1.0);
    EXPECT_LT(stop, -15.0);
}

}  // namespace

namespace {

// A block of 1, 2 or 3 input samples gives no or one output sample when down-sampling, yet every
// input sample passes through the filter: the last block of a stream cut into 1024, 1, 2, 0, 3, 1024
// samples comes out exactly as when the six samples in the middle arrive as one block, and at
// 44100 to 22050 Hz (whole read steps) exactly as the same outputs of the stream in one block.
TEST(ResampleModule, FilterSeesBlocksTooShortForOutput) {
    const struct {
        int in, out;
    } rates[] = {{44100, 22050}, {48000, 44100}, {96000, 8000}};
    const std::vector<std::size_t> cuts = {1024, 1, 2, 0, 3, 1024}, joined = {1024, 6, 1024};
    const std::vector<float> stream = tone(2054, 5000, 44100);
    for (const auto& r : rates) {
        SCOPED_TRACE(std::to_string(r.in) + " -> " + std::to_string(r.out));
        auto lastBlock = [&](const std::vector<std::size_t>& blocks) {
            ParameterMap params = moduleSet(r.in, r.out, true);
            ParameterMap chain = chainSet(r.in);
            CResampleModule module(&params, &chain);
            std::vector<float> y;
            std::size_t at = 0;
            for (std::size_t n : blocks) {
                std::vector<float> block(stream.begin() + std::ptrdiff_t(at), stream.begin() + std::ptrdiff_t(at + n));
                y = run(module, block);
                at += n;
            }
            return y;
        };
        const std::vector<float> split = lastBlock(cuts);
        ASSERT_FALSE(split.empty());
        EXPECT_EQ(split, lastBlock(joined));
        if (r.in == 2 * r.out) {
            const std::vector<float> whole = lastBlock({stream.size()});
            // Output k of the last block reads input 1030 + 2 (k + 1), output 514 + k + 1 of the whole.
            for (std::size_t k = 0; k + 1 < split.size(); ++k) ASSERT_EQ(split[k], whole[515 + k]) << k;
        }
    }
}

}  // namespace
