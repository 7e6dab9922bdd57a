// Time of the non-local means on one noisy slice (search radius 7, patch
// radius 1) and of the forward projection of a slice into 720 views.
//
// The slice is a water disc (0) in air (-1000) with a bone rod (+1000) and
// Gaussian noise of SD 20 everywhere, so that the patch distances spread as
// they do in a scan rather than being all 0 or all large.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "lumvek.h"

namespace {

constexpr int kSide = LUMVEK_SLICE_SIDE;

const std::vector<int16_t>& noisy_slice() {
    static const std::vector<int16_t> slice = [] {
        std::vector<int16_t> v(LUMVEK_SLICE_SIZE);
        std::mt19937 rng(11);
        std::normal_distribution<float> noise(0.0f, 20.0f);
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                const float dx = x - 255.5f, dy = y - 255.5f;
                const float rx = x - 300.0f, ry = y - 200.0f;
                float value = dx * dx + dy * dy < 230.0f * 230.0f ? 0.0f : -1000.0f;
                if (rx * rx + ry * ry < 20.0f * 20.0f) value = 1000.0f;
                v[y * kSide + x] = static_cast<int16_t>(value + noise(rng));
            }
        }
        return v;
    }();
    return slice;
}

void BM_nlm2dct_search7_patch1(benchmark::State& state) {
    const std::vector<int16_t>& in = noisy_slice();
    std::vector<int16_t> out(in.size());
    for (auto _ : state) {
        nlm2dct(out.data(), in.data(), 7, 1, 10.0f, 20.0f);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_nlm2dct_search7_patch1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_fpj_720_views(benchmark::State& state) {
    const std::vector<int16_t>& in = noisy_slice();
    std::vector<float> sino(720 * kSide);
    for (auto _ : state) {
        fpj(sino.data(), in.data(), 720, 1.0f);
        benchmark::DoNotOptimize(sino.data());
    }
}
BENCHMARK(BM_fpj_720_views)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
