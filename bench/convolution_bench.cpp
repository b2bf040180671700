// convolve and autoCorrelate by each method, to judge the thresholds that choose between them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

#include "kernels/convolution.h"
#include "kernels/detail/convolution_methods.h"
#include "kernels/detail/real_fft_plan.h"

namespace {

using Method = KernelStatus (*)(const float*, std::int32_t, const float*, std::int32_t, float*) noexcept;

std::vector<float> noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x) v = dist(rng);
    return x;
}

// Args: longer length, shorter length.
void convolveBy(benchmark::State& state, Method method) {
    const auto longer = noise(static_cast<std::size_t>(state.range(0)), 1);
    const auto shorter = noise(static_cast<std::size_t>(state.range(1)), 2);
    std::vector<float> dst(longer.size() + shorter.size() - 1);
    for (auto _ : state) {
        method(longer.data(), static_cast<std::int32_t>(longer.size()), shorter.data(),
               static_cast<std::int32_t>(shorter.size()), dst.data());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}

using AutoMethod = KernelStatus (*)(const float*, std::int32_t, float*, std::int32_t) noexcept;

// Arg: srcLen = dstLen = m.
void autoCorrelateBy(benchmark::State& state, AutoMethod method) {
    const auto x = noise(static_cast<std::size_t>(state.range(0)), 3);
    std::vector<float> dst(x.size());
    for (auto _ : state) {
        method(x.data(), static_cast<std::int32_t>(x.size()), dst.data(), static_cast<std::int32_t>(x.size()));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}

void registerAll() {
    using namespace zqx::detail;
    const std::pair<const char*, Method> methods[] = {
        {"direct", convolveDirect}, {"singleFft", convolveSingleFft}, {"overlapSave", convolveOverlapSave}};
    // 50 taps over long inputs: direct against overlap-save (and one transform).
    for (const auto& [name, method] : methods)
        for (int n : {400, 1000, 4000, 10000, 40000, 100000})
            benchmark::RegisterBenchmark((std::string("convolve/50taps/") + name).c_str(), convolveBy, method)
                ->Args({n, 50});
    // Output length near 150: two inputs of similar length (L < 3S, so one transform is the rival).
    for (const auto& [name, method] : methods) {
        if (method == convolveOverlapSave) continue;
        for (int s : {40, 50, 60, 75, 90, 120})
            benchmark::RegisterBenchmark((std::string("convolve/equal/") + name).c_str(), convolveBy, method)
                ->Args({s, s});
    }
    // Shorter input near 32 over 2000 values: direct against overlap-save.
    for (const auto& [name, method] : methods) {
        if (method == convolveSingleFft) continue;
        for (int s : {16, 24, 32, 40, 48, 64})
            benchmark::RegisterBenchmark((std::string("convolve/shorter/") + name).c_str(), convolveBy, method)
                ->Args({2000, s});
    }
    for (int m : {256, 400, 512, 600, 800, 1024, 2048, 4096, 8192}) {
        benchmark::RegisterBenchmark("autoCorrelate/direct", autoCorrelateBy, autoCorrelateDirect)->Arg(m);
        benchmark::RegisterBenchmark("autoCorrelate/fft", autoCorrelateBy, autoCorrelateFft)->Arg(m);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("active FFT passes: %s\n", zqx::detail::activeFftPasses().name);
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
