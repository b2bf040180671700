// Test signals shared by the suites: seeded noise and sums of sines.
#pragma once

#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

namespace zqx::test {

// n values uniform in [-1, 1), the same for the same seed on every platform's mt19937.
inline std::vector<float> uniformNoise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x) v = dist(rng);
    return x;
}

// amplitude * sin(2 pi f t) at `rate` samples per second, computed in double.
inline std::vector<float> sineTone(double hz, double amplitude, double rate, std::size_t n) {
    const double kTwoPi = 6.283185307179586;
    std::vector<float> x(n);
    for (std::size_t t = 0; t < n; ++t)
        x[t] = static_cast<float>(amplitude * std::sin(kTwoPi * hz * static_cast<double>(t) / rate));
    return x;
}

}  // namespace zqx::test
