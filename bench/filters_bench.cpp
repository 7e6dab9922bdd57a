// Time per output slice of the 3D filters of the noise reduction, and of the
// literal reference versions for comparison, on a noisy CT-like volume with
// real edges: a water disc in air with a +300 HU rod and a tilted block
// edge, noise SD 10, stored as HU + 1024. The along-edge filters run with
// the guide the program uses (a smoothed copy) and its gradients.
//
// The reference along-edge filters take seconds per slice, so they run over
// 16 rows spread over the slice; their s_per_slice counter scales that to a
// whole slice.
//
// The phantom's air is noise-free, so its flat pixels all share one spatial
// weight per offset; in a scan the air is noisy too. The ..._noisy_air runs
// give it noise of SD 10 (and a guide and gradients to match).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "../tests/lumvek/filter_reference.cpp"
#include "lumvek.h"

namespace {

constexpr int kSide = filter_reference::kSide;
constexpr int kSliceSize = filter_reference::kSliceSize;
constexpr int kSlices = 16;
constexpr int kZ = kSlices / 2;
constexpr int kRadius = 6;
constexpr int kReferenceRows = 16;

struct Volume {
    explicit Volume(bool noisyAir = false)
        : in(filter_reference::phantom_volume(kSlices, 1, 1024)), guide(in.size()), g(3 * kSliceSize) {
        if (noisyAir) {
            std::mt19937 rng(3);
            std::normal_distribution<float> noise(0.0f, 10.0f);
            for (int16_t& v : in)
                if (v < 500) v = static_cast<int16_t>(v + std::lround(noise(rng)));
        }
        for (int z = 0; z < kSlices; ++z)
            boxfilter3dctms(&guide[static_cast<std::size_t>(z) * kSliceSize], in.data(), kSlices, 1.2f, 1.2f, 0.0f, z);
        vecana3dms(gx(), gy(), gz(), guide.data(), kSide, kSide, kSlices, 2, 3, kZ);
    }
    float* gx() { return g.data(); }
    float* gy() { return g.data() + kSliceSize; }
    float* gz() { return g.data() + 2 * kSliceSize; }

    std::vector<int16_t> in, guide;
    std::vector<float> g;
};

Volume& volume(bool noisyAir = false) {
    static Volume plain, noisy(true);
    return noisyAir ? noisy : plain;
}

// E1 = 0.5 × edgeLow 20, E2 = edgeHigh 60, B = 18, T = 0.6, spread radius 3,
// Q1 = 0.3, Q2 = 2.0.
const float kPrm[10] = {10.0f, 60.0f, 0.0f, 0.0f, 0.0f, 18.0f, 0.6f, 3.0f, 0.3f, 2.0f};

// What the noise reduction passes with its default parameters (edge 70/150,
// CT1 150, CT2 100, two passes): B = 1.5 × 150 in the first pass; in the
// second E1 = 35, E2 = 150, B = 1.2 × 100, Q1 = 0.2, Q2 = 1.0. Range scales
// this wide seldom give a weight of 0, so these runs show the pipeline's cost.
constexpr float kDefaultFirstRangeSigma = 225.0f;
const float kDefaultPrm[10] = {35.0f, 150.0f, 0.0f, 0.0f, 0.0f, 120.0f, 0.6f, 3.0f, 0.2f, 1.0f};

void per_slice(benchmark::State& state, int rows) {
    state.counters["s_per_slice"] = benchmark::Counter(
        static_cast<double>(rows) / kSide, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_boxfilter3dctms(benchmark::State& state) {
    const float sigma = static_cast<float>(state.range(0)) / 10.0f;
    Volume& v = volume();
    std::vector<int16_t> out(kSliceSize);
    for (auto _ : state) boxfilter3dctms(out.data(), v.in.data(), kSlices, sigma, sigma, 0.0f, kZ);
    per_slice(state, kSide);
}
BENCHMARK(BM_boxfilter3dctms)->Arg(12)->Arg(18)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_reference_boxfilter3dctms(benchmark::State& state) {
    const float sigma = static_cast<float>(state.range(0)) / 10.0f;
    Volume& v = volume();
    std::vector<int16_t> out(kSliceSize);
    for (auto _ : state) filter_reference::boxfilter3dctms(out.data(), v.in.data(), kSlices, sigma, sigma, 0.0f, kZ);
    per_slice(state, kSide);
}
BENCHMARK(BM_reference_boxfilter3dctms)->Arg(12)->Arg(18)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_vecana3dms(benchmark::State& state) {
    Volume& v = volume();
    std::vector<float> g(3 * kSliceSize);
    for (auto _ : state)
        vecana3dms(g.data(), g.data() + kSliceSize, g.data() + 2 * kSliceSize, v.guide.data(), kSide, kSide, kSlices, 2,
                   3, kZ);
    per_slice(state, kSide);
}
BENCHMARK(BM_vecana3dms)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_reference_vecana3d(benchmark::State& state) {
    Volume& v = volume();
    std::vector<float> g(3 * kSliceSize);
    for (auto _ : state)
        filter_reference::vecana3d(g.data(), g.data() + kSliceSize, g.data() + 2 * kSliceSize, v.guide.data(), kSlices,
                                   2, 3, kZ);
    per_slice(state, kSide);
}
BENCHMARK(BM_reference_vecana3d)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_alongblfilter3dms(benchmark::State& state, bool noisyAir, float rangeSigma) {
    Volume& v = volume(noisyAir);
    std::vector<int16_t> out(v.in.size());
    for (auto _ : state)
        alongblfilter3dms(out.data(), v.in.data(), v.guide.data(), v.gx(), v.gy(), v.gz(), kSide, kSide, kSlices,
                          kRadius, 0.6f, rangeSigma, kZ);
    per_slice(state, kSide);
}
BENCHMARK_CAPTURE(BM_alongblfilter3dms, phantom, false, 15.0f)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_alongblfilter3dms, noisy_air, true, 15.0f)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_alongblfilter3dms, program_defaults, true, kDefaultFirstRangeSigma)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_reference_alongblfilter3d(benchmark::State& state) {
    Volume& v = volume();
    std::vector<int16_t> out(v.in.size());
    for (auto _ : state)
        for (int y = kSide / kReferenceRows / 2; y < kSide; y += kSide / kReferenceRows)
            filter_reference::alongblfilter3d(out.data(), v.in.data(), v.guide.data(), v.gx(), v.gy(), v.gz(), kSlices,
                                              kRadius, 0.6f, 15.0f, kZ, y, y + 1);
    per_slice(state, kReferenceRows);
}
BENCHMARK(BM_reference_alongblfilter3d)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_boxblfilter3dal1ms(benchmark::State& state, bool noisyAir, const float* prm) {
    Volume& v = volume(noisyAir);
    std::vector<int16_t> out(v.in.size());
    for (auto _ : state)
        boxblfilter3dal1ms(out.data(), v.in.data(), v.guide.data(), v.gx(), v.gy(), v.gz(), kSide, kSide, kSlices,
                           kRadius, prm, kZ);
    per_slice(state, kSide);
}
BENCHMARK_CAPTURE(BM_boxblfilter3dal1ms, phantom, false, kPrm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_boxblfilter3dal1ms, noisy_air, true, kPrm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_boxblfilter3dal1ms, program_defaults, true, kDefaultPrm)->Unit(benchmark::kMillisecond)->UseRealTime();

// The single-threaded twin: the speed-up over the reference per core.
void BM_boxblfilter3dal1(benchmark::State& state, bool noisyAir, const float* prm) {
    Volume& v = volume(noisyAir);
    std::vector<int16_t> out(v.in.size());
    for (auto _ : state)
        boxblfilter3dal1(out.data(), v.in.data(), v.guide.data(), v.gx(), v.gy(), v.gz(), kSide, kSide, kSlices,
                         kRadius, prm, kZ);
    per_slice(state, kSide);
}
BENCHMARK_CAPTURE(BM_boxblfilter3dal1, phantom, false, kPrm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_boxblfilter3dal1, noisy_air, true, kPrm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_boxblfilter3dal1, program_defaults, true, kDefaultPrm)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_reference_boxblfilter3dal1(benchmark::State& state) {
    Volume& v = volume();
    std::vector<int16_t> out(v.in.size());
    for (auto _ : state)
        for (int y = kSide / kReferenceRows / 2; y < kSide; y += kSide / kReferenceRows)
            filter_reference::boxblfilter3dal1(out.data(), v.in.data(), v.guide.data(), v.gx(), v.gy(), v.gz(), kSlices,
                                               kRadius, kPrm, kZ, y, y + 1);
    per_slice(state, kReferenceRows);
}
BENCHMARK(BM_reference_boxblfilter3dal1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
