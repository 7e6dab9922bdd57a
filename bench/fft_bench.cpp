// The library's FFT beside FFTW (single precision, in place, planned with
// FFTW_MEASURE) on the same data: in the same split real/imaginary layout,
// and in FFTW's own interleaved layout.
// The 1D and cfft2df runs alternate forward and inverse transforms so the
// values stay bounded; each iteration is one transform.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "lumvek.h"

namespace {

constexpr int kSide = 512;

std::vector<float> random_floats(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-1000.0f, 1000.0f);
    std::vector<float> v(n);
    for (float& x : v) x = dist(gen);
    return v;
}

// Planning overwrites the arrays, so the data goes in afterwards, into the
// same memory.
void fill_random(std::vector<float>& v, unsigned seed) {
    const std::vector<float> r = random_floats(v.size(), seed);
    std::copy(r.begin(), r.end(), v.begin());
}

std::vector<int16_t> random_slice() {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> dist(-1000, 2000);
    std::vector<int16_t> v(kSide * kSide);
    for (int16_t& x : v) x = static_cast<int16_t>(dist(gen));
    return v;
}

// FFTW plans for one split layout in place: forward, and the inverse by
// exchanging the real and imaginary arrays.
struct FftwPair {
    fftwf_plan forward, inverse;
    FftwPair(int rank, const fftwf_iodim* dims, float* re, float* im) {
        forward = fftwf_plan_guru_split_dft(rank, dims, 0, nullptr, re, im, re, im, FFTW_MEASURE);
        inverse = fftwf_plan_guru_split_dft(rank, dims, 0, nullptr, im, re, im, re, FFTW_MEASURE);
    }
    ~FftwPair() {
        fftwf_destroy_plan(forward);
        fftwf_destroy_plan(inverse);
    }
    void run(bool inv, float* re, float* im) const {
        if (inv)
            fftwf_execute_split_dft(inverse, im, re, im, re);
        else
            fftwf_execute_split_dft(forward, re, im, re, im);
    }
};

void BM_cfft_prepared(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<float> re = random_floats(n, 1), im = random_floats(n, 2);
    cfftprep(n);
    bool inverse = false;
    for (auto _ : state) {
        cfft(re.data(), im.data(), n, inverse ? -1 : 1, 0);
        inverse = !inverse;
        benchmark::DoNotOptimize(re.data());
    }
    cfftfree();
}
BENCHMARK(BM_cfft_prepared)->Arg(256)->Arg(512);

void BM_cfft_own_tables(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<float> re = random_floats(n, 1), im = random_floats(n, 2);
    bool inverse = false;
    for (auto _ : state) {
        cfft(re.data(), im.data(), n, inverse ? -1 : 1, 1);
        inverse = !inverse;
        benchmark::DoNotOptimize(re.data());
    }
}
BENCHMARK(BM_cfft_own_tables)->Arg(256)->Arg(512);

void BM_fftw_1d(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<float> re(n), im(n);
    const fftwf_iodim dim{n, 1, 1};
    const FftwPair plans(1, &dim, re.data(), im.data());
    fill_random(re, 1);
    fill_random(im, 2);
    bool inverse = false;
    for (auto _ : state) {
        plans.run(inverse, re.data(), im.data());
        inverse = !inverse;
        benchmark::DoNotOptimize(re.data());
    }
}
BENCHMARK(BM_fftw_1d)->Arg(256)->Arg(512);

// FFTW in its native interleaved layout (its fastest case), on the same values.
struct FftwInterleaved {
    int count;
    fftwf_complex* data;
    fftwf_plan forward, inverse;
    FftwInterleaved(int n, int rank) : count(rank == 1 ? n : n * n) {
        data = fftwf_alloc_complex(count);
        forward = rank == 1 ? fftwf_plan_dft_1d(n, data, data, FFTW_FORWARD, FFTW_MEASURE)
                            : fftwf_plan_dft_2d(n, n, data, data, FFTW_FORWARD, FFTW_MEASURE);
        inverse = rank == 1 ? fftwf_plan_dft_1d(n, data, data, FFTW_BACKWARD, FFTW_MEASURE)
                            : fftwf_plan_dft_2d(n, n, data, data, FFTW_BACKWARD, FFTW_MEASURE);
        const std::vector<float> re = random_floats(count, 1), im = random_floats(count, 2);
        for (int i = 0; i < count; ++i) {
            data[i][0] = re[i];
            data[i][1] = im[i];
        }
    }
    ~FftwInterleaved() {
        fftwf_destroy_plan(forward);
        fftwf_destroy_plan(inverse);
        fftwf_free(data);
    }
};

void BM_fftw_1d_interleaved(benchmark::State& state) {
    const FftwInterleaved f(static_cast<int>(state.range(0)), 1);
    bool inverse = false;
    for (auto _ : state) {
        fftwf_execute(inverse ? f.inverse : f.forward);
        inverse = !inverse;
        benchmark::DoNotOptimize(f.data);
    }
}
BENCHMARK(BM_fftw_1d_interleaved)->Arg(256)->Arg(512);

void BM_fftw_2d_interleaved_512(benchmark::State& state) {
    const FftwInterleaved f(kSide, 2);
    bool inverse = false;
    for (auto _ : state) {
        fftwf_execute(inverse ? f.inverse : f.forward);
        inverse = !inverse;
        benchmark::DoNotOptimize(f.data);
    }
}
BENCHMARK(BM_fftw_2d_interleaved_512)->Unit(benchmark::kMicrosecond);

void BM_cfft2df_512(benchmark::State& state) {
    std::vector<float> re = random_floats(kSide * kSide, 3), im = random_floats(kSide * kSide, 4);
    bool inverse = false;
    for (auto _ : state) {
        cfft2df(re.data(), im.data(), kSide, inverse ? -1 : 1);
        inverse = !inverse;
        benchmark::DoNotOptimize(re.data());
    }
}
BENCHMARK(BM_cfft2df_512)->Unit(benchmark::kMicrosecond);

void BM_fftw_2d_512(benchmark::State& state) {
    std::vector<float> re(kSide * kSide), im(kSide * kSide);
    const fftwf_iodim dims[2] = {{kSide, kSide, kSide}, {kSide, 1, 1}};
    const FftwPair plans(2, dims, re.data(), im.data());
    fill_random(re, 3);
    fill_random(im, 4);
    bool inverse = false;
    for (auto _ : state) {
        plans.run(inverse, re.data(), im.data());
        inverse = !inverse;
        benchmark::DoNotOptimize(re.data());
    }
}
BENCHMARK(BM_fftw_2d_512)->Unit(benchmark::kMicrosecond);

// Forward transform of a 16-bit slice, loading included on both sides.
void BM_cfft2d_slice_512(benchmark::State& state) {
    const std::vector<int16_t> src = random_slice();
    std::vector<float> re(kSide * kSide), im(kSide * kSide);
    for (auto _ : state) {
        cfft2d(src.data(), re.data(), im.data(), kSide, 1);
        benchmark::DoNotOptimize(re.data());
    }
}
BENCHMARK(BM_cfft2d_slice_512)->Unit(benchmark::kMicrosecond);

void BM_fftw_2d_slice_512(benchmark::State& state) {
    const std::vector<int16_t> src = random_slice();
    std::vector<float> re(kSide * kSide), im(kSide * kSide);
    const fftwf_iodim dims[2] = {{kSide, kSide, kSide}, {kSide, 1, 1}};
    const FftwPair plans(2, dims, re.data(), im.data());
    for (auto _ : state) {
        for (size_t i = 0; i < src.size(); ++i) {
            re[i] = src[i];
            im[i] = 0.0f;
        }
        plans.run(false, re.data(), im.data());
        benchmark::DoNotOptimize(re.data());
    }
}
BENCHMARK(BM_fftw_2d_slice_512)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
