// Display conversion of one 512 x 512 slice, as every repaint of a view does.
// Goals on the development machine: ct2trn under 0.25 ms, ct2trn2x under 0.5 ms.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "lumvek.h"

namespace {

constexpr int kSide = 512;

// A slice spread over the whole 16-bit range so that the window cuts off both
// ends and the interpolating branch is taken for part of the pixels.
std::vector<int16_t> test_slice() {
    std::vector<int16_t> s(kSide * kSide);
    uint32_t state = 12345;
    for (auto& v : s) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<int16_t>(static_cast<int>(state >> 16) % 2400 - 200);
    }
    return s;
}

void BM_ct2trn(benchmark::State& state) {
    const auto src = test_slice();
    std::vector<uint8_t> dst(kSide * kSide);
    for (auto _ : state) {
        ct2trn(src.data(), dst.data(), 400, 40, -1024);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ct2trn)->Unit(benchmark::kMicrosecond);

void BM_ct2trn2x(benchmark::State& state) {
    const auto src = test_slice();
    std::vector<uint8_t> dst(kSide * kSide);
    for (auto _ : state) {
        ct2trn2x(src.data(), dst.data(), 400, 40, -1024, 128, 128);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ct2trn2x)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
