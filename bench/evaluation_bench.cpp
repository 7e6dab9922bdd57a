// The automatic evaluation of a 40-slice phantom series (four inserts, the
// wire, the disc, white noise of 10 HU) with the default settings: the object
// finding, and the measurements with their 200 bootstrap replicates. The
// peak resident memory of the process is reported with it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include "evaluation/evaluation.h"
#include "phantom_model.h"

namespace {

constexpr double kFov = 250, kPixel = kFov / 512;
constexpr int kSlices = 40;

struct Series {
    std::vector<std::vector<int16_t>> stored;
    std::vector<halvex::SliceImage> slices;
    Series() {
        phantom::Phantom object = phantom::standardPhantom(kSlices / 2, 0, -70);
        object.inserts = phantom::ringInserts({{300, 14}, {-100, 14}, {50, 14}});
        const phantom::SliceSampler sampler(object, kFov, {0.5, 0.5});
        for (int k = 0; k < kSlices; ++k) {
            std::vector<double> hu;
            sampler.sliceHu(k, hu);
            phantom::addNoise(hu, 10, 1, k);
            phantom::toStored(hu, 1024.0, stored.emplace_back());
        }
        for (int k = 0; k < kSlices; ++k) slices.push_back({stored[size_t(k)].data(), -1024, float(k)});
    }
};

Series& series() {
    static Series s;
    return s;
}

double peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void BM_FindObjects40(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(halvex::findObjects(series().slices, float(kPixel)));
}
BENCHMARK(BM_FindObjects40)->Unit(benchmark::kMillisecond);

void BM_Evaluate40(benchmark::State& state) {
    const halvex::FoundObjects found = halvex::findObjects(series().slices, float(kPixel));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            halvex::evaluateSeries(series().slices, float(kPixel), found.objects, halvex::EvaluationParameters{}));
    state.counters["peak_MiB"] = peakMemoryMiB();
}
BENCHMARK(BM_Evaluate40)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
