// zqx_tonewheel in MRFFT mode, loaded as a host loads it and analysing with the real tonalscan:
// it agrees with FFT mode on tones and triads, and files every note of octaves 2 to 6 under its
// own pitch class.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numeric>
#include <string>
#include <vector>

#include "host/library_loader.h"
#include "host/parameter_map.h"

namespace {

using zqx::host::ModuleInstance;
using zqx::host::ParameterMap;
using zqx::host::PluginLibrary;

constexpr double kRate = 44100.0;
constexpr std::uint32_t kBlock = 4096;

double midiHz(int note) { return 440.0 * std::exp2((note - 69) / 12.0); }

// Sum of sines of amplitude 0.3 at the given frequencies, samples [first, first + n) of the stream.
std::vector<float> tones(const std::vector<double>& frequencies, std::size_t first, std::size_t n) {
    std::vector<float> x(n, 0.0f);
    double phase = 0.3;
    for (double f : frequencies) {
        for (std::size_t i = 0; i < n; ++i)
            x[i] += static_cast<float>(0.3 * std::sin(2.0 * M_PI * f * static_cast<double>(first + i) / kRate + phase));
        phase += 1.1;
    }
    return x;
}

class TonewheelMrfft : public ::testing::Test {
protected:
    // The chroma vector of the last of `blocks` consecutive blocks of the signal, from a fresh
    // instance (MRFFT mode needs a few blocks to fill its longest window).
    std::vector<float> lastChroma(bool useMRFFT, const std::vector<double>& frequencies, int blocks) {
        ParameterMap global{{"samplingRate", 44100}, {"windowSize", 4096}, {"overlapSize", 0}};
        ParameterMap params{{"loedge", 50},      {"hiedge", 5000},       {"earTransfer", true},
                            {"numMaxima", -1},   {"useMRFFT", useMRFFT}};
        ModuleInstance module = m_library.create(params, global);
        std::vector<float> chroma;
        for (int b = 0; b < blocks; ++b) {
            std::vector<float> x = tones(frequencies, static_cast<std::size_t>(b) * kBlock, kBlock);
            BaseMatrix<float> block(x.data(), 1, kBlock);
            DataBlock* out = nullptr;
            module->process(out, &block);
            const auto& v = *static_cast<const BaseVector<float>*>(out);
            chroma.assign(v.data, v.data + v.size);
        }
        return chroma;
    }

    // The `count` strongest classes of the peak half, as a sorted set.
    static std::vector<int> topClasses(const std::vector<float>& chroma, int count) {
        std::vector<int> classes(12);
        std::iota(classes.begin(), classes.end(), 0);
        std::stable_sort(classes.begin(), classes.end(), [&](int a, int b) { return chroma[a] > chroma[b]; });
        classes.resize(count);
        std::sort(classes.begin(), classes.end());
        return classes;
    }

    PluginLibrary m_library{ZQX_TONEWHEEL_PATH};
};

TEST_F(TonewheelMrfft, AgreesWithFftModeOnToneAndTriads) {
    const struct {
        const char* what;
        std::vector<double> frequencies;
        std::vector<int> classes;
    } cases[] = {
        {"A4", {midiHz(69)}, {9}},
        {"C major (C4 E4 G4)", {midiHz(60), midiHz(64), midiHz(67)}, {0, 4, 7}},
        // An octave up from C major: FFT mode's 2048-point frame merges A3 and C4 into one peak.
        {"A minor (A4 C5 E5)", {midiHz(69), midiHz(72), midiHz(76)}, {0, 4, 9}},
    };
    for (const auto& c : cases) {
        const int count = static_cast<int>(c.classes.size());
        const std::vector<float> fft = lastChroma(false, c.frequencies, 1);
        const std::vector<float> mrfft = lastChroma(true, c.frequencies, 9);
        ASSERT_EQ(mrfft.size(), 24u) << c.what;
        EXPECT_EQ(topClasses(fft, count), c.classes) << c.what << ", FFT mode";
        EXPECT_EQ(topClasses(mrfft, count), c.classes) << c.what << ", MRFFT mode";
        for (int k : c.classes) EXPECT_GT(mrfft[12 + k], 0.0f) << c.what << ": mean half of class " << k;
    }
}

TEST_F(TonewheelMrfft, EveryNoteOfOctavesTwoToSixLandsOnItsClass) {
    for (int note = 36; note < 96; ++note) {
        const std::vector<float> chroma = lastChroma(true, {midiHz(note)}, 6);
        ASSERT_EQ(chroma.size(), 24u);
        const auto top = std::max_element(chroma.begin(), chroma.begin() + 12) - chroma.begin();
        EXPECT_EQ(top, note % 12) << "MIDI note " << note << " (" << midiHz(note) << " Hz)";
        EXPECT_GT(chroma[note % 12], 0.25f) << "MIDI note " << note;
    }
}

}  // namespace
