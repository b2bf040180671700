// Audio input that must be read whole or refused with a reason: MP3 files whose header only
// estimates their length, truncated files of every container that states its length, non-finite
// samples and sample rates no audio has.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "host/audio_file.h"
#include "tests/host/cli_test_support.h"
#include "tests/support/signals.h"

namespace {

using namespace zqx::host;
using zqx::test::ScratchDir;

// Writes an MP3 with libsndfile; false when this libsndfile has no MP3 encoder.
bool writeMp3(const std::string& path, const std::vector<float>& interleaved, int channels, bool constantBitrate) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = 44100;
    info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    int mode = constantBitrate ? SF_BITRATE_MODE_CONSTANT : SF_BITRATE_MODE_VARIABLE;
    sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
    const sf_count_t frames = sf_count_t(interleaved.size() / std::size_t(channels));
    const bool ok = sf_writef_float(file, interleaved.data(), frames) == frames;
    sf_close(file);
    return ok;
}

// The encoder's "Xing"/"Info" frame states the exact length; without it (as many encoders write
// their files) the decoder estimates the length from the file size and the first frame's bit rate:
// too long by the encoder's padding at a constant bit rate, anything at a variable one.
void dropLengthTag(const std::string& path) {
    std::string bytes = zqx::test::readText(path);
    for (const char* tag : {"Xing", "Info"}) {
        const auto at = bytes.find(tag);
        if (at != std::string::npos && at < 64) bytes.replace(at, 4, 4, '\0');
    }
    zqx::test::writeText(path, bytes);
}

TEST(DamagedInput, Mp3WithEstimatedLengthIsReadToTheDecodersEnd) {
    ScratchDir dir("mp3");
    const struct {
        double seconds;
        int channels;
        bool constantBitrate;
    } cases[] = {{0.5, 1, true}, {3.0, 2, true}, {10.0, 2, true}, {3.0, 2, false}, {10.0, 1, false}};
    int tested = 0;
    for (const auto& c : cases) {
        const std::size_t frames = std::size_t(c.seconds * 44100);
        const std::string name = dir.file(std::to_string(tested) + ".mp3");
        SCOPED_TRACE(name);
        std::vector<float> tone = zqx::test::sineTone(440.0, 0.5, 44100.0, frames * std::size_t(c.channels));
        if (!writeMp3(name, tone, c.channels, c.constantBitrate)) {
            std::printf("  (libsndfile here cannot write MP3; not tested)\n");
            return;
        }
        dropLengthTag(name);
        AudioReader reader(name);
        EXPECT_FALSE(reader.lengthIsExact());
        std::vector<float> mono(4096);
        std::size_t got = 0;
        while (const std::size_t n = reader.read(mono.data(), mono.size())) got += n;
        // The stripped tag frame decodes as one more frame of 1152 samples, plus priming and padding.
        EXPECT_NEAR(double(got), double(frames), 3 * 1152.0);
        EXPECT_EQ(reader.frames(), std::int64_t(got));
        ++tested;
    }
}

TEST(DamagedInput, TruncatedFilesOfExactLengthContainersAreRefused) {
    ScratchDir dir("cut");
    const std::vector<float> tone = zqx::test::sineTone(440.0, 0.5, 22050.0, 22050);
    const struct {
        const char* name;
        int format;
    } cases[] = {
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},   {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"a.au", SF_FORMAT_AU | SF_FORMAT_PCM_16},     {"a.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16},
        {"b.au", SF_FORMAT_AU | SF_FORMAT_FLOAT},      {"b.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_24},
        {"a.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16}, {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(zqx::test::writeAudio(dir.file(c.name), tone, 1, 22050, c.format));
        const std::string whole = zqx::test::readText(dir.file(c.name));
        EXPECT_EQ(readAudioFile(dir.file(c.name)).samples.size(), tone.size());
        const std::string cut = dir.file(std::string("cut-") + c.name);
        zqx::test::writeText(cut, whole.substr(0, whole.size() / 10));
        try {
            const AudioData data = readAudioFile(cut);
            ADD_FAILURE() << "accepted with " << data.samples.size() << " of " << tone.size() << " frames";
        } catch (const AudioFileError& error) {
            const std::string text = error.what();
            EXPECT_TRUE(text.find("truncated") != std::string::npos || text.find("damaged") != std::string::npos)
                << text;
            EXPECT_EQ(text.find("No Error"), std::string::npos) << text;
        }
    }
}

TEST(DamagedInput, NonFiniteSamplesAreRefusedNamingTheFirst) {
    ScratchDir dir("nan");
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const struct {
        const char* name;
        int channels;
        std::size_t index;  // into the interleaved samples
        float value;
        const char* mentioned;
    } cases[] = {
        {"nan.wav", 1, 70000, nan, "frame 70000 (3.174603 s), channel 1 is not a number"},
        {"inf.wav", 2, 5, inf, "frame 2 (0.000091 s), channel 2 is infinite"},
        {"-inf.wav", 2, 0, -inf, "frame 0 (0.000000 s), channel 1 is infinite"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> samples(100000 * std::size_t(c.channels), 0.25f);
        samples[c.index] = c.value;
        samples[c.index + 7] = nan;  // only the first one is named
        ASSERT_TRUE(zqx::test::writeAudio(dir.file(c.name), samples, c.channels, 22050,
                                          SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        try {
            readAudioFile(dir.file(c.name));
            ADD_FAILURE() << "accepted";
        } catch (const AudioFileError& error) {
            EXPECT_NE(std::string(error.what()).find(c.mentioned), std::string::npos) << error.what();
        }
    }
}

// A WAV header of one channel of 16-bit PCM at the given rate, followed by its samples.
std::string wavWithRate(std::uint32_t rate, std::size_t samples) {
    auto u32 = [](std::uint32_t v) {
        return std::string{char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff), char(v >> 24)};
    };
    const std::uint32_t dataBytes = std::uint32_t(samples * 2);
    std::string text = "RIFF" + u32(36 + dataBytes) + "WAVEfmt " + u32(16);
    text += std::string{1, 0, 1, 0} + u32(rate) + u32(rate * 2) + std::string{2, 0, 16, 0};
    return text + "data" + u32(dataBytes) + std::string(dataBytes, '\x10');
}

TEST(DamagedInput, SampleRatesNoAudioHasAreRefused) {
    ScratchDir dir("rate");
    const struct {
        std::uint32_t rate;
        bool accepted;
    } cases[] = {{1, true}, {768000, true}, {768001, false}, {2147483647u, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        const std::string path = dir.file(std::to_string(c.rate) + ".wav");
        zqx::test::writeText(path, wavWithRate(c.rate, 100));
        if (c.accepted) {
            EXPECT_EQ(readAudioFile(path).sampleRate, int(c.rate));
            continue;
        }
        try {
            readAudioFile(path);
            ADD_FAILURE() << "accepted";
        } catch (const AudioFileError& error) {
            EXPECT_NE(std::string(error.what()).find("1 Hz to 768 kHz"), std::string::npos) << error.what();
        }
    }
}

}  // namespace
