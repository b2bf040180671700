// zqx_pulsegrid timings: one process() call on a band matrix of typical and of large size.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "host/parameter_map.h"
#include "modules/pulsegrid/rhythmic_midlevel_module.h"

namespace {

// Arguments: rows (frames of 10 ms, also groupFrames), bands.
void process(benchmark::State& state) {
    const auto rows = static_cast<std::uint32_t>(state.range(0));
    const auto bands = static_cast<std::uint32_t>(state.range(1));
    zqx::host::ParameterMap moduleParams{{"groupFrames", static_cast<int>(rows)}, {"hanningLen", 25},
                                         {"onsetThresh", 0.05}, {"loBPM", 60}, {"hiBPM", 200}};
    zqx::host::ParameterMap globalParams;
    RhythmicMidlevelModule module(&moduleParams, &globalParams);

    std::mt19937 rng(1);
    std::uniform_real_distribution<float> level(0.0f, 1.0f);
    std::vector<float> cells(static_cast<std::size_t>(rows) * bands);
    for (float& v : cells) v = level(rng);
    const BaseMatrix<float> input(cells.data(), rows, bands);

    DataBlock* output = nullptr;
    for (auto _ : state) {
        module.process(output, &input);
        benchmark::DoNotOptimize(output);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows) * bands);
}

BENCHMARK(process)->Args({400, 20})->Args({3000, 40})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
