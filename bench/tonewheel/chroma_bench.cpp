// CChromaModule::process per block of 4096 samples at 44100 Hz, in FFT mode (mrfft:0) and in MRFFT
// mode through tonalscan (mrfft:1), and how many times faster than real time that is.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "host/parameter_map.h"
#include "modules/tonewheel/chroma_module.h"

namespace {

void chromaProcessBlock(benchmark::State& state) {
    constexpr std::uint32_t kBlock = 4096;
    constexpr double kRate = 44100.0;
    zqx::host::ParameterMap params{{"loedge", 100}, {"hiedge", 5000}, {"earTransfer", true},
                                   {"numMaxima", -1}, {"useMRFFT", state.range(0) != 0}};
    zqx::host::ParameterMap global{{"samplingRate", 44100}, {"windowSize", 4096}, {"overlapSize", 0}};
    CChromaModule module(&params, &global);

    // An A-minor triad with a little noise-like content, so that peak picking has real work.
    std::vector<float> samples(kBlock);
    for (std::uint32_t i = 0; i < kBlock; ++i)
        samples[i] = static_cast<float>(std::sin(2 * M_PI * 440.0 * i / kRate) +
                                        std::sin(2 * M_PI * 523.25 * i / kRate) +
                                        std::sin(2 * M_PI * 659.26 * i / kRate) + 0.01 * std::sin(0.37 * i * i));
    BaseMatrix<float> block(samples.data(), 1, kBlock);
    DataBlock* out = nullptr;
    // The first block builds the FFT object and the tables; in MRFFT mode a few fill the history.
    for (int i = 0; i < 10; ++i) module.process(out, &block);

    for (auto _ : state) {
        module.process(out, &block);
        benchmark::DoNotOptimize(out);
    }
    // Seconds of audio per second of processing.
    state.counters["realtime_factor"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
}
BENCHMARK(chromaProcessBlock)->ArgName("mrfft")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
