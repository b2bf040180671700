// What the summary adds to `zqx extract`: the standard chain on a 10-minute synthesised piece
// (44.1 kHz mono), alone and with the summary (onset envelope, loudness meter, tempo, key, chords),
// run alternately so that both meet the same machine load. Prints the best wall time of each (the
// loudness meter runs on a second thread, so with a core to spare it overlaps the chain) and the
// best processor time (all threads: what the summary costs a machine whose cores are all busy,
// as with --jobs equal to the core count). The plug-ins are found as `zqx` finds them (beside this
// program in a build).
// The chain runs as `zqx extract` runs one file on a machine with a core to spare: its chroma
// stage on a thread of its own (pass "serial" as the third argument for one thread).
// Usage: summary_cost_bench [seconds of audio, default 600] [rounds, default 3] [serial]
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "host/demo_signal.h"
#include "host/feature_chain.h"
#include "host/result_summary.h"

namespace {

using namespace zqx::host;
struct Times {
    double wall = 1e300;
    double processor = 1e300;
};

void runOnce(const FeatureChainPlan& plan, const DemoSignal& audio, bool withSummary, bool overlap,
             ResultSummary& out, Times& best) {
    const auto wallStart = std::chrono::steady_clock::now();
    const std::clock_t start = std::clock();
    ResultSummariser summariser(1, audio.sampleRate);
    FeatureChain chain(plan, audio.sampleRate, withSummary ? &summariser : nullptr, false);
    if (overlap) chain.overlapSampleStages();
    const std::size_t chunk = 1 << 16;
    for (std::size_t at = 0; at < audio.samples.size(); at += chunk) {
        const std::size_t n = std::min(chunk, audio.samples.size() - at);
        if (withSummary) summariser.addInputAudio(audio.samples.data() + at, n);
        chain.push(audio.samples.data() + at, n);
    }
    chain.finish();
    if (withSummary) out = summariser.summarise(chain);
    best.processor = std::min(best.processor, double(std::clock() - start) / CLOCKS_PER_SEC);
    best.wall = std::min(best.wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
        const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
        const bool overlap = !(argc > 3 && std::string(argv[3]) == "serial");
        const DemoSignal audio = synthesiseDemo(44100, seconds);
        const FeatureChainPlan plan(FeatureChainSettings{}, PluginLocator());
        Times plain, summarised;
        ResultSummary summary;
        for (int r = 0; r < rounds; ++r) {
            runOnce(plan, audio, false, overlap, summary, plain);
            runOnce(plan, audio, true, overlap, summary, summarised);
        }
        std::printf("%.0f s of audio, best of %d rounds each, alternating; chroma stage %s\n", seconds, rounds,
                    overlap ? "on a thread of its own" : "on the chain's thread");
        std::printf("                            wall s   processor s\n");
        std::printf("extract chain alone         %7.3f   %7.3f\n", plain.wall, plain.processor);
        std::printf("extract chain with summary  %7.3f   %7.3f\n", summarised.wall, summarised.processor);
        std::printf("summary share               %6.1f %%  %6.1f %%\n", 100.0 * (summarised.wall - plain.wall) / plain.wall,
                    100.0 * (summarised.processor - plain.processor) / plain.processor);
        std::printf("(tempo %.1f BPM, key %s, %zu chord segments, %.1f LUFS)\n", summary.tempo.bpm,
                    summary.key.name.c_str(), summary.chords.size(), summary.loudness.integratedLufs);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "summary_cost_bench: %s\n", error.what());
        return 1;
    }
}
