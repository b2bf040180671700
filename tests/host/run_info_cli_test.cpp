// zqx run and zqx info end to end: the built command driving the test probe plug-ins.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/host/cli_test_support.h"

namespace {

using zqx::test::lines;
using zqx::test::quoted;
using zqx::test::runZqx;
using zqx::test::ScratchDir;
namespace fs = std::filesystem;

const std::string kProbeDir = "--plugin-dir " + quoted(ZQX_PROBE_DIR);

TEST(ZqxRun, VectorBlocksGiveOneExactLinePerBlock) {
    ScratchDir dir("run");
    zqx::test::writeRawFloats(dir.file("in.f32"), {0.1f, 0.2f, 0.3f, 1e-8f, 5.0f, 6.0f, 7.0f});
    const auto r = runZqx(kProbeDir + " run --chain 'zqx_contract_probe:gain=1' --raw --block 3 " +
                          quoted(dir.file("in.f32")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"0.100000001,0.200000003,0.300000012",
                                                      "9.99999994e-09,5,6", "7"}));
}

TEST(ZqxRun, MatrixBlocksFromStdinAndChainsOfStages) {
    ScratchDir dir("runm");
    zqx::test::writeRawFloats(dir.file("in.f32"), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    // Probe with inputKind 3 sums each row times gain; the second stage doubles every value.
    const auto r = runZqx(kProbeDir + " run --chain 'zqx_contract_probe:gain=0.5,inputKind=3 | "
                                      "zqx_contract_probe:gain=2' --raw --matrix 2x3 - < " +
                          quoted(dir.file("in.f32")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"6,15", "24,33"}));

    const auto partial = runZqx(kProbeDir + " run --chain 'zqx_contract_probe:gain=1,inputKind=3' --raw "
                                            "--matrix 5x2 " + quoted(dir.file("in.f32")));
    EXPECT_NE(partial.status, 0);
    EXPECT_NE(partial.err.find("not a whole number of 5x2 blocks"), std::string::npos) << partial.err;
    EXPECT_EQ(partial.out, "");
}

TEST(ZqxRun, ReadsAudioFilesMixedToMono) {
    ScratchDir dir("runa");
    const std::vector<float> stereo{0.5f, 0.25f, -0.5f, -0.25f, 1.0f, 0.0f, 0.125f, 0.125f};
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("a.wav"), stereo, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const auto r = runZqx(kProbeDir + " run --chain zqx_contract_probe:gain=4 --block 2 " + quoted(dir.file("a.wav")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"1.5,-1.5", "2,0.5"}));
}

TEST(ZqxRun, EmptyStreamWithEndOfStreamStillCallsTheChainOnce) {
    ScratchDir dir("rune");
    zqx::test::writeText(dir.file("none.f32"), "");
    const auto open = runZqx(kProbeDir + " run --chain zqx_contract_probe:gain=1 --raw " + quoted(dir.file("none.f32")));
    ASSERT_EQ(open.status, 0) << open.err;
    EXPECT_EQ(open.out, "");
    const auto ended = runZqx(kProbeDir + " run --end-of-stream --chain zqx_contract_probe:gain=1 --raw " +
                              quoted(dir.file("none.f32")));
    ASSERT_EQ(ended.status, 0) << ended.err;
    EXPECT_EQ(ended.out, "\n");
}

TEST(ZqxRun, PluginsAreFoundThroughThePathVariable) {
    ScratchDir dir("runp");
    zqx::test::writeRawFloats(dir.file("in.f32"), {2.0f});
    const std::string chain = " run --chain zqx_contract_probe:gain=3 --raw " + quoted(dir.file("in.f32"));
    const auto viaVariable = runZqx(chain, "ZQX_PLUGIN_PATH=/nonexistent:" + quoted(ZQX_PROBE_DIR));
    ASSERT_EQ(viaVariable.status, 0) << viaVariable.err;
    EXPECT_EQ(viaVariable.out, "6\n");
    const auto afterSubcommand = runZqx("run --plugin-dir /nonexistent --plugin-dir " + quoted(ZQX_PROBE_DIR) +
                                        " --chain zqx_contract_probe:gain=3 --raw " + quoted(dir.file("in.f32")));
    EXPECT_EQ(afterSubcommand.out, "6\n") << afterSubcommand.err;
    // The command sits beside the probes in the build tree, so it finds them without help too.
    EXPECT_EQ(runZqx(chain).out, "6\n");
}

// Every failure: non-zero status, exactly one line on stderr naming the thing, nothing on stdout.
TEST(ZqxRun, FailuresGiveOneLineNamingTheProblem) {
    ScratchDir dir("runerr");
    zqx::test::writeRawFloats(dir.file("in.f32"), {1.0f, 2.0f});
    zqx::test::writeText(dir.file("odd.f32"), "abcdef");
    zqx::test::writeText(dir.file("words.wav"), "no audio here at all, only words and more words\n");
    zqx::test::writeText(dir.file("empty.wav"), "");
    std::vector<float> samples(2000, 0.1f);
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("good.wav"), samples, 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const std::string good = zqx::test::readText(dir.file("good.wav"));
    zqx::test::writeText(dir.file("cut.wav"), good.substr(0, 1000));
    const std::string in = quoted(dir.file("in.f32"));

    const struct {
        std::string arguments;
        std::string expected;
    } cases[] = {
        {"run --chain zqx_contract_probe:gain=1 " + quoted(dir.file("missing.wav")),
         dir.file("missing.wav") + ": no such file"},
        {"run --chain zqx_contract_probe:gain=1 " + quoted(dir.file("words.wav")),
         dir.file("words.wav") + ": not a readable audio file"},
        {"run --chain zqx_contract_probe:gain=1 " + quoted(dir.file("empty.wav")),
         dir.file("empty.wav") + ": file is empty"},
        {"run --chain zqx_contract_probe:gain=1 " + quoted(dir.file("cut.wav")), dir.file("cut.wav") + ": file is truncated"},
        {"run --chain zqx_contract_probe:gain=1 --raw " + quoted(dir.file("odd.f32")), "6 bytes is not a whole number"},
        {"run --chain zqx_contract_probe:gain=1 " + quoted(dir.path().string()), dir.path().string() + ": is a folder"},
        {"run --chain 'zqx_contract_probe:gain' --raw " + in, "zqx_contract_probe: parameter 'gain' has no value"},
        {"run --chain 'zqx_contract_probe:gain=1 |' --raw " + in, "empty stage"},
        {"run --chain zqx_contract_probe:gain=1 --global 'samplingRate=x' --raw " + in,
         "--global: value 'x' of parameter 'samplingRate'"},
        {"run --chain zqx_nowhere --raw " + in, "unknown plug-in 'zqx_nowhere'"},
        {"run --chain zqx_contract_probe:gain=-2 --raw " + in,
         "zqx_contract_probe rejected its parameters: ContractProbeModule: parameter \"gain\" out of range"},
        {"run --chain zqx_contract_probe:gain=1,sliceOffset=9 --raw " + in,
         "zqx_contract_probe: subvector parameters out of range"},
        {"run --chain zqx_contract_probe:gain=1 --raw --matrix 0x3 " + in, "--matrix '0x3'"},
        {"run --chain zqx_contract_probe:gain=1 - ", "use --raw"},
        {"info zqx_nowhere", "unknown plug-in 'zqx_nowhere'"},
        {"info zqx_contract_probe gain=-1", "ContractProbeModule: parameter \"gain\" out of range"},
        {"info zqx_contract_probe gain=1=2", "value '1=2'"},
    };
    for (const auto& c : cases) {
        const auto r = runZqx(kProbeDir + " " + c.arguments);
        EXPECT_NE(r.status, 0) << c.arguments;
        EXPECT_LT(r.status, 128) << "crashed: " << c.arguments;
        EXPECT_EQ(r.out, "") << c.arguments;
        ASSERT_EQ(lines(r.err).size(), 1u) << c.arguments << "\n" << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.arguments << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("zqx: ", 0), 0u) << r.err;
    }
}

TEST(ZqxInfo, ShowsTextsAndInstanceAnswers) {
    const auto texts = runZqx(kProbeDir + " info zqx_contract_probe");
    ASSERT_EQ(texts.status, 0) << texts.err;
    EXPECT_NE(texts.out.find("description:  contract probe"), std::string::npos) << texts.out;
    EXPECT_NE(texts.out.find("date:         Dec  8 2026"), std::string::npos);
    EXPECT_EQ(texts.out.find("input kind"), std::string::npos);

    const auto plain = runZqx(kProbeDir + " info zqx_contract_probe gain=2,inputKind=3 --global samplingRate=8000");
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("input kind:        3 (RealMatrix)"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("input type name:   \"ProbeIn\""), std::string::npos);
    EXPECT_NE(plain.out.find("parameter note:    \"probe\""), std::string::npos);
    EXPECT_NE(plain.out.find("isTyped:           0"), std::string::npos);
    EXPECT_NE(plain.out.find("samplingRate=8000"), std::string::npos);
    EXPECT_NE(plain.out.find("reads (module):   gain, inputKind, sliceOffset"), std::string::npos);

    // No name tells this library's information layout; its instance does.
    const auto typed = runZqx(kProbeDir + " info zqx_typed_probe --create");
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_NE(typed.out.find("isTyped:           1"), std::string::npos) << typed.out;
    EXPECT_NE(typed.out.find("description:  typed probe, destructor first"), std::string::npos) << typed.out;
}

TEST(ZqxInfo, AnnouncesTheOutputSizeForTheBlockTheModuleReceives) {
    if (!fs::exists(fs::path(ZQX_EXECUTABLE).parent_path() / "zqx_ratefold.so")) GTEST_SKIP() << "zqx_ratefold is not built";
    // The chain's 4096-sample block at 44.1 kHz becomes 1486 samples at 16 kHz; the module rewrites
    // windowSize to 1486 for later modules, which is not the size it receives.
    const auto r = runZqx("info zqx_ratefold inSampRate=44100,outSampRate=16000");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("getOutputSize(4096): 1486 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("windowSize=1486"), std::string::npos) << r.out;
}

TEST(ZqxCommand, UsageErrorsExitNonZero) {
    EXPECT_NE(runZqx("").status, 0);
    EXPECT_NE(runZqx("frobnicate").status, 0);
    EXPECT_NE(runZqx("run --raw x").status, 0);
    EXPECT_EQ(runZqx("--help").status, 0);
}

}  // namespace
