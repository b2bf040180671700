// Real FFT timings: forward transform per pass variant, polar conversion through CPolarFft and plan
// creation, with FFTW's single-precision real transform beside them when it was found.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "kernels/detail/real_fft_plan.h"
#include "kernels/polar_fft.h"
#include "kernels/real_fft.h"

#if defined(ZQX_BENCH_WITH_FFTW)
#include <fftw3.h>
#endif

namespace {

constexpr int kOrders[] = {6, 8, 9, 10, 11, 12, 13};

std::vector<float> noise(std::size_t n) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x) v = dist(rng);
    return x;
}

void forward(benchmark::State& state, const zqx::detail::RealFftPasses* passes) {
    const int order = static_cast<int>(state.range(0));
    zqx::detail::overrideFftPasses(passes);
    RealFftPlan* plan = nullptr;
    realFftCreate(&plan, order, NormalizeNone, 2);
    zqx::detail::overrideFftPasses(nullptr);
    int bytes = 0;
    realFftScratchSize(plan, &bytes);
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(bytes) + 1);
    const auto x = noise(std::size_t{1} << order);
    std::vector<float> y(x.size());
    for (auto _ : state) {
        realFftForward(x.data(), y.data(), plan, scratch.data());
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    realFftDestroy(plan);
}

void computePolar(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    CPolarFft fft(order);
    const auto x = noise(std::size_t{1} << order);
    std::vector<float> magnitude(x.size() / 2), phase(x.size() / 2);
    for (auto _ : state) {
        fft.computePolar(x.data(), magnitude.data(), phase.data());
        benchmark::DoNotOptimize(magnitude.data());
        benchmark::ClobberMemory();
    }
}

void createPlan(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    for (auto _ : state) {
        RealFftPlan* plan = nullptr;
        realFftCreate(&plan, order, NormalizeInverse, 0);
        benchmark::DoNotOptimize(plan);
        realFftDestroy(plan);
    }
}

#if defined(ZQX_BENCH_WITH_FFTW)
void fftwForward(benchmark::State& state, unsigned flags) {
    const int n = 1 << state.range(0);
    float* in = fftwf_alloc_real(static_cast<std::size_t>(n));
    fftwf_complex* out = fftwf_alloc_complex(static_cast<std::size_t>(n / 2 + 1));
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, flags);
    const auto x = noise(static_cast<std::size_t>(n));
    std::copy(x.begin(), x.end(), in);
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
#endif

void registerAll() {
    std::vector<const zqx::detail::RealFftPasses*> variants = {&zqx::detail::scalarFftPasses()};
#if defined(ZQX_HAVE_SSE2_FFT)
    variants.push_back(&zqx::detail::sse2FftPasses());
#endif
#if defined(ZQX_HAVE_AVX2_FFT)
    if (__builtin_cpu_supports("avx2")) variants.push_back(&zqx::detail::avx2FftPasses());
#endif
    for (int order : kOrders) {
        const std::string n = std::to_string(1 << order);
        for (const auto* v : variants)
            benchmark::RegisterBenchmark(("realFftForward/" + std::string(v->name) + "/" + n).c_str(), forward, v)
                ->Arg(order);
#if defined(ZQX_BENCH_WITH_FFTW)
        benchmark::RegisterBenchmark(("fftwf_r2c/ESTIMATE/" + n).c_str(), fftwForward, FFTW_ESTIMATE)->Arg(order);
        benchmark::RegisterBenchmark(("fftwf_r2c/MEASURE/" + n).c_str(), fftwForward, FFTW_MEASURE)->Arg(order);
#endif
    }
    for (int order : kOrders)
        benchmark::RegisterBenchmark(("computePolar/" + std::to_string(1 << order)).c_str(), computePolar)->Arg(order);
    for (int order : {8, 9, 10, 12})
        benchmark::RegisterBenchmark(("realFftCreate/" + std::to_string(1 << order)).c_str(), createPlan)->Arg(order);
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
