// Gaussian smoothing of one 512 x 512 slice through libspectrel: the transfer
// function and plans are made once, each iteration is one smoothing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "spectrel.h"

namespace {

constexpr int kSide = 512;

void BM_mklsmooth_wotf_512(benchmark::State& state) {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> dist(-1000, 2000);
    std::vector<int16_t> in(kSide * kSide), out(kSide * kSide);
    for (int16_t& x : in) x = static_cast<int16_t>(dist(gen));
    mklsmooth_tfset(kSide, kSide, 0.5f, 0.2f, nullptr, 0);
    for (auto _ : state) {
        mklsmooth_wotf(in.data(), out.data(), kSide, kSide);
        benchmark::DoNotOptimize(out.data());
    }
    mklsmooth_tffree();
}
BENCHMARK(BM_mklsmooth_wotf_512)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
