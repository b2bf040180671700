// What the summary adds to `zqx extract`: the standard chain on a 10-minute synthesised piece
// (44.1 kHz mono), alone and with the summary (onset envelope, loudness meter, tempo, key, chords),
// run alternately so that both meet the same machine load. Prints the best time of each and the
// summary's share. The plug-ins are found as `zqx` finds them (beside this program in a build).
// Usage: summary_cost_bench [seconds of audio, default 600] [rounds, default 3]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "host/demo_signal.h"
#include "host/feature_chain.h"
#include "host/result_summary.h"

namespace {

using namespace zqx::host;
using Clock = std::chrono::steady_clock;

double runOnce(const FeatureChainPlan& plan, const DemoSignal& audio, bool withSummary, ResultSummary& out) {
    const auto start = Clock::now();
    ResultSummariser summariser(1, audio.sampleRate);
    FeatureChain chain(plan, audio.sampleRate, withSummary ? &summariser : nullptr);
    const std::size_t chunk = 1 << 16;
    for (std::size_t at = 0; at < audio.samples.size(); at += chunk) {
        const std::size_t n = std::min(chunk, audio.samples.size() - at);
        if (withSummary) summariser.addInputAudio(audio.samples.data() + at, n);
        chain.push(audio.samples.data() + at, n);
    }
    chain.finish();
    if (withSummary) out = summariser.summarise(chain);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
        const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
        const DemoSignal audio = synthesiseDemo(44100, seconds);
        const FeatureChainPlan plan(FeatureChainSettings{}, PluginLocator());
        double plain = 1e300, summarised = 1e300;
        ResultSummary summary;
        for (int r = 0; r < rounds; ++r) {
            plain = std::min(plain, runOnce(plan, audio, false, summary));
            summarised = std::min(summarised, runOnce(plan, audio, true, summary));
        }
        std::printf("%.0f s of audio, best of %d rounds each, alternating\n", seconds, rounds);
        std::printf("extract chain alone         %7.3f s\n", plain);
        std::printf("extract chain with summary  %7.3f s\n", summarised);
        std::printf("summary share               %6.1f %% of the chain's time\n", 100.0 * (summarised - plain) / plain);
        std::printf("(tempo %.1f BPM, key %s, %zu chord segments, %.1f LUFS)\n", summary.tempo.bpm,
                    summary.key.name.c_str(), summary.chords.size(), summary.loudness.integratedLufs);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "summary_cost_bench: %s\n", error.what());
        return 1;
    }
}
