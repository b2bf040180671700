// zqx extract and zqx demo end to end with the real plug-ins, and zqx run on a stream-summarising
// module. Tests whose plug-ins have not been built are skipped with a message naming them.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "host/audio_file.h"
#include "tests/host/cli_test_support.h"

namespace {

using nlohmann::json;
using zqx::test::lines;
using zqx::test::quoted;
using zqx::test::readText;
using zqx::test::runZqx;
using zqx::test::ScratchDir;
namespace fs = std::filesystem;

using zqx::test::kBinDir;

std::vector<float> music(int rate, double seconds, int channels) {
    std::vector<float> x;
    for (long i = 0; i < long(seconds * rate); ++i) {
        const double t = double(i) / rate;
        const double beat = std::fmod(t, 0.5);
        const double v = 0.2 * std::sin(2 * M_PI * 440.0 * t) + 0.15 * std::sin(2 * M_PI * 659.26 * t) +
                         0.4 * std::exp(-beat / 0.05) * std::sin(2 * M_PI * 60.0 * beat);
        for (int c = 0; c < channels; ++c) x.push_back(float(v * (c ? 0.5 : 1.0)));
    }
    return x;
}

std::vector<std::string> directoryEntries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ZqxExtract, WritesJsonAndCsvPerFileWithTimeStamps) {
    REQUIRE_PLUGINS("zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("extract");
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("tune.flac"), music(48000, 5.0, 2), 2, 48000,
                                      SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    const auto r = runZqx("extract -o " + quoted(dir.file("out")) + " " + quoted(dir.file("tune.flac")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // not a terminal: no progress display
    EXPECT_EQ(directoryEntries(dir.file("out")), (std::vector<std::string>{"summary.csv", "tune.chroma.csv",
                                                                           "tune.dynamics.csv", "tune.json",
                                                                           "tune.rhythm.csv"}));

    const json doc = json::parse(readText(dir.file("out/tune.json")));
    EXPECT_EQ(doc["sampleRate"], 48000);
    EXPECT_EQ(doc["channels"], 2);
    EXPECT_DOUBLE_EQ(doc["durationSeconds"].get<double>(), 5.0);
    ASSERT_EQ(doc["modules"].size(), 3u);
    EXPECT_EQ(doc["modules"][0]["name"], "zqx_tonewheel");
    EXPECT_EQ(doc["modules"][0]["info"]["description"], "Chroma vector calculation using either fft or mrfft");
    EXPECT_EQ(doc["modules"][0]["moduleParams"]["loedge"], 100);
    EXPECT_EQ(doc["modules"][2]["moduleParams"]["size"], 24);
    EXPECT_EQ(doc["modules"][1]["globalParams"]["msPerRow"], 10);

    // The chroma module announces 12 values and returns 24: the files follow the returned blocks.
    const json& chroma = doc["features"]["chroma"];
    EXPECT_EQ(chroma["valuesPerRow"], 24);
    const std::size_t blocks = (5 * 48000 + 4095) / 4096;
    ASSERT_EQ(chroma["times"].size(), blocks);
    EXPECT_DOUBLE_EQ(chroma["times"][1].get<double>(), 4096.0 / 48000);
    EXPECT_EQ(chroma["lastBlockZeroPadding"], int(blocks * 4096 - 5 * 48000));
    const auto chromaCsv = lines(readText(dir.file("out/tune.chroma.csv")));
    ASSERT_EQ(chromaCsv.size(), blocks + 1);
    EXPECT_EQ(chromaCsv[0].rfind("time,peak_C,peak_Db", 0), 0u);
    EXPECT_EQ(std::count(chromaCsv[1].begin(), chromaCsv[1].end(), ','), 24);
    // The A (440 Hz) of the test tone is the strongest peak class.
    const auto& first = chroma["values"][3];
    EXPECT_EQ(std::max_element(first.begin(), first.begin() + 12) - first.begin(), 9);

    const json& rhythm = doc["features"]["rhythm"];
    ASSERT_EQ(rhythm["times"].size(), 1u);  // 500 frames: one group of 400
    EXPECT_EQ(rhythm["framesAfterLastGroup"], 100);
    EXPECT_EQ(rhythm["valuesPerRow"], 24 + 15 + 70);
    EXPECT_EQ(lines(readText(dir.file("out/tune.rhythm.csv"))).size(), 2u);
    const auto& dynamics = doc["features"]["dynamics"];
    ASSERT_EQ(dynamics["times"].size(), 1u);
    EXPECT_GE(dynamics["value"].get<double>(), 0.0);
    EXPECT_EQ(dynamics["bandScale"], "E^0.3 per band (E: band energy)");
    EXPECT_EQ(lines(readText(dir.file("out/tune.dynamics.csv"))).size(), 2u);

    // The summary: a kick every 0.5 s is 120 BPM; the chords tile the stream; the loudness is that
    // of both channels, the right one at half the amplitude of the left.
    const json& summary = doc["summary"];
    EXPECT_NEAR(summary["tempo"]["bpm"].get<double>(), 120.0, 1.0);
    EXPECT_TRUE(summary["tempo"]["steady"].get<bool>());
    ASSERT_GE(summary["tempo"]["candidates"].size(), 3u);
    EXPECT_EQ(summary["tempo"]["candidates"][0]["bpm"], summary["tempo"]["bpm"]);
    EXPECT_TRUE(summary["key"]["name"].is_string());
    EXPECT_EQ(summary["key"]["name"].get<std::string>(),
              summary["key"]["tonic"].get<std::string>() + " " + summary["key"]["mode"].get<std::string>());
    const json& chords = summary["chords"];
    ASSERT_FALSE(chords.empty());
    EXPECT_EQ(chords.front()["start"], 0.0);
    for (std::size_t i = 1; i < chords.size(); ++i) EXPECT_EQ(chords[i]["start"], chords[i - 1]["end"]);
    EXPECT_DOUBLE_EQ(chords.back()["end"].get<double>(), 5.0);
    EXPECT_LT(summary["loudness"]["integrated_lufs"].get<double>(), 0.0);
    // The left channel's three parts reach at most 0.75 together, the kick alone 0.4.
    EXPECT_LE(summary["loudness"]["sample_peak_dbfs"].get<double>(), 20 * std::log10(0.75));
    EXPECT_GE(summary["loudness"]["sample_peak_dbfs"].get<double>(), 20 * std::log10(0.4));
    EXPECT_NEAR(summary["dynamic_range"].get<double>(), dynamics["value"].get<double>(), 1e-4);

    const auto table = lines(readText(dir.file("out/summary.csv")));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0], "path,duration,rate,channels,tempo_bpm,tempo_confidence,tempo_steady,key,key_confidence,"
                        "integrated_lufs,range_lu,dynamic_range");
    EXPECT_EQ(table[1].rfind(dir.file("tune.flac") + ",5.000,48000,2,", 0), 0u) << table[1];
}

TEST(ZqxExtract, SummaryDoesNotChangeWithGainButItsLoudnessDoes) {
    REQUIRE_PLUGINS("zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("gain");
    // The demo's music: chords, a beat and a crescendo, at full level and 20 dB lower.
    ASSERT_EQ(runZqx("demo --seconds 12 --save-audio " + quoted(dir.file("loud.wav"))).status, 0);
    const zqx::host::AudioData loud = zqx::host::readAudioFile(dir.file("loud.wav"));
    std::vector<float> quiet = loud.samples;
    for (float& v : quiet) v *= 0.1f;
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("quiet.wav"), quiet, 1, loud.sampleRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_EQ(runZqx("extract -o " + quoted(dir.file("out")) + " " + quoted(dir.file("loud.wav")) + " " +
                     quoted(dir.file("quiet.wav")))
                  .status,
              0);
    const json a = json::parse(readText(dir.file("out/loud.json")))["summary"];
    const json b = json::parse(readText(dir.file("out/quiet.json")))["summary"];
    const double range = a["dynamic_range"].get<double>();
    EXPECT_GT(range, 0.5);
    EXPECT_NEAR(b["dynamic_range"].get<double>(), range, 0.01 * range);
    EXPECT_NEAR(a["loudness"]["integrated_lufs"].get<double>() - b["loudness"]["integrated_lufs"].get<double>(), 20.0,
                0.05);
    EXPECT_NEAR(a["tempo"]["bpm"].get<double>(), b["tempo"]["bpm"].get<double>(), 0.005 * a["tempo"]["bpm"].get<double>());
    EXPECT_EQ(a["key"]["name"], b["key"]["name"]);
    EXPECT_EQ(a["key"]["name"], "C major");

    // The table is sorted by path whatever order the inputs finished in.
    const auto table = lines(readText(dir.file("out/summary.csv")));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[1].rfind(dir.file("loud.wav") + ",", 0), 0u);
    EXPECT_EQ(table[2].rfind(dir.file("quiet.wav") + ",", 0), 0u);
}

TEST(ZqxExtract, ParallelJobsReportBadFilesAndFinishTheOthers) {
    REQUIRE_PLUGINS("zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("jobs");
    std::string inputs;
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
        ASSERT_TRUE(zqx::test::writeAudio(dir.file(name), music(44100, 4.5, 1), 1, 44100,
                                          SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        inputs += " " + quoted(dir.file(name));
    }
    zqx::test::writeText(dir.file("bad.wav"), "definitely not a sound file, only text\n");
    inputs += " " + quoted(dir.file("bad.wav"));

    const auto serial = runZqx("extract --jobs 1 -o " + quoted(dir.file("one")) + inputs);
    const auto parallel = runZqx("extract --jobs 2 -o " + quoted(dir.file("two")) + inputs);
    for (const auto* r : {&serial, &parallel}) {
        EXPECT_EQ(r->status, 1);
        const auto errors = lines(r->err);
        ASSERT_EQ(errors.size(), 2u) << r->err;
        EXPECT_EQ(errors[0], "zqx: " + dir.file("bad.wav") + ": not a readable audio file (" +
                                 errors[0].substr(errors[0].find('(') + 1));
        EXPECT_EQ(errors[1], "zqx: 1 of 4 files failed");
    }
    const auto produced = directoryEntries(dir.file("two"));
    EXPECT_EQ(produced.size(), 13u);  // three files, four outputs each, nothing for bad.wav; summary.csv
    EXPECT_EQ(produced, directoryEntries(dir.file("one")));
    for (const std::string& name : produced)
        EXPECT_EQ(readText(dir.file("one/" + name)).size(), readText(dir.file("two/" + name)).size()) << name;
    EXPECT_EQ(readText(dir.file("one/b.chroma.csv")), readText(dir.file("two/b.chroma.csv")));
    // The same rows in the same order, however the jobs finished.
    EXPECT_EQ(readText(dir.file("one/summary.csv")), readText(dir.file("two/summary.csv")));
    EXPECT_EQ(lines(readText(dir.file("one/summary.csv"))).size(), 4u);
}

TEST(ZqxExtract, RateConversionComesFirstAndRewritesTheChainParameters) {
    REQUIRE_PLUGINS("zqx_ratefold", "zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("rate");
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("hi.wav"), music(44100, 4.2, 1), 1, 44100,
                                      SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const auto r = runZqx("extract --rate 22050 -o " + quoted(dir.path().string()) + " " + quoted(dir.file("hi.wav")));
    ASSERT_EQ(r.status, 0) << r.err;
    const json doc = json::parse(readText(dir.file("hi.json")));
    EXPECT_EQ(doc["analysisSampleRate"], 22050);
    EXPECT_EQ(doc["modules"][0]["name"], "zqx_ratefold");
    EXPECT_EQ(doc["modules"][0]["moduleParams"]["outSampRate"], 22050);
    EXPECT_EQ(doc["modules"][1]["globalParams"]["samplingRate"], 22050);
    EXPECT_EQ(doc["modules"][1]["globalParams"]["windowSize"], 2048);
    EXPECT_EQ(doc["bandEnergy"]["bands"], 23);
    EXPECT_DOUBLE_EQ(doc["features"]["chroma"]["times"][1].get<double>(), 2048.0 / 22050);
}

// Every failure: one line on stderr naming the thing, status 1, and no result file.
TEST(ZqxExtract, FoldersKeepTheirSubFoldersAndSkipExistingResumesARun) {
    REQUIRE_PLUGINS("zqx_ratefold", "zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("corpus");
    for (const char* file : {"in/a/song.wav", "in/b/song.wav", "in/.hidden/song.wav"}) {
        fs::create_directories(fs::path(dir.file(file)).parent_path());
        ASSERT_TRUE(zqx::test::writeAudio(dir.file(file), music(44100, 1.0, 1), 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    }
    const std::string command = "extract -o " + quoted(dir.file("out")) + " " + quoted(dir.file("in"));
    auto r = runZqx(command);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(directoryEntries(dir.file("out")), (std::vector<std::string>{"a", "b", "summary.csv"}));
    EXPECT_EQ(directoryEntries(dir.file("out/b")),
              (std::vector<std::string>{"song.chroma.csv", "song.dynamics.csv", "song.json", "song.rhythm.csv"}));

    // A stopped run: one set is complete, the other lacks a file. Only the incomplete one is redone.
    zqx::test::writeText(dir.file("out/a/song.json"), "kept");
    fs::remove(dir.file("out/b/song.rhythm.csv"));
    r = runZqx(command + " --skip-existing");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "zqx: 1 of 2 files skipped: their results exist\n");
    EXPECT_EQ(readText(dir.file("out/a/song.json")), "kept");
    EXPECT_TRUE(fs::exists(dir.file("out/b/song.rhythm.csv")));
    // The resumed run's row for b replaced the first run's; a's row stayed.
    const auto table = lines(readText(dir.file("out/summary.csv")));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[1].rfind(dir.file("in/a/song.wav") + ",", 0), 0u);
    EXPECT_EQ(table[2].rfind(dir.file("in/b/song.wav") + ",", 0), 0u);

    fs::create_directories(dir.file("none/.hidden"));
    fs::copy_file(dir.file("in/a/song.wav"), dir.file("none/.hidden/song.wav"));
    r = runZqx("extract -o " + quoted(dir.file("out")) + " " + quoted(dir.file("none")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zqx: no audio files among the inputs\n");
}

TEST(ZqxExtract, ARateTheChromaModuleRefusesIsResampledAndTheJsonSaysSo) {
    REQUIRE_PLUGINS("zqx_ratefold", "zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("lowrate");
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("speech.wav"), music(8000, 5.0, 1), 1, 8000,
                                      SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const auto r = runZqx("extract -o " + quoted(dir.file("out")) + " " + quoted(dir.file("speech.wav")));
    ASSERT_EQ(r.status, 0) << r.err;
    const json doc = json::parse(readText(dir.file("out/speech.json")));
    EXPECT_EQ(doc["rateConversion"]["automatic"], true);
    EXPECT_EQ(doc["rateConversion"]["fromHz"], 8000);
    EXPECT_EQ(doc["rateConversion"]["toHz"], 22050);
    EXPECT_EQ(doc["analysisSampleRate"], 22050);
    EXPECT_EQ(doc["modules"][0]["name"], "zqx_ratefold");
    EXPECT_EQ(doc["features"]["rhythm"]["times"].size(), 1u);
    EXPECT_EQ(doc["features"]["dynamics"]["times"].size(), 1u);

    // At a rate the chain accepts nothing is converted.
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("music.wav"), music(22050, 1.0, 1), 1, 22050,
                                      SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    ASSERT_EQ(runZqx("extract -o " + quoted(dir.file("out")) + " " + quoted(dir.file("music.wav"))).status, 0);
    EXPECT_TRUE(json::parse(readText(dir.file("out/music.json")))["rateConversion"].is_null());
}

TEST(ZqxExtract, FailuresNameTheProblemAndLeaveNoFiles) {
    REQUIRE_PLUGINS("zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("exerr");
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("ok.wav"), music(44100, 1.0, 1), 1, 44100,
                                      SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    zqx::test::writeText(dir.file("plain"), "x");
    const std::string ok = quoted(dir.file("ok.wav"));
    const std::string out = " -o " + quoted(dir.file("out")) + " ";
    const struct {
        std::string arguments;
        std::string expected;
    } cases[] = {
        {"extract" + out + quoted(dir.file("gone.wav")), dir.file("gone.wav") + ": no such file"},
        {"extract -o " + quoted(dir.file("plain/sub")) + " " + ok, "output folder '" + dir.file("plain/sub") + "'"},
        {"extract" + out + "--set 'zqx_pulsegrid:groupFrames=0' " + ok,
         "zqx_pulsegrid rejected its parameters: RhythmicMidlevelModule: parameter \"groupFrames\" not set!"},
        {"extract" + out + "--set 'zqx_tonewheel:loedge=900,hiedge=800' " + ok,
         "zqx_tonewheel rejected its parameters: Chroma module requires parameter hiedge to be strictly greater "
         "than parameter loedge"},
        {"extract" + out + "--set 'zqx_tonewheel:loedge' " + ok, "zqx_tonewheel: parameter 'loedge' has no value"},
        {"extract" + out + "--set 'zqx_other:x=1' " + ok, "'zqx_other' is not part of the extract chain"},
    };
    for (const auto& c : cases) {
        const auto r = runZqx(c.arguments);
        EXPECT_EQ(r.status, 1) << c.arguments;
        EXPECT_EQ(r.out, "");
        const auto errors = lines(r.err);
        ASSERT_GE(errors.size(), 1u) << c.arguments;
        EXPECT_NE(errors[0].find(c.expected), std::string::npos) << c.arguments << "\n" << r.err;
        EXPECT_TRUE(!fs::exists(dir.file("out")) || fs::is_empty(dir.file("out"))) << c.arguments;
    }
}

TEST(ZqxExtract, AFailedRunKeepsTheResultsOfAnEarlierOne) {
    REQUIRE_PLUGINS("zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("keep");
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("song.wav"), music(44100, 2.0, 1), 1, 44100,
                                      SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    ASSERT_EQ(runZqx("extract -o " + quoted(dir.file("out")) + " " + quoted(dir.file("song.wav"))).status, 0);
    const std::string before = readText(dir.file("out/song.json"));
    const std::string whole = readText(dir.file("song.wav"));
    zqx::test::writeText(dir.file("song.wav"), whole.substr(0, whole.size() / 3));
    const auto r = runZqx("extract -o " + quoted(dir.file("out")) + " " + quoted(dir.file("song.wav")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir.file("song.wav") + ": file is truncated"), std::string::npos) << r.err;
    EXPECT_EQ(readText(dir.file("out/song.json")), before);
    EXPECT_EQ(directoryEntries(dir.file("out")).size(), 5u);  // no temporary file left behind
}

TEST(ZqxExtract, AMissingPluginIsNamedNotSkipped) {
    REQUIRE_PLUGINS("zqx_ratefold", "zqx_tonewheel");
    // A copy of zqx in a folder with the resampler and the chroma plug-in only: discovery beside
    // the executable. The resampler is needed for every file (a low rate brings it in).
    ScratchDir dir("lonely");
    for (const char* file : {"zqx", "zqx_ratefold.so", "zqx_tonewheel.so", "tonalscan.so"})
        if (fs::exists(kBinDir / file)) fs::copy_file(kBinDir / file, dir.path() / file);
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("ok.wav"), music(44100, 1.0, 1), 1, 44100,
                                      SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const std::string command = "ZQX_PLUGIN_PATH= " + quoted(dir.file("zqx")) + " extract -o " +
                                quoted(dir.file("out")) + " " + quoted(dir.file("ok.wav")) + " 2>" +
                                quoted(dir.file("err"));
    const int status = std::system(command.c_str());
    EXPECT_NE(status, 0);
    const auto errors = lines(readText(dir.file("err")));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("zqx: unknown plug-in 'zqx_pulsegrid'", 0), 0u) << errors[0];
    EXPECT_FALSE(fs::exists(dir.file("out/ok.json")));
}

TEST(ZqxRun, EndOfStreamLetsTheDynamicModuleAnswer) {
    REQUIRE_PLUGINS("zqx_swellgrid");
    ScratchDir dir("eos");
    zqx::test::writeRawFloats(dir.file("levels.f32"), {1, 1, 2, 2, 4, 4, 2, 2, 1, 1, 3, 3});
    const std::string chain = " run --chain zqx_swellgrid:hanningLen=1,size=2 --raw --block 2 " +
                              quoted(dir.file("levels.f32"));
    const auto open = runZqx(chain);
    ASSERT_EQ(open.status, 0) << open.err;
    EXPECT_EQ(open.out, "\n\n\n\n\n\n");
    const auto ended = runZqx(chain + " --end-of-stream");
    ASSERT_EQ(ended.status, 0) << ended.err;
    const auto out = lines(ended.out);
    ASSERT_EQ(out.size(), 6u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(out[std::size_t(i)], "");
    // Levels 1 2 4 2 1 3, window of one: the contour after the first value is 2 4 2 1 3.
    const double geometricMean = std::pow(2.0 * 4 * 2 * 1 * 3, 1.0 / 5);
    EXPECT_NEAR(std::stod(out[5]), (4.0 - 1.0) / geometricMean, 1e-5);
}

TEST(ZqxDemo, FindsTheTempoAndTheChordTones) {
    REQUIRE_PLUGINS("zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid");
    ScratchDir dir("demo");
    const auto r = runZqx("demo -o " + quoted(dir.file("out")) + " --save-audio " + quoted(dir.file("demo.wav")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("tempo          120.0 BPM"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("key            C major"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("10 of 10 chords right"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("MISMATCH"), std::string::npos);
    for (const char* line : {"C:maj    C:maj    ok", "A:min    A:min    ok", "F:maj    F:maj    ok", "G:maj    G:maj    ok"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    EXPECT_NE(r.out.find(" LUFS integrated"), std::string::npos);
    EXPECT_NE(r.out.find("dynamic range  "), std::string::npos);

    // The saved audio run through extract gives the same chroma as the demo's own run (up to the
    // 16-bit quantisation of the file): the summary and the files describe the same analysis.
    ASSERT_EQ(runZqx("extract -o " + quoted(dir.file("again")) + " " + quoted(dir.file("demo.wav"))).status, 0);
    const json own = json::parse(readText(dir.file("out/demo.json")));
    const json again = json::parse(readText(dir.file("again/demo.json")));
    EXPECT_EQ(own["features"]["chroma"]["times"], again["features"]["chroma"]["times"]);
    // What the demo printed is the summary its result file holds.
    EXPECT_EQ(own["summary"]["key"]["name"], "C major");
    EXPECT_EQ(own["summary"]["key"]["name"], again["summary"]["key"]["name"]);
    EXPECT_EQ(own["features"]["rhythm"]["times"].size(), 5u);
}

}  // namespace
