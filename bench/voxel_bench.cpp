// Whole-slice fills, copies and conversions against memcpy/memset of the same
// bytes, and the fixed cost of one eight-worker call.
// Goals on the development machine: copies and fills within 1.2x of
// memcpy/memset; the worker frame under 0.3 ms per call.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "band_frame.h"
#include "lumvek.h"

namespace {

constexpr int kSlice = 512 * 512;
constexpr size_t kSlice16Bytes = kSlice * sizeof(int16_t);
constexpr size_t kSlice32Bytes = kSlice * sizeof(float);

std::vector<int16_t> test_slice() {
    std::vector<int16_t> s(kSlice);
    uint32_t state = 12345;
    for (auto& v : s) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<int16_t>(state >> 16);
    }
    return s;
}

// Runs op once per iteration and reports the bytes it writes.
template <class Op>
void measure(benchmark::State& state, size_t bytesWritten, void* dst, Op op) {
    for (auto _ : state) {
        op();
        benchmark::DoNotOptimize(dst);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytesWritten));
}

// ---- 16-bit slice copy and fill ------------------------------------------

void BM_memcpy_slice16(benchmark::State& state) {
    const auto src = test_slice();
    std::vector<int16_t> dst(kSlice);
    measure(state, kSlice16Bytes, dst.data(), [&] { std::memcpy(dst.data(), src.data(), kSlice16Bytes); });
}
BENCHMARK(BM_memcpy_slice16)->Unit(benchmark::kMicrosecond);

void BM_var2trn(benchmark::State& state) {
    const auto src = test_slice();
    std::vector<int16_t> dst(kSlice);
    measure(state, kSlice16Bytes, dst.data(), [&] { var2trn(dst.data(), src.data(), kSlice); });
}
BENCHMARK(BM_var2trn)->Unit(benchmark::kMicrosecond);

void BM_memset_slice16(benchmark::State& state) {
    std::vector<int16_t> dst(kSlice);
    measure(state, kSlice16Bytes, dst.data(), [&] { std::memset(dst.data(), 0x0C, kSlice16Bytes); });
}
BENCHMARK(BM_memset_slice16)->Unit(benchmark::kMicrosecond);

// -500 (0xFE0C) is the workspace's "no image" fill: two different bytes.
void BM_var2clr_minus500(benchmark::State& state) {
    std::vector<int16_t> dst(kSlice);
    measure(state, kSlice16Bytes, dst.data(), [&] { var2clr(dst.data(), -500, kSlice); });
}
BENCHMARK(BM_var2clr_minus500)->Unit(benchmark::kMicrosecond);

void BM_var2clr_zero(benchmark::State& state) {
    std::vector<int16_t> dst(kSlice);
    measure(state, kSlice16Bytes, dst.data(), [&] { var2clr(dst.data(), 0, kSlice); });
}
BENCHMARK(BM_var2clr_zero)->Unit(benchmark::kMicrosecond);

// ---- 32-bit slice copy and fill ------------------------------------------

void BM_memcpy_slice32(benchmark::State& state) {
    const std::vector<int32_t> src(kSlice, 7);
    std::vector<int32_t> dst(kSlice);
    measure(state, kSlice32Bytes, dst.data(), [&] { std::memcpy(dst.data(), src.data(), kSlice32Bytes); });
}
BENCHMARK(BM_memcpy_slice32)->Unit(benchmark::kMicrosecond);

void BM_var4trn(benchmark::State& state) {
    const std::vector<int32_t> src(kSlice, 7);
    std::vector<int32_t> dst(kSlice);
    measure(state, kSlice32Bytes, dst.data(), [&] { var4trn(dst.data(), src.data(), kSlice); });
}
BENCHMARK(BM_var4trn)->Unit(benchmark::kMicrosecond);

void BM_memset_slice32(benchmark::State& state) {
    std::vector<int32_t> dst(kSlice);
    measure(state, kSlice32Bytes, dst.data(), [&] { std::memset(dst.data(), 0x3F, kSlice32Bytes); });
}
BENCHMARK(BM_memset_slice32)->Unit(benchmark::kMicrosecond);

void BM_var4clr_float(benchmark::State& state) {
    std::vector<int32_t> dst(kSlice);
    int32_t bits;
    const float one = 1.0f;
    std::memcpy(&bits, &one, sizeof bits);
    measure(state, kSlice32Bytes, dst.data(), [&] { var4clr(dst.data(), bits, kSlice); });
}
BENCHMARK(BM_var4clr_float)->Unit(benchmark::kMicrosecond);

// ---- byte order and conversion -------------------------------------------

// Swapping in place reads and writes the slice once, as memcpy of it does.
void BM_varswap(benchmark::State& state) {
    auto slice = test_slice();
    auto* bytes = reinterpret_cast<uint8_t*>(slice.data());
    measure(state, kSlice16Bytes, bytes, [&] { varswap(bytes, kSlice); });
}
BENCHMARK(BM_varswap)->Unit(benchmark::kMicrosecond);

// Reads 512 KiB and writes 1 MiB: compare with memcpy_slice32 (1 MiB).
void BM_var2tofloat(benchmark::State& state) {
    const auto src = test_slice();
    std::vector<float> dst(kSlice);
    measure(state, kSlice32Bytes, dst.data(), [&] { var2tofloat(dst.data(), src.data(), kSlice); });
}
BENCHMARK(BM_var2tofloat)->Unit(benchmark::kMicrosecond);

// ---- worker frame ----------------------------------------------------------

// Start, release and join eight workers that do nothing: what every ...ms
// export pays on top of its work.
void BM_run_bands_empty(benchmark::State& state) {
    int calls = 0;
    for (auto _ : state) {
        const bool ok = lumvek_detail::run_bands([](int, int, int) {});
        calls += ok ? 1 : 0;
    }
    benchmark::DoNotOptimize(calls);
}
BENCHMARK(BM_run_bands_empty)->Unit(benchmark::kMicrosecond);

// Eight bare std::threads (default stacks) started and joined, for comparison.
void BM_eight_threads_bare(benchmark::State& state) {
    for (auto _ : state) {
        std::thread threads[lumvek_detail::kWorkers];
        for (auto& t : threads) t = std::thread([] {});
        for (auto& t : threads) t.join();
    }
}
BENCHMARK(BM_eight_threads_bare)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
