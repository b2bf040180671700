// Golden outputs: short synthesised signals through `zqx extract` and through `zqx run` per plug-in,
// compared value by value with the reviewed files in tests/host/expected/. Any change that moves a
// number shows here. ZQX_UPDATE_GOLDEN=1 rewrites the expected files instead of comparing (review
// the diff before committing it).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "tests/host/cli_test_support.h"

namespace {

using zqx::test::quoted;
using zqx::test::readText;
using zqx::test::runZqx;
using zqx::test::ScratchDir;
namespace fs = std::filesystem;

using zqx::test::kBinDir;
const fs::path kExpectedDir = ZQX_EXPECTED_DIR;

// The files hold round-trip exact floats, and a rebuild on this machine reproduces them bit for bit.
// The tolerance covers what may differ elsewhere: the C library's sin, cos, exp and log (correctly
// rounded to within an ulp or two) feeding float sums of a few thousand terms, which stays below
// 1e-5 relative; the absolute floor covers values that cancel towards zero.
constexpr double kRelativeTolerance = 1e-5;
constexpr double kAbsoluteTolerance = 1e-6;

// A C major triad with a kick on every beat at 120 BPM and a crescendo: 4.5 s, so that one group of
// 400 band frames gives a rhythm vector. Written as 16-bit PCM, which also rounds away any last-ulp
// difference of the synthesis.
std::vector<float> music(int rate, double seconds) {
    std::vector<float> x(std::size_t(seconds * rate));
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate, beat = std::fmod(t, 0.5), gain = 0.3 + 0.5 * t / seconds;
        double v = 0.0;
        for (double hz : {261.63, 329.63, 392.0}) v += 0.15 * std::sin(2 * M_PI * hz * t);
        v += 0.5 * std::exp(-beat / 0.04) * std::sin(2 * M_PI * 65.0 * beat);
        x[i] = float(gain * v);
    }
    return x;
}

// Band-energy-like rows for the rhythm and dynamics modules: a pulse every 50 frames (120 BPM at
// 10 ms per frame) on a slowly rising floor, with values from a fixed linear congruential sequence.
std::vector<float> bandRows(std::size_t rows, std::size_t bands) {
    std::vector<float> x(rows * bands);
    std::uint32_t state = 12345;
    for (std::size_t r = 0; r < rows; ++r)
        for (std::size_t b = 0; b < bands; ++b) {
            state = state * 1664525u + 1013904223u;
            const double jitter = double(state >> 8) / double(1u << 24);
            x[r * bands + b] = float(2.0 + 0.004 * double(r) + jitter + (r % 50 < 3 ? 6.0 - double(b) / 8 : 0.0));
        }
    return x;
}

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(line.substr(start, comma - start));
    fields.push_back(line.substr(start));
    return fields;
}

bool parseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

// The first difference between two CSV texts beyond the tolerance, or "" when they agree. Fields
// that are not numbers (the header) must match exactly.
std::string firstDifference(const std::string& actual, const std::string& expected) {
    const auto a = zqx::test::lines(actual), e = zqx::test::lines(expected);
    if (a.size() != e.size())
        return std::to_string(a.size()) + " lines where " + std::to_string(e.size()) + " are expected";
    for (std::size_t line = 0; line < a.size(); ++line) {
        const auto fa = splitFields(a[line]), fe = splitFields(e[line]);
        const std::string where = "line " + std::to_string(line + 1);
        if (fa.size() != fe.size())
            return where + ": " + std::to_string(fa.size()) + " fields, expected " + std::to_string(fe.size());
        for (std::size_t f = 0; f < fa.size(); ++f) {
            double va = 0, ve = 0;
            if (!parseNumber(fe[f], ve)) {
                if (fa[f] != fe[f]) return where + " field " + std::to_string(f + 1) + ": '" + fa[f] + "' != '" + fe[f] + "'";
                continue;
            }
            if (!parseNumber(fa[f], va) || !(std::abs(va - ve) <= kAbsoluteTolerance + kRelativeTolerance * std::abs(ve)))
                return where + " field " + std::to_string(f + 1) + ": " + fa[f] + ", expected " + fe[f];
        }
    }
    return "";
}

void compareWithExpected(const std::string& actualText, const std::string& expectedName) {
    const fs::path expectedPath = kExpectedDir / expectedName;
    if (std::getenv("ZQX_UPDATE_GOLDEN")) {
        zqx::test::writeText(expectedPath.string(), actualText);
        return;
    }
    ASSERT_TRUE(fs::exists(expectedPath)) << expectedPath;
    EXPECT_EQ(firstDifference(actualText, readText(expectedPath.string())), "") << expectedName;
}

bool pluginsBuilt() {
    for (const char* name : {"zqx_ratefold", "zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid"})
        if (!fs::exists(kBinDir / (std::string(name) + ".so"))) return false;
    return true;
}

struct ExtractCase {
    const char* name;      // expected files are <name>.<stream>.csv
    int rate;
    double seconds;
    const char* options;
    std::vector<const char*> streams;
};

TEST(GoldenOutput, ExtractGivesTheReviewedStreams) {
    if (!pluginsBuilt()) GTEST_SKIP() << "the four plug-ins are not all built";
    const ExtractCase cases[] = {
        {"extract_44k", 44100, 4.5, "", {"chroma", "rhythm", "dynamics"}},
        {"extract_44k_fft", 44100, 4.5, "--set zqx_tonewheel:useMRFFT=false", {"chroma"}},
        {"extract_44k_to_22k", 44100, 4.5, "--rate 22050", {"chroma", "rhythm", "dynamics"}},
        // The chroma module refuses 8 kHz: the chain resamples to 22050 Hz on its own.
        {"extract_8k", 8000, 4.5, "", {"chroma", "rhythm", "dynamics"}},
    };
    for (const ExtractCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir("golden");
        ASSERT_TRUE(zqx::test::writeAudio(dir.file("in.wav"), music(c.rate, c.seconds), 1, c.rate,
                                          SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        const auto r = runZqx("extract -q " + std::string(c.options) + " -o " + zqx::test::quoted(dir.file("out")) + " " +
                              zqx::test::quoted(dir.file("in.wav")));
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char* stream : c.streams)
            compareWithExpected(readText(dir.file(std::string("out/in.") + stream + ".csv")),
                                std::string(c.name) + "." + stream + ".csv");
    }
}

struct RunCase {
    const char* name;  // expected file is <name>.csv
    const char* chain;
    const char* options;
    bool rawBandRows;  // input: band rows as raw floats, else the music as a WAV file
    double seconds;    // of music: enough blocks to cover the chord and two beats, fewer for long rows
};

TEST(GoldenOutput, EachPluginRunAloneGivesTheReviewedBlocks) {
    if (!pluginsBuilt()) GTEST_SKIP() << "the four plug-ins are not all built";
    const RunCase cases[] = {
        {"run_tonewheel", "zqx_tonewheel:loedge=100,hiedge=5000,earTransfer=true,numMaxima=10", "", false, 1.0},
        {"run_tonewheel_mrfft", "zqx_tonewheel:loedge=100,hiedge=5000,numMaxima=10,useMRFFT=true", "", false, 1.0},
        {"run_ratefold", "zqx_ratefold:inSampRate=44100,outSampRate=16000,antiAliasFilter=true", "--block 441", false, 0.1},
        {"run_pulsegrid", "zqx_pulsegrid:groupFrames=400,hanningLen=5,onsetThresh=0.1,loBPM=60,hiBPM=200",
         "--matrix 400x24", true, 0},
        {"run_swellgrid", "zqx_swellgrid:hanningLen=50,offset=0,size=24,frameDuration=10.0", "--block 24 --end-of-stream",
         true, 0},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir("golden");
        std::string input;
        if (c.rawBandRows) {
            input = dir.file("rows.f32");
            zqx::test::writeRawFloats(input, bandRows(800, 24));
        } else {
            input = dir.file("in.wav");
            ASSERT_TRUE(zqx::test::writeAudio(input, music(44100, c.seconds), 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        }
        const auto r = runZqx("run --chain " + zqx::test::quoted(c.chain) + " " + c.options + (c.rawBandRows ? " --raw " : " ") +
                              zqx::test::quoted(input));
        ASSERT_EQ(r.status, 0) << r.err;
        compareWithExpected(r.out, std::string(c.name) + ".csv");
    }
}

}  // namespace
