// Time per output slice of the 3D cross bilateral filter (sigma_xy 1.5,
// sigma_z 1.5: a 5 x 5 x 5 window, the eight corners below the 0.01 cut) on
// eight workers and on the calling thread, on a noisy CT-like volume: a water
// disc in air with a +300 HU rod and a tilted block edge, noise SD 10 in the
// disc and in the air, stored as HU + 1024. The guide is the volume itself
// and the range sigma 30 HU, three times the noise.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "../tests/lumvek/filter_reference.cpp"
#include "lumvek.h"

namespace {

constexpr int kSliceSize = filter_reference::kSliceSize;
constexpr int kSlices = 16;
constexpr int kZ = kSlices / 2;

const std::vector<int16_t>& noisy_volume() {
    static const std::vector<int16_t> vol = [] {
        std::vector<int16_t> v = filter_reference::phantom_volume(kSlices, 1, 1024);
        std::mt19937 rng(3);
        std::normal_distribution<float> noise(0.0f, 10.0f);
        for (int16_t& x : v)
            if (x < 500) x = static_cast<int16_t>(x + std::lround(noise(rng)));
        return v;
    }();
    return vol;
}

using Bilateral3d = void (*)(const int16_t*, const int16_t*, int16_t*, int32_t, float, float, float, int32_t);

void BM_bilateral3d(benchmark::State& state, Bilateral3d filter) {
    const std::vector<int16_t>& vol = noisy_volume();
    std::vector<int16_t> out(kSliceSize);
    for (auto _ : state) filter(vol.data(), vol.data(), out.data(), kSlices, 30.0f, 1.5f, 1.5f, kZ);
    benchmark::DoNotOptimize(out.data());
}
BENCHMARK_CAPTURE(BM_bilateral3d, bilate3dctms, bilate3dctms)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_bilateral3d, bilate3dcti, bilate3dcti)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
