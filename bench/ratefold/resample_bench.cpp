// zqx_ratefold's process() on 10 s of audio in 1024-sample blocks, filter on, beside libsamplerate's
// linear converter (no filtering) on the same input when that library is available.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "host/parameter_map.h"
#include "modules/ratefold/resample_module.h"

#if defined(ZQX_BENCH_WITH_SAMPLERATE)
#include <samplerate.h>
#endif

namespace {

constexpr std::size_t kBlock = 1024;

// 10 s of a two-tone signal with a little noise at the input rate.
const std::vector<float>& audio(int rate) {
    static std::vector<float> cache[3];
    static int rates[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        if (rates[i] == rate) return cache[i];
        if (rates[i] == 0) {
            rates[i] = rate;
            std::vector<float>& x = cache[i];
            x.resize(static_cast<std::size_t>(rate) * 10);
            unsigned noise = 12345;
            for (std::size_t t = 0; t < x.size(); ++t) {
                noise = noise * 1664525u + 1013904223u;
                const double s = static_cast<double>(t) / rate;
                x[t] = static_cast<float>(0.4 * std::sin(2 * M_PI * 440 * s) + 0.2 * std::sin(2 * M_PI * 9000 * s) +
                                          0.01 * (static_cast<double>(noise >> 8) / 16777216.0 - 0.5));
            }
            return x;
        }
    }
    return cache[0];
}

void report(benchmark::State& state, std::size_t samples) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples));
    state.counters["x_realtime"] = benchmark::Counter(10.0 * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}

void ratefoldProcess(benchmark::State& state) {
    const int in = static_cast<int>(state.range(0)), out = static_cast<int>(state.range(1));
    const std::vector<float>& x = audio(in);
    zqx::host::ParameterMap params{{"inSampRate", in}, {"outSampRate", out}, {"antiAliasFilter", true}};
    zqx::host::ParameterMap chain{{"samplingRate", in}, {"windowSize", 1024}, {"overlapSize", 0}};
    CResampleModule module(&params, &chain);
    for (auto _ : state) {
        for (std::size_t start = 0; start + kBlock <= x.size(); start += kBlock) {
            BaseVector<float> block(const_cast<float*>(x.data() + start), kBlock);
            DataBlock* result = nullptr;
            module.process(result, &block);
            benchmark::DoNotOptimize(static_cast<BaseVector<float>*>(result)->data[0]);
        }
    }
    report(state, x.size());
}
BENCHMARK(ratefoldProcess)->Args({44100, 22050})->Args({22050, 44100})->Args({44100, 48000})
    ->Unit(benchmark::kMillisecond);

#if defined(ZQX_BENCH_WITH_SAMPLERATE)
void srcLinear(benchmark::State& state) {
    const int in = static_cast<int>(state.range(0)), out = static_cast<int>(state.range(1));
    const std::vector<float>& x = audio(in);
    const double ratio = static_cast<double>(out) / in;
    std::vector<float> y(static_cast<std::size_t>(std::ceil(kBlock * ratio)) + 16);
    for (auto _ : state) {
        int error = 0;
        SRC_STATE* converter = src_new(SRC_LINEAR, 1, &error);
        for (std::size_t start = 0; start + kBlock <= x.size(); start += kBlock) {
            SRC_DATA data{};
            data.data_in = x.data() + start;
            data.input_frames = static_cast<long>(kBlock);
            data.data_out = y.data();
            data.output_frames = static_cast<long>(y.size());
            data.src_ratio = ratio;
            src_process(converter, &data);
            benchmark::DoNotOptimize(y[0]);
        }
        src_delete(converter);
    }
    report(state, x.size());
}
BENCHMARK(srcLinear)->Args({44100, 22050})->Args({22050, 44100})->Args({44100, 48000})
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
