// zqx used as a hostile user would: inputs, options and plug-ins that once lost results, crashed
// or ran without bound. Each case checks the exit status, the one line on stderr and the files.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/host/cli_test_support.h"
#include "tests/support/signals.h"

namespace {

using zqx::test::lines;
using zqx::test::quoted;
using zqx::test::readText;
using zqx::test::runZqx;
using zqx::test::ScratchDir;
namespace fs = std::filesystem;

using zqx::test::kBinDir;

void writeTone(const std::string& path, double seconds, int rate = 22050) {
    ASSERT_TRUE(zqx::test::writeAudio(path, zqx::test::sineTone(440.0, 0.5, rate, std::size_t(seconds * rate)), 1,
                                      rate, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
}

std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(HostileExtract, AFolderInThePlaceOfOneResultKeepsTheEarlierSet) {
    REQUIRE_PLUGINS("zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("inway");
    writeTone(dir.file("song.wav"), 1.0);
    const std::string command = "extract -o " + quoted(dir.file("out")) + " " + quoted(dir.file("song.wav"));
    ASSERT_EQ(runZqx(command).status, 0);
    const std::string json = readText(dir.file("out/song.json"));
    fs::remove(dir.file("out/song.dynamics.csv"));
    fs::create_directories(dir.file("out/song.dynamics.csv/x"));
    const auto r = runZqx(command);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("song.dynamics.csv"), std::string::npos) << r.err;
    EXPECT_EQ(readText(dir.file("out/song.json")), json);
    EXPECT_EQ(entries(dir.file("out")),
              (std::vector<std::string>{"song.chroma.csv", "song.dynamics.csv", "song.json", "song.rhythm.csv",
                                        "summary.csv"}));
}

TEST(HostileExtract, InputsWithCollidingNamesGetOneSetEach) {
    REQUIRE_PLUGINS("zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("collide");
    fs::create_directories(dir.file("d"));
    writeTone(dir.file("x.wav"), 1.0);
    writeTone(dir.file("d/x-2.wav"), 1.5);
    const auto r = runZqx("extract -o " + quoted(dir.file("out")) + " " + quoted(dir.file("x.wav")) + " " +
                          quoted(dir.file("x.wav")) + " " + quoted(dir.file("d/x-2.wav")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(entries(dir.file("out")).size(), 3 * 4 + 1u);  // three sets and the corpus table
    EXPECT_NE(readText(dir.file("out/x-2.json")).find("d/x-2.wav"), std::string::npos);
    EXPECT_NE(readText(dir.file("out/x-3.json")).find(dir.file("x.wav")), std::string::npos);
}

}  // namespace

namespace {

const std::string kProbeDir = "--plugin-dir " + quoted(ZQX_PROBE_DIR);

TEST(HostileCommand, BrokenPluginsGiveOneLineNamingThem) {
    ScratchDir dir("broken");
    zqx::test::writeRawFloats(dir.file("in.f32"), {1.0f, 2.0f});
    const std::string run = "run --chain zqx_broken_probe --raw " + quoted(dir.file("in.f32"));
    const struct {
        const char* mode;
        std::string arguments;
        const char* expected;
    } cases[] = {
        {"null-info", "info zqx_broken_probe", "zqx_broken_probe': getModuleInfo returned no information object"},
        {"null-info", "info zqx_broken_probe --create", "getModuleInfo returned no information object"},
        {"null-instance", run, "zqx_broken_probe': newInstance returned no instance"},
        {"null-instance", "info zqx_broken_probe --create", "zqx_broken_probe': newInstance returned no instance"},
        {"throw-int", run, "zqx_broken_probe': newInstance threw something that is not an exception"},
        {"throw-std", run, "zqx_broken_probe rejected its parameters: broken probe gave up"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + ": " + c.arguments);
        const auto r = runZqx(kProbeDir + " " + c.arguments, std::string("ZQX_BROKEN_PROBE=") + c.mode);
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
    }
    EXPECT_EQ(runZqx(kProbeDir + " " + run).status, 0);
}

}  // namespace

namespace {

// Bad option values are usage errors: status 2 and the option named, before any work is done.
TEST(HostileCommand, BadOptionValuesAreUsageErrors) {
    const struct {
        const char* arguments;
        const char* mentioned;
    } cases[] = {
        {"extract --jobs 0 x.wav", "--jobs"},
        {"extract --rate -5 x.wav", "--rate"},
        {"extract --rate 0 x.wav", "--rate"},
        {"extract --rate 2147483647 x.wav", "--rate"},
        {"run --chain zqx_a --block -1 x.wav", "--block"},
        {"run --chain zqx_a --block 2147483648 x.wav", "--block"},
        {"run --chain zqx_a --block 4 --matrix 2x2 x.wav", "--block"},
        {"run --chain zqx_a --block 16 --global windowSize=1 x.wav",
         "--block 16 and --global windowSize=1 both set the block length; give one"},
        {"run --chain zqx_a --raw --matrix 0x3 x.f32", "--matrix '0x3'"},
        {"run --chain zqx_a --matrix 2xx x.f32", "--matrix '2xx'"},
        {"run --chain zqx_a -", "use --raw"},
        {"demo --seconds nan", "--seconds"},
        {"demo --seconds inf", "--seconds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const auto r = runZqx(c.arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.mentioned), std::string::npos) << r.err;
    }
}

TEST(HostileCommand, PluginDirMayFollowTheSubcommandAnywhere) {
    ScratchDir dir("dirs");
    zqx::test::writeRawFloats(dir.file("in.f32"), {1.0f, 2.0f});
    const std::string probe = quoted(ZQX_PROBE_DIR), in = quoted(dir.file("in.f32"));
    for (const std::string& arguments :
         {"run --plugin-dir " + probe + " --chain zqx_contract_probe:gain=2 --raw " + in,
          "run --chain zqx_contract_probe:gain=2 --plugin-dir " + probe + " --raw " + in,
          "--plugin-dir /nonexistent run --chain zqx_contract_probe:gain=2 --raw " + in + " --plugin-dir " + probe}) {
        const auto r = runZqx(arguments);
        EXPECT_EQ(r.status, 0) << arguments << "\n" << r.err;
        EXPECT_EQ(r.out, "2,4\n") << arguments;
    }
}

}  // namespace

namespace {

// A signal in the middle of a run: status 128 + signal, one line counting the completed files,
// whole sets only and no temporary file. The signal is sent once the first set has appeared.
TEST(HostileExtract, InterruptedRunsLeaveWholeSetsOnly) {
    REQUIRE_PLUGINS("zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("signal");
    const int files = 150;
    std::string inputs;
    writeTone(dir.file("0.wav"), 1.0);
    for (int i = 1; i < files; ++i) {
        fs::copy_file(dir.file("0.wav"), dir.file(std::to_string(i) + ".wav"));
        inputs += " " + quoted(dir.file(std::to_string(i) + ".wav"));
    }
    const struct {
        const char* name;
        int status;
    } signals[] = {{"INT", 130}, {"TERM", 143}};
    for (const auto& s : signals) {
        SCOPED_TRACE(s.name);
        // A background job of a script starts with SIGINT ignored, which zqx respects; env gives
        // it the default disposition, as an interactive shell would.
        const std::string out = dir.file(std::string("out-") + s.name);
        const std::string script =
            "env --default-signal=INT \"" ZQX_EXECUTABLE "\" extract --jobs 2 -o " + quoted(out) + " " + quoted(dir.file("0.wav")) + inputs +
            " 2>" + quoted(out + ".err") + " & pid=$!; " + "while [ ! -e " + quoted(out + "/0.json") +
            " ]; do sleep 0.01; done; kill -" + s.name + " $pid; wait $pid; echo $? >" + quoted(out + ".status");
        ASSERT_EQ(std::system(("sh -c " + quoted(script)).c_str()), 0);
        const int status = std::stoi(readText(out + ".status"));
        const auto errors = lines(readText(out + ".err"));
        std::size_t json = 0, csv = 0;
        for (const std::string& name : entries(out)) {
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
            if (name == "summary.csv") continue;  // the corpus table, checked below
            (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0 ? json : csv) += 1;
        }
        EXPECT_EQ(csv, 3 * json);
        // The corpus table has a heading and one row per complete set, no more and no fewer.
        EXPECT_EQ(lines(readText(out + "/summary.csv")).size(), json + 1);
        if (json == std::size_t(files) && status == 0) {
            std::printf("  (the run ended before SIG%s came)\n", s.name);
            continue;
        }
        EXPECT_EQ(status, s.status);
        ASSERT_EQ(errors.size(), 1u) << readText(out + ".err");
        EXPECT_EQ(errors[0], "zqx: stopped by SIG" + std::string(s.name) + " after completing " +
                                 std::to_string(json) + " of " + std::to_string(files) + " files");
    }
}

}  // namespace

namespace {

// Settings that once ran without bound, failed every file, or were ignored: one line before any
// file (status 1), or a warning and a normal run (status 0).
TEST(HostileExtract, SettingsAreCheckedOnceBeforeTheFirstFile) {
    REQUIRE_PLUGINS("zqx_ratefold", "zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("settings");
    writeTone(dir.file("a.wav"), 1.0);
    const std::string files = " " + quoted(dir.file("a.wav")) + " " + quoted(dir.file("a.wav")) + " " +
                              quoted(dir.file("a.wav"));
    fs::create_directory_symlink(dir.file("nowhere"), dir.file("dangling"));
    const struct {
        std::string options;
        int status;
        const char* line;
    } cases[] = {
        {"--set zqx_tonewheel:hiedge=50", 1, "zqx: zqx_tonewheel rejected its parameters: Chroma module requires"},
        {"--set zqx_pulsegrid:groupFrames=400.7", 1, "(groupFrames=400.7 is not a whole number)"},
        {"--set zqx_swellgrid:hanningLen=1000000000", 1, "hanningLen=1000000000 is beyond the bound of +-16777216"},
        {"--set zqx_ratefold:antiAliasFilter=false", 1, "takes effect only with --rate"},
        {"--rate 22050 --set zqx_ratefold:outSampRate=16000", 1, "outSampRate is set by zqx extract itself"},
        {"--set zqx_tonewheel:numMaxim=20", 0,
         "zqx: warning: zqx_tonewheel does not read parameter 'numMaxim' (it reads loedge, hiedge, earTransfer, "
         "numMaxima, useMRFFT)"},
        {"--set zqx_tonewheel:earTransfer=2.5", 0, "earTransfer=2.5 is not true or false; the module used its default"},
        {"-o " + quoted(dir.file("dangling")), 1, "is a symbolic link to"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string out = c.options.rfind("-o", 0) == 0 ? "" : " -o " + quoted(dir.file("out"));
        const auto r = runZqx("extract " + c.options + out + files);
        EXPECT_EQ(r.status, c.status);
        ASSERT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
        if (c.status != 0) {
            EXPECT_FALSE(fs::exists(dir.file("out")));
        }
        fs::remove_all(dir.file("out"));
    }
}

// Chains and globals of zqx run that once asked for gigabytes or ran for minutes.
TEST(HostileCommand, RunChainsStayWithinTheHostsBounds) {
    REQUIRE_PLUGINS("zqx_ratefold", "zqx_swellgrid");
    ScratchDir dir("bounds");
    zqx::test::writeRawFloats(dir.file("in.f32"), std::vector<float>(64, 0.5f));
    const std::string in = " --raw " + quoted(dir.file("in.f32"));
    const struct {
        std::string arguments;
        const char* line;
    } cases[] = {
        {"run --chain zqx_ratefold:inSampRate=1,outSampRate=2147483647,antiAliasFilter=true", "outSampRate=2147483647 is beyond"},
        {"run --chain zqx_ratefold:inSampRate=1,outSampRate=768000,antiAliasFilter=true",
         "zqx_ratefold set the chain beyond its bounds: global parameter windowSize=2147483647"},
        {"run --chain zqx_swellgrid:hanningLen=1000000000", "hanningLen=1000000000 is beyond"},
        {"run --chain zqx_swellgrid --global samplingRate=true", "global parameter samplingRate=true must be a whole number"},
        {"run --chain zqx_swellgrid --global samplingRate=0", "global parameter samplingRate=0 must be"},
        {"run --chain zqx_swellgrid --global windowSize=2147483647", "global parameter windowSize=2147483647 must be"},
        {"info zqx_swellgrid --global samplingRate=800000", "global parameter samplingRate=800000 must be"},
        // A block longer than the window the resampler was scaled for (found by the chain fuzzer).
        {"run --chain zqx_ratefold:inSampRate=1,outSampRate=768000 --global windowSize=1 --matrix 1x64",
         "zqx_ratefold: a block of 64 values would give 49152000, beyond the host's bound of 16777216 values per block"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const auto r = runZqx(c.arguments + (c.arguments.rfind("run", 0) == 0 ? in : ""));
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
    }
}

}  // namespace

namespace {

// The module's own message stays as it is; the host adds the plug-in and the values it concerns.
TEST(HostileCommand, ModuleMessagesAreTiedToTheirParameters) {
    REQUIRE_PLUGINS("zqx_swellgrid", "zqx_pulsegrid");
    ScratchDir dir("messages");
    zqx::test::writeRawFloats(dir.file("in.f32"), {1.0f, 2.0f, 3.0f, 4.0f});
    const std::string in = " --raw " + quoted(dir.file("in.f32"));
    const struct {
        std::string chain;
        const char* line;
    } cases[] = {
        {"zqx_swellgrid:offset=5,size=2",
         "zqx_swellgrid rejected its parameters: DynamicMidlevelModule: parameter wrong! (with offset=5, size=2)"},
        {"zqx_pulsegrid:groupFrames=400.7",
         "RhythmicMidlevelModule: parameter \"groupFrames\" not set! (groupFrames=400.7 is not a whole number)"},
        {"zqx_contract_probe:gain=1,sliceOffset=9",
         "zqx_contract_probe: subvector parameters out of range (with gain=1, sliceOffset=9)"},
    };
    for (const auto& c : cases) {
        const auto r = runZqx(kProbeDir + " run --chain " + quoted(c.chain) + in);
        EXPECT_EQ(r.status, 1) << c.chain;
        EXPECT_EQ(r.err, std::string("zqx: ") + (c.line[0] == 'R' ? "zqx_pulsegrid rejected its parameters: " : "") +
                             c.line + "\n");
    }
}

}  // namespace

namespace {

// A damaged MP3 is decoded as far as the decoder can resynchronise, without the decoder's own
// complaints on stderr.
TEST(HostileExtract, DamagedMp3GivesNoForeignDiagnostics) {
    REQUIRE_PLUGINS("zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("mp3noise");
    const std::vector<float> tone = zqx::test::sineTone(440.0, 0.5, 44100.0, 2 * 44100 * 3);
    if (!zqx::test::writeAudio(dir.file("a.mp3"), tone, 2, 44100, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III))
        GTEST_SKIP() << "libsndfile here cannot write MP3";
    std::string bytes = readText(dir.file("a.mp3"));
    std::uint32_t state = 3;
    for (int i = 0; i < 200; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[2000 + state % (bytes.size() - 2000)] = char(state >> 24);
    }
    zqx::test::writeText(dir.file("a.mp3"), bytes);
    const auto r = runZqx("extract -o " + quoted(dir.file("out")) + " " + quoted(dir.file("a.mp3")));
    EXPECT_LE(lines(r.err).size(), 2u) << r.err;
    for (const std::string& line : lines(r.err)) EXPECT_EQ(line.rfind("zqx: ", 0), 0u) << r.err;
}

}  // namespace

namespace {

// A module may hand the host's own input block back (zqx_ratefold at equal rates): the host reads
// it after the call, so the block must still exist then (the asan preset checks it).
TEST(HostileCommand, AnInputBlockHandedBackIsStillThere) {
    REQUIRE_PLUGINS("zqx_ratefold");
    ScratchDir dir("handback");
    zqx::test::writeRawFloats(dir.file("in.f32"), {1.0f, 2.0f, 3.0f});
    const auto r = runZqx("run --chain zqx_ratefold:inSampRate=8000,outSampRate=8000,antiAliasFilter=true --raw --block 2 " +
                          quoted(dir.file("in.f32")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1,2\n3\n");
}

}  // namespace

namespace {

// A Sun AU file of `channels` 16-bit channels at 8 kHz, `frames` frames of a quiet square wave.
std::string auFile(std::uint32_t channels, std::uint32_t frames) {
    auto u32 = [](std::uint32_t v) {
        return std::string{char(v >> 24), char((v >> 16) & 0xff), char((v >> 8) & 0xff), char(v & 0xff)};
    };
    std::string text = ".snd" + u32(24) + u32(channels * frames * 2) + u32(3) + u32(8000) + u32(channels);
    for (std::uint32_t f = 0; f < frames; ++f)
        for (std::uint32_t c = 0; c < channels; ++c) text += (f / 8) % 2 ? std::string{'\x10', 0} : std::string{'\xf0', 0};
    return text;
}

// More channels than the loudness meter takes (found by the fuzzer: 448 channels crashed the
// command while the refused meter was torn down): that file fails with one line naming it and
// the reason, the others are analysed, and the widest the meter takes still works.
TEST(HostileExtract, ChannelCountsBeyondTheLoudnessMetersFailOnlyTheirFile) {
    REQUIRE_PLUGINS("zqx_ratefold", "zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("channels");
    const struct {
        const char* name;
        std::uint32_t channels;
        bool analysed;
    } cases[] = {{"mono.au", 1, true}, {"c64.au", 64, true}, {"c65.au", 65, false}, {"c448.au", 448, false}};
    std::string inputs;
    for (const auto& c : cases) {
        zqx::test::writeText(dir.file(c.name), auFile(c.channels, 8000));
        inputs += " " + quoted(dir.file(c.name));
    }
    const auto r = runZqx("extract -q -o " + quoted(dir.file("out")) + inputs);
    EXPECT_EQ(r.status, 1) << r.err;
    for (const auto& c : cases) {
        const std::string stem = std::string(c.name).substr(0, std::string(c.name).size() - 3);
        EXPECT_EQ(std::filesystem::exists(dir.file("out/" + stem + ".json")), c.analysed) << c.name;
        const bool named = r.err.find(std::string(c.name) + ": loudness: libebur128 measures at most 64 channels, not " +
                                      std::to_string(c.channels)) != std::string::npos;
        EXPECT_EQ(named, !c.analysed) << r.err;
    }
    EXPECT_EQ(lines(r.err).size(), 3u) << r.err;  // two files, then "2 of 4 files failed"
}

}  // namespace
