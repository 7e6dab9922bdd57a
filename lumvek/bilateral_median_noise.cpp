// Cross bilateral filters of 16-bit slices and volumes, a three-point median
// along rows, and Gaussian noise for simulated images.
//
// A cross bilateral filter averages the values V over a Gaussian window, each
// neighbour also weighted by how much a guide image G differs there from the
// centre pixel. A smooth guide lets the filter flatten noise in V without
// averaging across the edges it shows.
//
// The filters sweep whole rows, as the box filters do: for one window offset
// they add its terms to every pixel of an output row before taking the next
// offset. Each pixel still sums its offsets in table order, so the result is
// that of the pixel-by-pixel formula, value for value.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <vector>

#include "band_frame.h"
#include "filter_common.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

// Guide differences beyond this weigh as much as this one.
constexpr int kLargestDifference = 4000;

struct Tap {
    int dz, dy, dx;
    float w;
};

// The spatial window in table order (z slowest, then y, then x), without the
// taps whose weight is minWeight or less. The centre weighs 1 and always
// stays, so together with a range weight of 1 at difference 0 every
// denominator is at least 1: no mean divides by zero.
struct Window {
    int rx = 0;  // reach along the rows, which the padded rows must cover
    std::vector<Tap> taps;
};

// w = exp(-dx²/sigmaXY²) · exp(-dy²/sigmaXY²) · exp(-dz²/sigmaZ²), the
// table of the box filters; ry may differ from rx.
Window make_window(float sigmaXY, int rx, int ry, float sigmaZ, int rz, float minWeight) {
    Window win;
    win.rx = rx;
    win.taps.reserve(window_size(rx, 1) * window_size(ry, 1) * window_size(rz, 1));
    for (int dz = -rz; dz <= rz; ++dz) {
        for (int dy = -ry; dy <= ry; ++dy) {
            for (int dx = -rx; dx <= rx; ++dx) {
                const float w = gauss_weight(dx, sigmaXY) * gauss_weight(dy, sigmaXY) * gauss_weight(dz, sigmaZ);
                if (w > minWeight) win.taps.push_back({dz, dy, dx, w});
            }
        }
    }
    return win;
}

// g[d] = exp(-d²/sigmaR²) for guide differences d = 0 ... kLargestDifference.
std::vector<float> range_table(float sigmaR) {
    std::vector<float> g(kLargestDifference + 1);
    for (int d = 0; d <= kLargestDifference; ++d) g[d] = gauss_weight(d, sigmaR);
    return g;
}

int radius_of(float sigma) { return checked_radius(radius_from_sigma(sigma)); }

// A sigma that is not a number or infinite gives no sensible window or
// range weight: the call then writes nothing.
bool all_finite(std::initializer_list<float> sigmas) {
    return std::all_of(sigmas.begin(), sigmas.end(), [](float s) { return std::isfinite(s); });
}

// row[0 .. width-1] into padded with its end values repeated r times on
// either side: padded[r + x + dx] is row[clamp(x + dx)] for |dx| <= r.
void load_padded(std::vector<int16_t>& padded, const int16_t* row, int width, int r) {
    std::fill_n(padded.begin(), r, row[0]);
    std::copy_n(row, width, padded.begin() + r);
    std::fill_n(padded.begin() + r + width, r, row[width - 1]);
}

// A volume of `slices` planes of width x height values, V and G alike; the
// filter writes columns [x0, x1) of rows of plane z into out (one plane).
struct BilateralJob {
    const int16_t* values;
    const int16_t* guide;
    int16_t* out;
    int width, height, slices, z;
    int x0, x1;
    const Window& win;
    const std::vector<float>& range;
    int32_t (*round)(float) noexcept;

    const int16_t* row(const int16_t* vol, int dz, int y) const {
        const std::ptrdiff_t plane = clamp_index(z + dz, slices - 1);
        return vol + (plane * height + clamp_index(y, height - 1)) * width;
    }
};

struct RowScratch {
    RowScratch(int width, int rx)
        : values(static_cast<std::size_t>(width) + 2 * rx), guide(values.size()), num(width), den(width) {}
    std::vector<int16_t> values, guide;
    std::vector<float> num, den;
};

// One window offset's terms for columns [x0, x1) of a row: v and g are the
// neighbours' values and guide, centre the guide of the pixels themselves.
// The sums and the range table never share memory, which lets the compiler
// look up the range weights several pixels at a time; with AVX2 it gathers
// them in one instruction, more than twice as fast. Each lane does the same
// float operations in the same order (no fused multiply-adds), so both
// versions give the same results: one body, compiled for AVX2 and for any
// processor.
[[gnu::always_inline]] inline void add_tap_body(float* __restrict num, float* __restrict den, const int16_t* v,
                                                const int16_t* g, const int16_t* centre,
                                                const float* __restrict range, float w, int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
        const float gw = range[std::min(std::abs(g[x] - centre[x]), kLargestDifference)];
        num[x] += static_cast<float>(v[x]) * w * gw;
        den[x] += w * gw;
    }
}

[[gnu::target("avx2"), gnu::flatten]] void add_tap_avx2(float* __restrict num, float* __restrict den,
                                                         const int16_t* v, const int16_t* g, const int16_t* centre,
                                                         const float* __restrict range, float w, int x0, int x1) {
    add_tap_body(num, den, v, g, centre, range, w, x0, x1);
}

[[gnu::flatten]] void add_tap_baseline(float* __restrict num, float* __restrict den, const int16_t* v,
                                       const int16_t* g, const int16_t* centre, const float* __restrict range,
                                       float w, int x0, int x1) {
    add_tap_body(num, den, v, g, centre, range, w, x0, x1);
}

// Chosen on the first call rather than by a loader-run resolver, which would
// run before a sanitizer's runtime is ready.
void add_tap(float* num, float* den, const int16_t* v, const int16_t* g, const int16_t* centre, const float* range,
             float w, int x0, int x1) {
    static const auto pick = __builtin_cpu_supports("avx2") ? add_tap_avx2 : add_tap_baseline;
    pick(num, den, v, g, centre, range, w, x0, x1);
}

void filter_rows(const BilateralJob& job, RowScratch& s, int rowBegin, int rowEnd) {
    const int rx = job.win.rx;
    const float* range = job.range.data();
    float* num = s.num.data();
    float* den = s.den.data();
    for (int y = rowBegin; y < rowEnd; ++y) {
        std::fill(num + job.x0, num + job.x1, 0.0f);
        std::fill(den + job.x0, den + job.x1, 0.0f);
        const int16_t* centre = job.row(job.guide, 0, y);
        const Tap* loaded = nullptr;
        for (const Tap& tap : job.win.taps) {
            if (loaded == nullptr || tap.dz != loaded->dz || tap.dy != loaded->dy) {
                load_padded(s.values, job.row(job.values, tap.dz, y + tap.dy), job.width, rx);
                load_padded(s.guide, job.row(job.guide, tap.dz, y + tap.dy), job.width, rx);
                loaded = &tap;
            }
            add_tap(num, den, s.values.data() + rx + tap.dx, s.guide.data() + rx + tap.dx, centre, range, tap.w,
                    job.x0, job.x1);
        }
        int16_t* out = job.out + static_cast<std::ptrdiff_t>(y) * job.width;
        for (int x = job.x0; x < job.x1; ++x) out[x] = low16(job.round(num[x] / den[x]));
    }
}

// Output rows [rowBegin, rowEnd) on the calling thread, or on the eight
// workers: each takes an eighth of the rows (rounded down), the last also
// the rows left over. For 512 rows those are the bands of the worker frame.
// If the workers can't be had, nothing is written.
void run_filter(const BilateralJob& job, int rowBegin, int rowEnd, bool threaded) {
    std::vector<RowScratch> scratch = worker_scratch(threaded, RowScratch(job.width, job.win.rx));
    if (!threaded) {
        filter_rows(job, scratch[0], rowBegin, rowEnd);
        return;
    }
    const int share = (rowEnd - rowBegin) / kWorkers;
    run_workers(kWorkers, [&](int k, WorkerGate& gate) {
        const int begin = rowBegin + k * share;
        const int end = k == kWorkers - 1 ? rowEnd : begin + share;
        if (gate.wait(true)) filter_rows(job, scratch[k], begin, end);
    });
}

// Slice z of a 512 x 512 x n volume, edges clamped.
void bilateral_3d(const int16_t* values, const int16_t* guide, int16_t* out, int n, float sigmaR, float sigmaXY,
                  float sigmaZ, int z, float minWeight, bool threaded) {
    if (!all_finite({sigmaR, sigmaXY, sigmaZ}) || z < 0 || z >= n) return;
    const int rxy = radius_of(sigmaXY);
    const Window win = make_window(sigmaXY, rxy, rxy, sigmaZ, radius_of(sigmaZ), minWeight);
    const std::vector<float> range = range_table(sigmaR);
    const BilateralJob job{values, guide, out, kSide, kSide, n, z, 0, kSide, win, range, round_nearest};
    run_filter(job, 0, kSide, threaded);
}

// A 512 x 512 slice without clamping: only pixels whose whole window lies
// inside the slice are written, so the border of rx columns and ry rows keeps
// what it held.
void bilateral_interior(const int16_t* values, const int16_t* guide, int16_t* out, float sigmaR, float sigmaS,
                        float sigmaRow) {
    if (!all_finite({sigmaR, sigmaS, sigmaRow})) return;
    const int rx = radius_of(sigmaS);
    const int ry = radius_of(sigmaRow);
    if (2 * rx >= kSide || 2 * ry >= kSide) return;  // all border
    const Window win = make_window(sigmaS, rx, ry, 0.0f, 0, 0.01f);
    const std::vector<float> range = range_table(sigmaR);
    const BilateralJob job{values, guide, out, kSide, kSide, 1, 0, rx, kSide - rx, win, range, round_nearest};
    run_filter(job, ry, kSide - ry, false);
}

std::ptrdiff_t element_count(int width, int height) {
    return width < 1 || height < 1 ? 0 : static_cast<std::ptrdiff_t>(width) * height;
}

int16_t median3(int16_t a, int16_t b, int16_t c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

// glibc's rand() gives 31 bits; the sum below wants 15, and the high ones of
// its additive generator are the better mixed.
static_assert(RAND_MAX == 0x7FFFFFFF, "uniform15 takes the top 15 of 31 bits");
int uniform15() { return std::rand() >> 16; }

// Approximately normal, mean 0 and SD 1: twelve uniform values in [0, 1]
// (variance 1/12 each) added up, minus their mean 6. Draws from the C
// library's process-wide generator.
float normal_value() {
    constexpr float kUnitStep = 3.051851e-5f;  // 1 / 32767
    int sum = 0;
    for (int i = 0; i < 12; ++i) sum += uniform15();
    return static_cast<float>(sum) * kUnitStep - 6.0f;
}

}  // namespace

extern "C" {

void bilate3dctms(const int16_t* values, const int16_t* guide, int16_t* out, int32_t n, float sigmaR, float sigmaXY,
                  float sigmaZ, int32_t z) {
    guarded([&] { bilateral_3d(values, guide, out, n, sigmaR, sigmaXY, sigmaZ, z, 0.01f, true); });
}

void bilate3dcti(const int16_t* values, const int16_t* guide, int16_t* out, int32_t n, float sigmaR, float sigmaXY,
                 float sigmaZ, int32_t z) {
    guarded([&] { bilateral_3d(values, guide, out, n, sigmaR, sigmaXY, sigmaZ, z, 0.0f, false); });
}

void bilate2dms(const int16_t* values, const int16_t* guide, int16_t* out, int32_t width, int32_t height,
                float sigmaR, float sigmaS) {
    guarded([&] {
        if (!all_finite({sigmaR, sigmaS}) || element_count(width, height) == 0) return;
        const int r = radius_of(sigmaS);
        const Window win = make_window(sigmaS, r, r, 0.0f, 0, 0.0f);
        const std::vector<float> range = range_table(sigmaR);
        const BilateralJob job{values, guide, out, width, height, 1, 0, 0, width, win, range, round_half_up};
        run_filter(job, 0, height, true);
    });
}

void bilate2dct(const int16_t* values, const int16_t* guide, int16_t* out, float sigmaR, float sigmaS,
                float sigmaRow) {
    guarded([&] { bilateral_interior(values, guide, out, sigmaR, sigmaS, sigmaRow); });
}

void bilate2dcts(const int16_t* values, const int16_t* guide, int16_t* out, float sigmaR, float /*unused*/,
                 float sigmaS) {
    guarded([&] { bilateral_interior(values, guide, out, sigmaR, sigmaS, sigmaS); });
}

// Each row goes through a padded copy first, so out may be in itself.
void mediantd(int16_t* out, const int16_t* in, int32_t width, int32_t height) {
    guarded([&] {
        if (element_count(width, height) == 0) return;
        std::vector<int16_t> row(static_cast<std::size_t>(width) + 2);
        for (int y = 0; y < height; ++y) {
            const std::ptrdiff_t start = static_cast<std::ptrdiff_t>(y) * width;
            load_padded(row, in + start, width, 1);
            for (int x = 0; x < width; ++x) out[start + x] = median3(row[x], row[x + 1], row[x + 2]);
        }
    });
}

void randominit(void) { std::srand(static_cast<unsigned>(std::time(nullptr))); }

void randomimg(uint16_t* a, int32_t width, int32_t height, float sd, float mean) {
    const std::ptrdiff_t count = element_count(width, height);
    for (std::ptrdiff_t i = 0; i < count; ++i)
        a[i] = static_cast<uint16_t>(low16(round_nearest(normal_value() * sd + mean)));
}

void randomimgf(float* a, int32_t stride, int32_t height, int32_t offset, int32_t width, float sd, float mean) {
    if (element_count(width, height) == 0) return;
    for (int y = 0; y < height; ++y) {
        float* row = a + (offset + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) row[x] = normal_value() * sd + mean;
    }
}

void randomadd(float* a, int32_t width, int32_t height, float sd, float mean) {
    const std::ptrdiff_t count = element_count(width, height);
    for (std::ptrdiff_t i = 0; i < count; ++i) a[i] += static_cast<float>(round_nearest(normal_value() * sd + mean));
}

void randomaddsi(int16_t* a, int32_t width, int32_t height, float sd) {
    const std::ptrdiff_t count = element_count(width, height);
    for (std::ptrdiff_t i = 0; i < count; ++i)
        a[i] = low16(trunc_to_int(static_cast<float>(a[i]) + normal_value() * sd + 0.5f));
}

}  // extern "C"
