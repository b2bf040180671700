// zqx_vamp driven in-process through the Vamp host SDK's loader, as Sonic Visualiser drives it:
// non-default parameters must reach the modules (results equal the zqx command given the same
// module parameters), values are clamped and quantised, overlapping blocks count every sample
// once, reset() starts a new stream, and configurations the modules cannot run are refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>

#include <vamp-hostsdk/PluginLoader.h>

#include "tests/vamp/vamp_test_support.h"

namespace {

using namespace zqx::test;
using Vamp::Plugin;
using Vamp::HostExt::PluginLoader;
namespace fs = std::filesystem;

std::unique_ptr<Plugin> load(const std::string& identifier, float rate) {
    // Read by the loader when it first searches, which is in this call at the earliest.
    static const bool pathSet = ::setenv("VAMP_PATH", fs::path(ZQX_VAMP_LIBRARY).parent_path().c_str(), 1) == 0;
    EXPECT_TRUE(pathSet);
    PluginLoader* loader = PluginLoader::getInstance();
    return std::unique_ptr<Plugin>(loader->loadPlugin(loader->composePluginKey("zqx_vamp", identifier), rate, 0));
}

using Parameters = std::map<std::string, float>;
using Outputs = std::map<int, Plugin::FeatureList>;

// Feeds the channels (of equal length) in blocks of `block` every `step` samples, the last ones
// padded with zeros, as hosts do; then collects the remaining features.
Outputs runBlocks(Plugin& plugin, const std::vector<std::vector<float>>& channels, std::size_t step,
                  std::size_t block) {
    Outputs outputs;
    std::vector<std::vector<float>> buffers(channels.size(), std::vector<float>(block));
    std::vector<const float*> pointers;
    for (const auto& buffer : buffers) pointers.push_back(buffer.data());
    auto collect = [&outputs](const Plugin::FeatureSet& set) {
        for (const auto& [output, list] : set) outputs[output].insert(outputs[output].end(), list.begin(), list.end());
    };
    const std::size_t length = channels[0].size();
    for (std::size_t start = 0; start < length; start += step) {
        const std::size_t n = std::min(block, length - start);
        for (std::size_t c = 0; c < channels.size(); ++c) {
            std::copy(channels[c].begin() + long(start), channels[c].begin() + long(start + n), buffers[c].begin());
            std::fill(buffers[c].begin() + long(n), buffers[c].end(), 0.0f);
        }
        collect(plugin.process(pointers.data(), Vamp::RealTime::frame2RealTime(long(start), kFixtureRate)));
    }
    collect(plugin.getRemainingFeatures());
    return outputs;
}

// step and block 0: the sizes the plug-in prefers with these parameters.
Outputs run(const std::string& identifier, const Parameters& parameters, const std::vector<std::vector<float>>& channels,
            std::size_t step = 4096, std::size_t block = 4096) {
    const std::unique_ptr<Plugin> plugin = load(identifier, kFixtureRate);
    if (!plugin) {
        ADD_FAILURE() << identifier << " did not load";
        return {};
    }
    for (const auto& [name, value] : parameters) plugin->setParameter(name, value);
    if (step == 0) step = plugin->getPreferredStepSize();
    if (block == 0) block = plugin->getPreferredBlockSize();
    if (!plugin->initialise(channels.size(), step, block)) {
        ADD_FAILURE() << identifier << " refused to initialise";
        return {};
    }
    return runBlocks(*plugin, channels, step, block);
}

Outputs run(const std::string& identifier, const Parameters& parameters, const std::vector<float>& samples,
            std::size_t step = 4096, std::size_t block = 4096) {
    return run(identifier, parameters, std::vector<std::vector<float>>{samples}, step, block);
}

class SdkHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<ScratchDir>("vamp_sdk_host");
        s_samples = fixtureMusic(kFixtureRate, kFixtureFrames);
        ASSERT_TRUE(writeAudio(s_dir->file("music.wav"), s_samples, 1, kFixtureRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    }
    static void TearDownTestSuite() { s_dir.reset(); }
    static std::string wav() { return quoted(s_dir->file("music.wav")); }
    static std::unique_ptr<ScratchDir> s_dir;
    static std::vector<float> s_samples;
};

std::unique_ptr<ScratchDir> SdkHost::s_dir;
std::vector<float> SdkHost::s_samples;

// The Vamp values and the module parameters they must become.
struct ChromaCase {
    Parameters vamp;
    const char* module;
};

TEST_F(SdkHost, ChromaParametersReachTheModule) {
    const ChromaCase cases[] = {
        {{}, "loedge=100,hiedge=5000,earTransfer=true,numMaxima=10,useMRFFT=true"},
        {{{"mode", 0}}, "loedge=100,hiedge=5000,earTransfer=true,numMaxima=10,useMRFFT=false"},
        {{{"mode", 0}, {"earTransfer", 0}, {"numMaxima", 3}},
         "loedge=100,hiedge=5000,earTransfer=false,numMaxima=3,useMRFFT=false"},
        {{{"mode", 0}, {"loedge", 200}, {"hiedge", 2000}},
         "loedge=200,hiedge=2000,earTransfer=true,numMaxima=10,useMRFFT=false"},
    };
    for (const ChromaCase& c : cases) {
        SCOPED_TRACE(c.module);
        Outputs vamp = run("zqx-chroma", c.vamp, s_samples);
        const CommandResult zqx = runZqx("run --chain " + quoted(std::string("zqx_tonewheel:") + c.module) + " " + wav());
        ASSERT_EQ(zqx.status, 0) << zqx.err;
        const std::vector<std::vector<double>> blocks = readRunLines(zqx.out);
        ASSERT_EQ(vamp[0].size(), 93u);
        ASSERT_EQ(vamp[1].size(), 93u);
        ASSERT_EQ(blocks.size(), 93u);
        // zqx run gives the module the short last block as it is; Vamp hosts pad it.
        for (std::size_t r = 0; r + 1 < blocks.size(); ++r) {
            ASSERT_EQ(blocks[r].size(), 24u);
            for (std::size_t i = 0; i < 12; ++i) {
                EXPECT_EQ(vamp[0][r].values[i], float(blocks[r][i])) << "peak, row " << r << ", class " << i;
                EXPECT_EQ(vamp[1][r].values[i], float(blocks[r][12 + i])) << "mean, row " << r << ", class " << i;
            }
        }
    }
}

struct StreamCase {
    const char* plugin;
    Parameters vamp;
    const char* set;     // zqx extract --set
    const char* stream;  // its CSV
    int output;
    std::size_t first;   // the CSV column of the output's first value
};

// Run with the sizes the plug-in prefers, each output equals the stream of zqx extract with the
// same settings.
TEST_F(SdkHost, StreamsEqualZqxExtractWithTheSameSettings) {
    const StreamCase cases[] = {
        {"zqx-rhythm",
         {{"groupFrames", 300}, {"hanningLen", 3}, {"onsetThresh", 0.2f}, {"loBPM", 50}, {"hiBPM", 180}},
         "zqx_pulsegrid:groupFrames=300,hanningLen=3,onsetThresh=0.2,loBPM=50,hiBPM=180", "rhythm", 1, 0},
        {"zqx-dynamics", {{"hanningLen", 20}, {"offset", 2}, {"size", 10}},
         "zqx_swellgrid:hanningLen=20,offset=2,size=10", "dynamics", 0, 0},
        // FFT mode: blocks of 4097 samples, 4096 apart, as the command cuts them.
        {"zqx-chroma", {{"mode", 0}, {"numMaxima", 5}}, "zqx_tonewheel:useMRFFT=false,numMaxima=5", "chroma", 1, 12},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.set);
        ScratchDir out("vamp_sdk_extract");
        const CommandResult zqx =
            runZqx("extract -q --set " + quoted(c.set) + " -o " + quoted(out.path().string()) + " " + wav());
        ASSERT_EQ(zqx.status, 0) << zqx.err;
        const std::vector<TimedRow> expected = readZqxCsv(readText(out.file(std::string("music.") + c.stream + ".csv")));
        Outputs vamp = run(c.plugin, c.vamp, s_samples, 0, 0);
        const Plugin::FeatureList& features = vamp[c.output];
        ASSERT_EQ(features.size(), expected.size());
        ASSERT_FALSE(expected.empty());
        for (std::size_t r = 0; r < expected.size(); ++r) {
            // One chroma row per step of 4096 samples: the host gives it the step's time.
            const double time = features[r].hasTimestamp
                                    ? features[r].timestamp.sec + features[r].timestamp.nsec * 1e-9
                                    : double(r) * 4096 / kFixtureRate;
            EXPECT_NEAR(time, expected[r].time, 1e-9);
            ASSERT_LE(c.first + features[r].values.size(), expected[r].values.size());
            if (c.first == 0) {
                ASSERT_EQ(features[r].values.size(), expected[r].values.size());
            }
            for (std::size_t i = 0; i < features[r].values.size(); ++i)
                EXPECT_EQ(features[r].values[i], float(expected[r].values[c.first + i])) << "row " << r << ", value " << i;
        }
    }
}

bool sameFeatures(const Plugin::FeatureList& a, const Plugin::FeatureList& b, std::size_t count) {
    if (a.size() < count || b.size() < count) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (a[i].values != b[i].values || a[i].timestamp != b[i].timestamp) return false;
    return true;
}

TEST_F(SdkHost, OverlappingBlocksCountEverySampleOnce) {
    const Outputs adjacent = run("zqx-rhythm", {}, s_samples, 4096, 4096);
    for (const std::size_t step : {2048u, 1000u}) {
        SCOPED_TRACE(step);
        const Outputs overlapping = run("zqx-rhythm", {}, s_samples, step, 4096);
        // Padding differs at the end, so the last frames may differ; all 864 of the audio agree.
        EXPECT_TRUE(sameFeatures(adjacent.at(0), overlapping.at(0), 864));
        EXPECT_TRUE(sameFeatures(adjacent.at(1), overlapping.at(1), 2));
    }
}

TEST_F(SdkHost, ResetStartsANewStream) {
    for (const char* identifier : {"zqx-chroma", "zqx-rhythm", "zqx-dynamics", "zqx-key-chords"}) {
        SCOPED_TRACE(identifier);
        const std::unique_ptr<Plugin> plugin = load(identifier, kFixtureRate);
        ASSERT_TRUE(plugin && plugin->initialise(1, 4096, 4096));
        const Outputs first = runBlocks(*plugin, {s_samples}, 4096, 4096);
        plugin->reset();
        const Outputs second = runBlocks(*plugin, {s_samples}, 4096, 4096);
        ASSERT_FALSE(first.empty());
        ASSERT_EQ(first.size(), second.size());
        for (const auto& [output, list] : first)
            EXPECT_TRUE(sameFeatures(list, second.at(output), list.size())) << "output " << output;
    }
}

struct ClampCase {
    const char* plugin;
    const char* parameter;
    float set;
    float expected;
};

TEST_F(SdkHost, ParameterValuesAreClampedAndQuantised) {
    const ClampCase cases[] = {
        {"zqx-chroma", "numMaxima", 1000.0f, 480.0f}, {"zqx-chroma", "loedge", -5.0f, 0.0f},
        {"zqx-chroma", "mode", 0.7f, 1.0f},           {"zqx-rhythm", "hanningLen", 5.4f, 5.0f},
        {"zqx-rhythm", "onsetThresh", 0.25f, 0.25f},  {"zqx-rhythm", "groupFrames", 10.0f, 50.0f},
        {"zqx-dynamics", "size", 30.0f, 24.0f},
    };
    for (const ClampCase& c : cases) {
        const std::unique_ptr<Plugin> plugin = load(c.plugin, kFixtureRate);
        ASSERT_TRUE(plugin);
        plugin->setParameter(c.parameter, c.set);
        EXPECT_EQ(plugin->getParameter(c.parameter), c.expected) << c.plugin << " " << c.parameter;
    }
}

struct RefusedCase {
    const char* what;
    const char* plugin;
    float rate;
    std::size_t channels, step, block;
    Parameters parameters;
};

TEST_F(SdkHost, ConfigurationsTheModulesCannotRunAreRefused) {
    const RefusedCase cases[] = {
        {"more channels than it mixes", "zqx-chroma", 44100, 65, 4096, 4096, {}},
        {"step beyond the block", "zqx-rhythm", 44100, 1, 8192, 4096, {}},
        {"resampled with overlap", "zqx-chroma", 8000, 1, 256, 512, {}},
        {"edges crossed (module refuses)", "zqx-chroma", 44100, 1, 4096, 4096, {{"loedge", 3000}, {"hiedge", 2000}}},
        {"no lags (module refuses)", "zqx-rhythm", 44100, 1, 4096, 4096, {{"loBPM", 200}, {"hiBPM", 100}}},
        {"bands beyond 23 at 22.05 kHz", "zqx-dynamics", 22050, 1, 2048, 2048, {{"offset", 20}, {"size", 4}}},
        {"rate below the front-end's", "zqx-dynamics", 500, 1, 64, 64, {}},
    };
    for (const RefusedCase& c : cases) {
        const std::unique_ptr<Plugin> plugin = load(c.plugin, c.rate);
        ASSERT_TRUE(plugin) << c.what;
        for (const auto& [name, value] : c.parameters) plugin->setParameter(name, value);
        EXPECT_FALSE(plugin->initialise(c.channels, c.step, c.block)) << c.what;
        // A refused instance returns nothing rather than crash when driven anyway.
        std::vector<float> block(c.block, 0.5f);
        const std::vector<const float*> channels(c.channels, block.data());
        EXPECT_TRUE(plugin->process(channels.data(), Vamp::RealTime::zeroTime).empty()) << c.what;
        EXPECT_TRUE(plugin->getRemainingFeatures().empty()) << c.what;
    }
}

}  // namespace
