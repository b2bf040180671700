// The loudness meter on its own thread gives what the meter gives in line, however the audio is
// cut, and can be dropped unfinished.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "host/background_loudness.h"
#include "tests/support/signals.h"

namespace {

using zqx::host::BackgroundLoudness;

TEST(BackgroundLoudness, SameFiguresAsTheMeterInLine) {
    // A step from -20 to -30 dBFS, in two channels of different level.
    std::vector<float> tone = zqx::test::sineTone(997.0, 0.1, 48000.0, 48000 * 12);
    for (std::size_t i = tone.size() / 2; i < tone.size(); ++i) tone[i] *= std::sqrt(0.1f);
    std::vector<float> stereo;
    for (float v : tone) stereo.insert(stereo.end(), {v, 0.5f * v});

    zqx::summary::LoudnessMeter inLine(2, 48000);
    inLine.add(stereo.data(), tone.size());
    const zqx::summary::Loudness expected = inLine.result();

    for (const auto& [block, ownThread] : {std::pair<std::size_t, bool>{1000, true}, {48000 * 5, true}, {1000, false}}) {
        SCOPED_TRACE(ownThread ? "own thread" : "caller's thread");
        BackgroundLoudness background(2, 48000, ownThread);
        // Many more blocks than the queue holds: the reader waits for the meter.
        for (std::size_t at = 0; at < tone.size(); at += block)
            background.add(stereo.data() + 2 * at, std::min(block, tone.size() - at));
        const zqx::summary::Loudness got = background.finish();
        EXPECT_EQ(got.integratedLufs, expected.integratedLufs) << block;
        EXPECT_EQ(got.rangeLu, expected.rangeLu) << block;
        EXPECT_EQ(got.samplePeakDbfs, expected.samplePeakDbfs) << block;
    }
}

TEST(BackgroundLoudness, DroppedUnfinishedOrRefused) {
    for (bool ownThread : {true, false}) {
        BackgroundLoudness unfinished(1, 44100, ownThread);
        const std::vector<float> x(44100, 0.25f);
        for (int i = 0; i < 20; ++i) unfinished.add(x.data(), x.size());
    }  // the destructor stops the thread without measuring the rest
    EXPECT_THROW(BackgroundLoudness(0, 44100), std::invalid_argument);
}

}  // namespace
