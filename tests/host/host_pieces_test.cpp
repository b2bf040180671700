// The pieces of the zqx command on their own: chain texts, plug-in discovery, result files and
// audio and raw input.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "host/audio_file.h"
#include "host/chain_spec.h"
#include "host/decode_ahead.h"
#include "host/output_writer.h"
#include "host/plugin_locator.h"
#include "host/raw_input.h"
#include "tests/host/cli_test_support.h"

namespace {

using namespace zqx::host;
using zqx::test::ScratchDir;

TEST(ChainSpec, ParsesStagesAndTypedValues) {
    const auto chain = parseChainSpec(" zqx_ratefold:outSampRate=22050, antiAliasFilter=true |zqx_tonewheel:"
                                      "loedge=100,hiedge=5000.5 | zqx_swellgrid ");
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[0].plugin, "zqx_ratefold");
    ASSERT_EQ(chain[0].parameters.size(), 2u);
    EXPECT_EQ(chain[0].parameters[0].first, "outSampRate");
    EXPECT_EQ(std::get<int>(chain[0].parameters[0].second), 22050);
    EXPECT_EQ(std::get<bool>(chain[0].parameters[1].second), true);
    EXPECT_EQ(chain[1].parameters[0].first, "loedge");
    EXPECT_DOUBLE_EQ(std::get<double>(chain[1].parameters[1].second), 5000.5);
    EXPECT_EQ(chain[2].plugin, "zqx_swellgrid");
    EXPECT_TRUE(chain[2].parameters.empty());

    const auto path = parseChainSpec("/opt/x/zqx_probe.so:gain=1e-3");
    EXPECT_EQ(path[0].plugin, "/opt/x/zqx_probe.so");
    EXPECT_DOUBLE_EQ(std::get<double>(path[0].parameters[0].second), 1e-3);
}

TEST(ChainSpec, RejectsBadTextNamingThePart) {
    const struct {
        const char* text;
        const char* mentioned;
    } cases[] = {
        {"", "empty"},
        {"zqx_a | | zqx_b", "empty stage"},
        {"zqx_a:gain", "'gain' has no value"},
        {"zqx_a:gain=", "'gain' has an empty value"},
        {"zqx_a:gain=fast", "'fast'"},
        {"zqx_a:gain=1,gain=2", "'gain' is given twice"},
        {"zqx_a:ga in=1", "'ga in'"},
        {"zqx_a:gain=1,,x=2", "empty item"},
        {":gain=1", "no plug-in name"},
        {"zqx a:gain=1", "bad plug-in name"},
    };
    for (const auto& c : cases) {
        try {
            parseChainSpec(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const ChainSpecError& error) {
            EXPECT_NE(std::string(error.what()).find(c.mentioned), std::string::npos)
                << c.text << " -> " << error.what();
        }
    }
}

TEST(PluginLocator, SearchesInOrderAndNamesEveryFolderWhenMissing) {
    ScratchDir first("loc1"), second("loc2"), third("loc3");
    const std::string file = std::string("zqx_thing") + pluginFileSuffix();
    zqx::test::writeText(second.file(file), "x");
    zqx::test::writeText(third.file(file), "x");

    const PluginLocator locator({first.path().string()}, second.path().string() + ":" + third.path().string(),
                                "/nonexistent/bin");
    EXPECT_EQ(locator.find("zqx_thing"), second.file(file));
    EXPECT_EQ(locator.searchPath()[0], first.path().string());
    EXPECT_EQ(locator.searchPath()[3], "/nonexistent/bin");
    EXPECT_EQ(locator.searchPath()[4], "/nonexistent/lib/zqx");

    const PluginLocator explicitFirst({third.path().string()}, second.path().string(), "");
    EXPECT_EQ(explicitFirst.find("zqx_thing"), third.file(file));
    EXPECT_EQ(explicitFirst.find(second.file(file)), second.file(file));

    try {
        locator.find("zqx_absent");
        FAIL();
    } catch (const PluginNotFoundError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("zqx_absent"), std::string::npos);
        EXPECT_NE(text.find(first.path().string()), std::string::npos);
        EXPECT_NE(text.find(third.path().string()), std::string::npos);
    }
    EXPECT_THROW(locator.find("/nonexistent/zqx_thing.so"), PluginNotFoundError);
}

std::vector<std::string> entries(const ScratchDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(OutputWriter, BatchAppearsWholeOrNotAtAll) {
    ScratchDir dir("out");
    zqx::test::writeText(dir.file("a.csv"), "old");
    OutputBatch good;
    good.add(dir.file("a.csv"), "new a");
    good.add(dir.file("b.json"), "new b");
    good.commit();
    EXPECT_EQ(zqx::test::readText(dir.file("a.csv")), "new a");
    EXPECT_EQ(zqx::test::readText(dir.file("b.json")), "new b");
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"a.csv", "b.json"}));

    // The second file cannot be written: nothing changes and no temporary file stays.
    OutputBatch bad;
    bad.add(dir.file("a.csv"), "newer a");
    bad.add(dir.file("missing/c.csv"), "c");
    EXPECT_THROW(bad.commit(), OutputError);
    EXPECT_EQ(zqx::test::readText(dir.file("a.csv")), "new a");
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"a.csv", "b.json"}));
}

TEST(OutputWriter, RefusesFoldersThatCannotHoldFiles) {
    ScratchDir dir("outdir");
    zqx::test::writeText(dir.file("plain"), "x");
    EXPECT_THROW(ensureWritableDirectory(dir.file("plain")), OutputError);
    EXPECT_THROW(ensureWritableDirectory(dir.file("plain/sub")), OutputError);
    ensureWritableDirectory(dir.file("new/deeper"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("new/deeper")));
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"new", "plain"}));
}

// Jobs writing results of inputs in the same sub-folder create it at the same moment (threads of
// zqx extract --jobs, or processes of a corpus run); the one that finds it made by another must
// go on, not fail the input.
TEST(OutputWriter, FolderCreatedConcurrentlyByOthersIsAccepted) {
    ScratchDir dir("racedir");
    constexpr int kFolders = 40, kThreads = 4;
    std::atomic<int> failures{0};
    for (int f = 0; f < kFolders; ++f) {
        const std::string target = dir.file("f" + std::to_string(f) + "/a/b");
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&] {
                ++ready;
                while (ready < kThreads) std::this_thread::yield();
                try {
                    ensureWritableDirectory(target);
                } catch (const OutputError&) {
                    ++failures;
                }
            });
        for (std::thread& thread : threads) thread.join();
    }
    EXPECT_EQ(failures, 0);
}

TEST(OutputWriter, FloatsPrintRoundTripExact) {
    for (float v : {0.1f, 1.0f / 3.0f, -1e-30f, 3.4028235e38f, 1.17549435e-38f, 0.0f, 16777217.0f}) {
        const std::string text = formatFloat(v);
        EXPECT_EQ(std::strtof(text.c_str(), nullptr), v) << text;
    }
    EXPECT_EQ(formatFloat(0.1f), "0.100000001");
}

TEST(AudioReader, ReadsCommonFormatsAndMixesToMono) {
    ScratchDir dir("audio");
    const int rate = 22050;
    std::vector<float> stereo;
    for (int i = 0; i < 1000; ++i) {
        const float left = 0.5f * float(std::sin(0.05 * i));
        stereo.push_back(left);
        stereo.push_back(i % 2 ? 0.25f : -0.25f);
    }
    const struct {
        const char* name;
        int format;
        double tolerance;
    } cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0 / 32768},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0.0},
        {"pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1.0 / 8388608},
        {"pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1.0 / 32768},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(zqx::test::writeAudio(dir.file(c.name), stereo, 2, rate, c.format));
        AudioReader reader(dir.file(c.name));
        EXPECT_EQ(reader.sampleRate(), rate);
        EXPECT_EQ(reader.channels(), 2);
        EXPECT_EQ(reader.frames(), 1000);
        std::vector<float> mono(1000);
        std::size_t got = 0;
        // Odd chunk sizes exercise the chunk boundaries.
        while (std::size_t n = reader.read(mono.data() + got, std::min<std::size_t>(77, 1000 - got))) got += n;
        ASSERT_EQ(got, 1000u);
        EXPECT_EQ(reader.read(mono.data(), 10), 0u);
        for (int i = 0; i < 1000; ++i)
            ASSERT_NEAR(mono[i], 0.5 * (stereo[2 * i] + stereo[2 * i + 1]), c.tolerance + 1e-7) << i;
    }
}

TEST(AudioReader, ReadsLossyFormatsThisLibsndfileCanWrite) {
    ScratchDir dir("lossy");
    std::vector<float> tone(44100);
    for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * float(std::sin(2 * M_PI * 440.0 * double(i) / 44100));
    const struct {
        const char* name;
        int format;
    } cases[] = {{"tone.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}, {"tone.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!zqx::test::writeAudio(dir.file(c.name), tone, 1, 44100, c.format)) {
            std::printf("  (libsndfile here cannot write %s; not tested)\n", c.name);
            continue;
        }
        const AudioData data = readAudioFile(dir.file(c.name));
        EXPECT_EQ(data.sampleRate, 44100);
        // Encoders add priming and padding; the length and the level survive.
        EXPECT_NEAR(double(data.samples.size()), 44100.0, 3000.0);
        double energy = 0.0;
        for (float v : data.samples) energy += double(v) * v;
        EXPECT_NEAR(std::sqrt(energy / double(data.samples.size())), 0.5 / std::sqrt(2.0), 0.03);
    }
}

TEST(AudioReader, RefusesFilesThatAreNotWholeAudio) {
    ScratchDir dir("bad");
    std::vector<float> samples(4000, 0.25f);
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("good.wav"), samples, 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const std::string good = zqx::test::readText(dir.file("good.wav"));
    zqx::test::writeText(dir.file("cut.wav"), good.substr(0, good.size() / 2));
    zqx::test::writeText(dir.file("header.wav"), good.substr(0, 20));
    zqx::test::writeText(dir.file("empty.wav"), "");
    zqx::test::writeText(dir.file("text.wav"), "this is not audio, just some words in a file\n");
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("silent.wav"), {}, 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    std::filesystem::create_directories(dir.file("folder.wav"));

    const std::pair<const char*, const char*> cases[] = {
        {"missing.wav", "no such file"},     {"cut.wav", "truncated"},
        {"header.wav", "not a readable audio file"}, {"empty.wav", "file is empty"},
        {"text.wav", "not a readable audio file"},   {"silent.wav", "no audio samples"},
        {"folder.wav", "is a folder"},
    };
    std::vector<std::pair<const char*, const char*>> all(std::begin(cases), std::end(cases));
    // Permission bits do not stop root, so the unreadable case only runs for other users.
    if (::geteuid() != 0) {
        ASSERT_TRUE(zqx::test::writeAudio(dir.file("locked.wav"), samples, 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        std::filesystem::permissions(dir.file("locked.wav"), std::filesystem::perms::none);
        all.emplace_back("locked.wav", "cannot be opened for reading");
    }
    for (const auto& c : all) {
        try {
            readAudioFile(dir.file(c.first));
            ADD_FAILURE() << "accepted " << c.first;
        } catch (const AudioFileError& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find(dir.file(c.first)), std::string::npos) << text;
            EXPECT_NE(text.find(c.second), std::string::npos) << text;
        }
    }
}

// Decoding on its own thread hands over what the reader gives, in order, whatever the chunk size and
// depth; an early stop does not hang.
TEST(DecodeAhead, GivesTheReadersSamplesInOrder) {
    ScratchDir dir("ahead");
    std::vector<float> stereo(2 * 30011);
    for (std::size_t i = 0; i < stereo.size(); ++i) stereo[i] = float(std::sin(0.001 * double(i * i % 100003)));
    ASSERT_TRUE(zqx::test::writeAudio(dir.file("a.wav"), stereo, 2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const std::vector<float> want = readAudioFile(dir.file("a.wav")).samples;
    for (const auto& [chunk, depth] : {std::pair<std::size_t, std::size_t>{1000, 1}, {4096, 2}, {65536, 3}}) {
        AudioReader reader(dir.file("a.wav"));
        DecodeAhead decoder(reader, chunk, depth);
        std::vector<float> got, piece, frames, gotFrames;
        while (decoder.next(piece, frames)) {
            EXPECT_LE(piece.size(), chunk);
            EXPECT_EQ(frames.size(), 2 * piece.size());
            got.insert(got.end(), piece.begin(), piece.end());
            gotFrames.insert(gotFrames.end(), frames.begin(), frames.end());
        }
        EXPECT_EQ(got, want) << chunk << " frames, " << depth << " ahead";
        EXPECT_EQ(gotFrames, stereo) << chunk << " frames, " << depth << " ahead";
        EXPECT_FALSE(decoder.next(piece, frames)) << "stays at the end";
    }

    AudioReader early(dir.file("a.wav"));
    { DecodeAhead stopped(early, 100, 1); }
}

TEST(RawInput, ReadsLittleEndianFloatsAndRefusesPartialOnes) {
    ScratchDir dir("raw");
    const std::vector<float> values{1.5f, -0.0f, 3.0e-40f, 7.0f};
    zqx::test::writeRawFloats(dir.file("v.f32"), values);
    const std::vector<float> back = readRawFloats(dir.file("v.f32"));
    ASSERT_EQ(back.size(), values.size());
    EXPECT_EQ(std::memcmp(back.data(), values.data(), 16), 0);
    zqx::test::writeText(dir.file("odd.f32"), "abcde");
    EXPECT_THROW(readRawFloats(dir.file("odd.f32")), RawInputError);
    EXPECT_THROW(readRawFloats(dir.file("none.f32")), RawInputError);
}

}  // namespace
