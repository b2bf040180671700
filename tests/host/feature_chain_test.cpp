// The extract chain in-process: how the host cuts the stream must not depend on how the audio
// arrives, and the resampler must come first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "host/feature_chain.h"
#include "host/feature_report.h"
#include "tests/host/cli_test_support.h"

namespace {

using namespace zqx::host;

bool pluginsBuilt(std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (!std::filesystem::exists(std::filesystem::path(ZQX_PROBE_DIR) / (std::string(name) + ".so"))) return false;
    return true;
}

std::vector<float> signal(int rate, double seconds) {
    std::vector<float> x(std::size_t(rate * seconds));
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate, beat = std::fmod(t, 0.4);
        x[i] = float(0.3 * std::sin(2 * M_PI * 523.25 * t) + 0.5 * std::exp(-beat / 0.04) * std::sin(2 * M_PI * 70 * beat));
    }
    return x;
}

void expectSame(const FeatureStream& a, const FeatureStream& b) {
    EXPECT_EQ(a.times, b.times) << a.name;
    EXPECT_EQ(a.values, b.values) << a.name;
    EXPECT_EQ(a.columns, b.columns) << a.name;
}

// Counts what a chain hands its listener.
struct CountingListener : FeatureListener {
    std::size_t input = 0, analysed = 0, frames = 0;
    std::map<std::string, std::size_t> rows;
    void inputSamples(const float*, std::size_t n) override { input += n; }
    void analysisSamples(const float*, std::size_t n) override { analysed += n; }
    void bandFrames(const float*, std::size_t count, int) override { frames += count; }
    bool rowsKept = true;  // false: a chain that keeps only each stream's latest row (index 0)
    void streamRow(const FeatureStream& stream, std::size_t row) override {
        EXPECT_EQ(row, rowsKept ? rows[stream.name] : 0u) << stream.name;
        ++rows[stream.name];
        EXPECT_EQ(stream.columns.size(), stream.width) << stream.name;
    }
    // The pooled band rows as they come, whether or not the chain keeps them.
    std::vector<double> pooledTimes;
    std::vector<float> pooledValues;
    void bandEnergyRow(const FeatureStream& pooled, std::size_t row) override {
        pooledTimes.push_back(pooled.times[row]);
        pooledValues.insert(pooledValues.end(), pooled.row(row), pooled.row(row) + pooled.width);
    }
};

TEST(FeatureChain, OnePlanServesStreamsOfEveryRateAndTheListenerSeesEverything) {
    if (!pluginsBuilt({"zqx_ratefold", "zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid"}))
        GTEST_SKIP() << "the four plug-ins are not all built";
    const FeatureChainPlan plan(FeatureChainSettings{}, PluginLocator({ZQX_PROBE_DIR}, "", ""));
    for (int rate : {8000, 44100}) {
        SCOPED_TRACE(rate);
        const std::vector<float> x = signal(rate, 4.3);
        CountingListener listener;
        FeatureChain chain(plan, rate, &listener);
        chain.push(x.data(), x.size());
        chain.finish();
        EXPECT_EQ(chain.rateConversion().automatic, rate < 22050);
        EXPECT_EQ(chain.analysisRate(), rate < 22050 ? 22050 : rate);
        EXPECT_EQ(listener.input, x.size());
        EXPECT_EQ(std::int64_t(listener.analysed), chain.analysedSamples());
        EXPECT_EQ(std::int64_t(listener.frames), chain.bandFrames());
        for (const FeatureStream& stream : chain.streams()) {
            EXPECT_GT(stream.rows(), 0u) << stream.name;
            EXPECT_EQ(listener.rows[stream.name], stream.rows()) << stream.name;
        }
        EXPECT_EQ(listener.pooledTimes, chain.bandEnergy().times);
        EXPECT_EQ(listener.pooledValues, chain.bandEnergy().values);

        // A chain that keeps only the latest rows, as zqx extract runs it, still hands every
        // pooled band row to its listener and holds just the last one.
        CountingListener streamed;
        streamed.rowsKept = false;
        FeatureChain lean(plan, rate, &streamed, false);
        lean.push(x.data(), x.size());
        lean.finish();
        EXPECT_EQ(streamed.pooledTimes, chain.bandEnergy().times);
        EXPECT_EQ(streamed.pooledValues, chain.bandEnergy().values);
        ASSERT_EQ(lean.bandEnergy().rows(), 1u);
        EXPECT_EQ(lean.bandEnergy().times.front(), chain.bandEnergy().times.back());
    }
}

TEST(FeatureChain, ResultsDoNotDependOnHowTheAudioArrives) {
    if (!pluginsBuilt({"zqx_ratefold", "zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid"}))
        GTEST_SKIP() << "the four plug-ins are not all built";
    const PluginLocator locator({ZQX_PROBE_DIR}, "", "");
    const std::vector<float> x = signal(44100, 4.3);
    for (int targetRate : {0, 32000, 44100}) {
        SCOPED_TRACE(targetRate);
        FeatureChainSettings settings;
        settings.targetRate = targetRate == 44100 ? 0 : targetRate;
        // FFT-mode chroma blocks reach one sample into the next frame: a cut of its own.
        if (targetRate == 44100) settings.override("zqx_tonewheel:useMRFFT=false");
        FeatureChain whole(settings, 44100, locator);
        whole.push(x.data(), x.size());
        whole.finish();
        FeatureChain pieces(settings, 44100, locator);
        std::size_t at = 0;
        for (std::size_t step = 1; at < x.size(); step = step * 3 + 7) {
            const std::size_t n = std::min(step, x.size() - at);
            pieces.push(x.data() + at, n);
            at += n;
        }
        pieces.finish();
        // The chroma stage on a thread of its own, fed in pieces: the same rows, delivered in order.
        CountingListener counted;
        FeatureChain overlapped(FeatureChainPlan(settings, locator), 44100, &counted);
        overlapped.overlapSampleStages();
        at = 0;
        for (std::size_t step = 5; at < x.size(); step = step * 2 + 3) {
            const std::size_t n = std::min(step, x.size() - at);
            overlapped.push(x.data() + at, n);
            at += n;
        }
        overlapped.finish();
        ASSERT_EQ(whole.streams().size(), 3u);
        for (std::size_t s = 0; s < whole.streams().size(); ++s) {
            expectSame(whole.streams()[s], pieces.streams()[s]);
            expectSame(whole.streams()[s], overlapped.streams()[s]);
            EXPECT_EQ(counted.rows[whole.streams()[s].name], whole.streams()[s].rows());
        }

        const int rate = targetRate ? targetRate : 44100;
        EXPECT_EQ(whole.analysisRate(), rate);
        ASSERT_EQ(whole.modules().stages().front().name(), settings.targetRate ? "zqx_ratefold" : "zqx_tonewheel");
        // 4.3 s in 10 ms frames: 430, one group of 400 and 30 left over.
        EXPECT_EQ(whole.bandFrames(), 430);
        EXPECT_EQ(whole.stream("rhythm").rows(), 1u);
        EXPECT_EQ(whole.stream("rhythm").fact("framesAfterLastGroup"), 30);
        EXPECT_EQ(whole.stream("dynamics").rows(), 1u);
        const std::int64_t analysed = whole.analysedSamples();
        const long long hop = whole.stream("chroma").fact("hop");
        const std::size_t blocks = std::size_t((analysed + hop - 1) / hop);
        EXPECT_EQ(whole.stream("chroma").rows(), blocks);
        EXPECT_EQ(whole.stream("chroma").width, 24u);
    }
}

// Every sample lies in exactly one analysed chroma frame, and the time stamps say where: a tone
// that starts after the first half of the first block shows in its row (FFT mode analysed only
// that first half of each 4096-sample block before).
TEST(FeatureChain, ChromaFramesTileTheStream) {
    if (!pluginsBuilt({"zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid"}))
        GTEST_SKIP() << "the plug-ins are not all built";
    const PluginLocator locator({ZQX_PROBE_DIR}, "", "");
    std::vector<float> x(44100 * 2 + 1000, 0.0f);
    for (std::size_t i = 3000; i < x.size(); ++i) x[i] = float(0.5 * std::sin(2 * M_PI * 440.0 * double(i) / 44100));
    for (bool mrfft : {true, false}) {
        SCOPED_TRACE(mrfft ? "MRFFT" : "FFT");
        FeatureChainSettings settings;
        settings.override(std::string("zqx_tonewheel:useMRFFT=") + (mrfft ? "true" : "false"));
        FeatureChain chain(settings, 44100, locator);
        chain.push(x.data(), x.size());
        chain.finish();
        const FeatureStream& chroma = chain.stream("chroma");
        EXPECT_EQ(chroma.fact("frameLength"), 4096);
        EXPECT_EQ(chroma.fact("hop"), 4096);
        EXPECT_EQ(chroma.fact("blockLength"), mrfft ? 4096 : 4097);
        const std::size_t rows = (x.size() + 4095) / 4096;
        ASSERT_EQ(chroma.rows(), rows);
        EXPECT_EQ(chroma.fact("lastBlockZeroPadding"), (long long)(rows * 4096 - x.size()));
        for (std::size_t r = 0; r < rows; ++r) EXPECT_DOUBLE_EQ(chroma.times[r], double(r) * 4096 / 44100);
        const float* first = chroma.row(0);
        EXPECT_GT(first[9], 0.0f);
        EXPECT_EQ(std::max_element(first, first + 12) - first, 9);
    }
}

// Rows written as they come, with the chain keeping only the latest: the JSON reads exactly as the
// library's own dump of the same document (parse, dump again, compare the text), its arrays and the
// CSVs hold the values of a chain that kept every row, and a writer dropped before commit leaves
// no file behind. Two minutes of audio make the chroma arrays outgrow memory and spill to files.
TEST(FeatureReportWriter, StreamedFilesHoldEveryRowInTheLibrarysLayout) {
    if (!pluginsBuilt({"zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid"})) GTEST_SKIP() << "plug-ins not built";
    const PluginLocator locator({ZQX_PROBE_DIR}, "", "");
    const FeatureChainPlan plan(FeatureChainSettings{}, locator);
    const std::vector<float> x = signal(22050, 130.0);
    FeatureChain kept(plan, 22050);
    kept.push(x.data(), x.size());
    kept.finish();

    zqx::test::ScratchDir dir("report");
    {
        FeatureReportWriter dropped(dir.path().string(), "dropped", plan.settings());
        FeatureChain chain(plan, 22050, &dropped, false);
        chain.push(x.data(), x.size());
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "a writer without commit leaves nothing";

    FeatureReportWriter writer(dir.path().string(), "song", plan.settings());
    FeatureChain chain(plan, 22050, &writer, false);
    chain.push(x.data(), x.size());
    chain.finish();
    EXPECT_EQ(chain.stream("chroma").rows(), 1u) << "only the latest row stays in memory";
    writer.commit({"song.wav", "WAV", 22050, 1, (long long)x.size()}, chain, ResultSummary{});

    const std::string text = zqx::test::readText(dir.file("song.json"));
    const auto doc = nlohmann::ordered_json::parse(text);
    EXPECT_EQ(doc.dump(1) + "\n", text);
    for (const FeatureStream& stream : kept.streams()) {
        SCOPED_TRACE(stream.name);
        const auto& json = doc["features"][stream.name];
        ASSERT_EQ(json["times"].size(), stream.rows());
        std::string csv = "time";
        for (const std::string& c : stream.columns) csv += "," + c;
        csv += "\n";
        for (std::size_t r = 0; r < stream.rows(); ++r) {
            EXPECT_EQ(json["times"][r].get<double>(), stream.times[r]);
            csv += formatDouble(stream.times[r]);
            for (std::size_t i = 0; i < stream.width; ++i) {
                EXPECT_EQ(json["values"][r][i].get<float>(), stream.row(r)[i]);
                csv += "," + formatFloat(stream.row(r)[i]);
            }
            csv += "\n";
        }
        EXPECT_EQ(zqx::test::readText(dir.file("song." + stream.name + ".csv")), csv);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4) << "no temporary file stays";
}

}  // namespace
