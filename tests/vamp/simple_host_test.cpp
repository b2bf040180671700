// zqx_vamp through hosts nobody here wrote: vamp-simple-host lists and runs every plug-in on a
// generated file, and its numbers must equal those of the zqx command on the same file;
// vamp-rdf-template-generator must read the library, and the shipped RDF and category files must
// describe what it offers. The installed tree must work where it is put.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>
#include <regex>
#include <set>

#include "tests/support/signals.h"
#include "tests/vamp/vamp_test_support.h"

namespace {

using namespace zqx::test;
namespace fs = std::filesystem;

const std::string kVampDir = fs::path(ZQX_VAMP_LIBRARY).parent_path().string();

// A program of vamp-examples with VAMP_PATH set (and, in sanitised builds, the sanitiser's runtime).
std::string vampProgram(const char* program, const std::string& arguments, const std::string& vampPath = kVampDir) {
    return ZQX_FOREIGN_HOST_ENV " VAMP_PATH=" + quoted(vampPath) + " " + quoted(program) + " " + arguments;
}

std::string simpleHost(const std::string& arguments, const std::string& vampPath = kVampDir) {
    return vampProgram(VAMP_SIMPLE_HOST, arguments, vampPath);
}

// One fixture file and zqx extract's results on it, made once for the whole suite.
class SimpleHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<ScratchDir>("vamp_simple_host");
        // Stereo, the right channel a quieter sine: the plug-ins mix the channels as zqx does.
        const std::vector<float> left = fixtureMusic(kFixtureRate, kFixtureFrames);
        const std::vector<float> right = sineTone(587.33, 0.2, kFixtureRate, left.size());
        std::vector<float> stereo;
        for (std::size_t i = 0; i < left.size(); ++i) stereo.insert(stereo.end(), {left[i], right[i]});
        ASSERT_TRUE(writeAudio(s_dir->file("music.wav"), stereo, 2, kFixtureRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        const CommandResult r = runZqx("extract -q -o " + quoted(s_dir->file("out")) + " " + quoted(wav()));
        ASSERT_EQ(r.status, 0) << r.err;
    }
    static void TearDownTestSuite() { s_dir.reset(); }
    static std::string wav() { return s_dir->file("music.wav"); }
    static std::vector<TimedRow> extracted(const std::string& stream) {
        return readZqxCsv(readText(s_dir->file("out/music." + stream + ".csv")));
    }
    static std::vector<TimedRow> run(const std::string& pluginOutput) {
        const CommandResult r = runShell(simpleHost("zqx_vamp:" + pluginOutput + " " + quoted(wav())));
        EXPECT_EQ(r.status, 0) << r.err;
        return readSimpleHostFeatures(r.out);
    }
    static std::unique_ptr<ScratchDir> s_dir;
};

std::unique_ptr<ScratchDir> SimpleHost::s_dir;

// The library's plug-ins, each named once in the category file.
TEST_F(SimpleHost, ListsEveryPluginAndItsCategory) {
    const CommandResult r = runShell(simpleHost("--list-ids"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> ids;
    for (const std::string& line : lines(r.out))
        if (line.rfind("vamp:zqx_vamp:", 0) == 0) ids.push_back(line);
    EXPECT_EQ(ids, (std::vector<std::string>{"vamp:zqx_vamp:zqx-chroma", "vamp:zqx_vamp:zqx-dynamics",
                                             "vamp:zqx_vamp:zqx-key-chords", "vamp:zqx_vamp:zqx-rhythm"}));
    std::vector<std::string> categorised;
    for (const std::string& line : lines(readText(ZQX_VAMP_SOURCE_DIR "/zqx_vamp.cat")))
        categorised.push_back(line.substr(0, line.find("::")));
    std::sort(categorised.begin(), categorised.end());
    EXPECT_EQ(categorised, ids);
}

// Each output against the columns [first, first + count) of a zqx extract stream, row by row
// with the same time stamps.
struct OutputCase {
    const char* pluginOutput;
    const char* stream;
    std::size_t first;
    std::size_t count;  // 0: to the end of the row
    std::size_t rows;
};

TEST_F(SimpleHost, OutputsEqualZqxExtract) {
    const OutputCase cases[] = {
        {"zqx-chroma:peak", "chroma", 0, 12, 93},
        {"zqx-chroma:mean", "chroma", 12, 12, 93},
        {"zqx-rhythm:features", "rhythm", 0, 0, 2},
        {"zqx-rhythm:periodicity", "rhythm", 24 + 15, 0, 2},
        {"zqx-dynamics:dynamic_range", "dynamics", 0, 1, 1},
    };
    for (const OutputCase& c : cases) {
        SCOPED_TRACE(c.pluginOutput);
        const std::vector<TimedRow> vamp = run(c.pluginOutput);
        const std::vector<TimedRow> zqx = extracted(c.stream);
        ASSERT_EQ(vamp.size(), c.rows);
        ASSERT_EQ(zqx.size(), c.rows);
        for (std::size_t r = 0; r < c.rows; ++r) {
            EXPECT_NEAR(vamp[r].time, zqx[r].time, 1e-9) << "row " << r;
            const std::size_t count = c.count ? c.count : zqx[r].values.size() - c.first;
            ASSERT_EQ(vamp[r].values.size(), count) << "row " << r;
            for (std::size_t i = 0; i < count; ++i)
                EXPECT_PRED2(closeToPrinted, vamp[r].values[i], zqx[r].values[c.first + i])
                    << "row " << r << ", value " << i;
        }
    }
}

TEST_F(SimpleHost, BandEnergiesAreTheFramesOfZqxExtract) {
    const std::vector<TimedRow> bands = run("zqx-rhythm:bands");
    // One row every 10 ms for each frame that starts before the end: 863 * 441 < 380584.
    ASSERT_EQ(bands.size(), 864u);
    for (std::size_t r = 0; r < bands.size(); r += 97) {
        EXPECT_NEAR(bands[r].time, 0.01 * double(r), 1e-9);
        EXPECT_EQ(bands[r].values.size(), 24u);
    }
    const std::string json = readText(s_dir->file("out/music.json"));
    EXPECT_NE(json.find("\"frames\": 864"), std::string::npos);
}

// Below the 22050 Hz the chroma module accepts, each 512-sample block is resampled first, exactly
// as a zqx_ratefold | zqx_tonewheel chain does.
TEST_F(SimpleHost, ChromaBelow22050HzIsResampledFirst) {
    const std::string wav8k = s_dir->file("speech8k.wav");
    ASSERT_TRUE(writeAudio(wav8k, fixtureMusic(8000, 40000), 1, 8000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const CommandResult vamp = runShell(simpleHost("zqx_vamp:zqx-chroma:peak " + quoted(wav8k)));
    ASSERT_EQ(vamp.status, 0) << vamp.err;
    EXPECT_NE(vamp.err.find("Using block size = 512, step size = 512"), std::string::npos) << vamp.err;
    const CommandResult zqx = runZqx(
        "run --chain 'zqx_ratefold:inSampRate=8000,outSampRate=22050,antiAliasFilter=true | "
        "zqx_tonewheel:loedge=100,hiedge=5000,earTransfer=true,numMaxima=10,useMRFFT=true' " +
        quoted(wav8k));
    ASSERT_EQ(zqx.status, 0) << zqx.err;
    const std::vector<TimedRow> features = readSimpleHostFeatures(vamp.out);
    const std::vector<std::vector<double>> blocks = readRunLines(zqx.out);
    // 40000 = 78 * 512 + 64: zqx run hands the module the short last block as it is, the Vamp
    // host pads it, so the last rows differ by design.
    ASSERT_EQ(features.size(), 79u);
    ASSERT_EQ(blocks.size(), 79u);
    for (std::size_t r = 0; r + 1 < features.size(); ++r) {
        EXPECT_NEAR(features[r].time, double(r) * 512 / 8000, 1e-9);
        ASSERT_EQ(features[r].values.size(), 12u);
        for (std::size_t i = 0; i < 12; ++i)
            EXPECT_PRED2(closeToPrinted, features[r].values[i], blocks[r][i]) << "row " << r << ", value " << i;
    }
}

// The answers for the whole stream equal the summary zqx extract writes into music.json, which
// rounds them (tempo and loudness to 0.01, dynamic range to 0.0001, chord times to 1 us).
TEST_F(SimpleHost, WholeStreamAnswersEqualTheSummaryOfZqxExtract) {
    const nlohmann::json summary = nlohmann::json::parse(readText(s_dir->file("out/music.json")))["summary"];
    const struct {
        const char* pluginOutput;
        double expected;
        double rounding;
    } values[] = {
        {"zqx-rhythm:tempo", summary["tempo"]["bpm"].get<double>(), 0.005},
        {"zqx-dynamics:integrated_lufs", summary["loudness"]["integrated_lufs"].get<double>(), 0.005},
        {"zqx-dynamics:range_lu", summary["loudness"]["range_lu"].get<double>(), 0.005},
        {"zqx-dynamics:sample_peak_dbfs", summary["loudness"]["sample_peak_dbfs"].get<double>(), 0.005},
        {"zqx-dynamics:dynamic_range", summary["dynamic_range"].get<double>(), 0.00005},
    };
    for (const auto& v : values) {
        const std::vector<TimedRow> rows = run(v.pluginOutput);
        ASSERT_EQ(rows.size(), 1u) << v.pluginOutput;
        // The value, then whatever of its label reads as numbers.
        ASSERT_GE(rows[0].values.size(), 1u) << v.pluginOutput;
        EXPECT_NEAR(rows[0].values[0], v.expected, v.rounding + 6e-6 * std::abs(v.expected)) << v.pluginOutput;
    }
    const CommandResult key = runShell(simpleHost("zqx_vamp:zqx-key-chords:key " + quoted(wav())));
    ASSERT_EQ(key.status, 0) << key.err;
    EXPECT_NE(key.out.find(" " + summary["key"]["name"].get<std::string>() + ", confidence"), std::string::npos)
        << key.out;
    const CommandResult chords = runShell(simpleHost("zqx_vamp:zqx-key-chords:chords " + quoted(wav())));
    ASSERT_EQ(chords.status, 0) << chords.err;
    std::size_t i = 0;
    for (const std::string& line : lines(chords.out)) {
        const auto colon = line.find(": ");
        if (colon == std::string::npos) continue;
        ASSERT_LT(i, summary["chords"].size());
        const nlohmann::json& segment = summary["chords"][i++];
        EXPECT_EQ(line.substr(colon + 2), segment["label"].get<std::string>());
        EXPECT_NEAR(std::strtod(line.c_str(), nullptr), segment["start"].get<double>(), 1e-6);
    }
    EXPECT_EQ(i, summary["chords"].size());
}

// The identifiers "vamp:identifier" names in an RDF text, in order.
std::multiset<std::string> rdfIdentifiers(const std::string& text) {
    std::multiset<std::string> ids;
    const std::regex pattern("vamp:identifier +\"([^\"]+)\"");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it)
        ids.insert((*it)[1]);
    return ids;
}

TEST_F(SimpleHost, RdfGeneratorReadsTheLibraryAndTheShippedRdfDescribesIt) {
    const CommandResult r = runShell(vampProgram(VAMP_RDF_GENERATOR, "http://zqx-audio.org/rdf/plugins/ zqx_vamp"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::multiset<std::string> generated = rdfIdentifiers(r.out);
    EXPECT_EQ(generated.count("zqx-chroma"), 1u);
    EXPECT_EQ(generated.count("zqx-rhythm"), 1u);
    EXPECT_EQ(generated.count("zqx-dynamics"), 1u);
    EXPECT_EQ(generated.count("zqx-key-chords"), 1u);
    // Library, plug-ins, parameters and outputs: the shipped file names the same ones.
    EXPECT_EQ(rdfIdentifiers(readText(ZQX_VAMP_SOURCE_DIR "/zqx_vamp.n3")), generated);
}

// Installed as a whole under any prefix, the adapter finds the plug-ins in <libdir>/zqx beside
// its own <libdir>/vamp, without ZQX_PLUGIN_PATH.
TEST_F(SimpleHost, InstalledTreeWorksWhereverItIsPut) {
    ScratchDir prefix("vamp_install");
    const CommandResult install = runShell(quoted(ZQX_CMAKE_COMMAND) + " --install " + quoted(ZQX_BUILD_DIR) +
                                           " --prefix " + quoted(prefix.path().string()));
    ASSERT_EQ(install.status, 0) << install.err;
    const fs::path vampDir = prefix.path() / ZQX_INSTALL_LIBDIR / "vamp";
    for (const char* file : {"zqx_vamp.so", "zqx_vamp.n3", "zqx_vamp.cat"}) EXPECT_TRUE(fs::exists(vampDir / file)) << file;
    const CommandResult moved =
        runShell("unset ZQX_PLUGIN_PATH; " + simpleHost("zqx_vamp:zqx-chroma:peak " + quoted(wav()), vampDir.string()));
    ASSERT_EQ(moved.status, 0) << moved.err;
    const std::vector<TimedRow> features = readSimpleHostFeatures(moved.out);
    const std::vector<TimedRow> zqx = extracted("chroma");
    ASSERT_EQ(features.size(), zqx.size());
    for (std::size_t i = 0; i < 12; ++i) EXPECT_PRED2(closeToPrinted, features[50].values[i], zqx[50].values[i]);
}

TEST_F(SimpleHost, MissingPluginsAreNamedAndTheRunFails) {
    if (fs::exists(fs::path(ZQX_INSTALLED_PLUGIN_DIR) / "zqx_tonewheel.so"))
        GTEST_SKIP() << "zqx is installed in " << ZQX_INSTALLED_PLUGIN_DIR << ", where the adapter would find it";
    ScratchDir alone("vamp_alone");
    fs::copy_file(ZQX_VAMP_LIBRARY, alone.file("zqx_vamp.so"));
    const CommandResult r = runShell("unset ZQX_PLUGIN_PATH; " +
                                     simpleHost("zqx_vamp:zqx-chroma:peak " + quoted(wav()), alone.path().string()));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("zqx_vamp: zqx-chroma: unknown plug-in 'zqx_tonewheel'"), std::string::npos) << r.err;
    EXPECT_EQ(readSimpleHostFeatures(r.out).size(), 0u);
}

}  // namespace
