// Parallel-beam projection and the streak toolkit built on it, with the
// element-wise steps that go with projection data: the log transform, the
// weighted sum and the z weighting of slices.
//
// Geometry. View k of `views` looks along theta = k * 180 degrees / views.
// Pixel (x, y) lies at u = x - 255.5, w = y - 255.5 from the slice centre and
// meets the detector at t = u cos(theta) + w sin(theta) + 255.5, counted in
// bins: bin i is centred on t = i and one pixel wide, so the 512 bins cover
// the circle inscribed in the slice. Outside the slice the image is 0.
//
// The forward projection follows each ray (Joseph's method): along the axis
// the ray runs closest to, it takes one step per row (or column),
// interpolates linearly between the two pixels it passes between, and counts
// each step as the path length it stands for, 1 / max(|cos|, |sin|) pixels.
// The back projection bpj is the same matrix transposed, but gathered per
// pixel from the bins whose rays passed within one step of it; so the two are
// exact adjoints, and both split their output over workers without any two
// writing the same element.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

#include "band_frame.h"
#include "filter_common.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

constexpr int kBins = kSide;
constexpr float kCentre = 255.5f;  // the slice centre, and the centre bin
constexpr int kFineViews = 720;
constexpr int kFineRays = 2;
constexpr int kLogWorkers = 4;

bool positive_finite(float v) { return v > 0.0f && std::isfinite(v); }

// Start of part k of `count` items split into `parts` nearly equal runs.
int part_begin(int count, int k, int parts) { return static_cast<int>(static_cast<int64_t>(count) * k / parts); }

// part(begin, end) over the four workers, each taking a quarter of the
// count; if they can't all be started, none writes.
template <class Part>
void for_quarters(int count, const Part& part) {
    run_workers(kLogWorkers, [&](int k, WorkerGate& gate) {
        if (gate.wait(true)) part(part_begin(count, k, kLogWorkers), part_begin(count, k + 1, kLogWorkers));
    });
}

struct View {
    float c, s;  // cos(theta), sin(theta)
    float m;     // max(|c|, |s|): one step of a ray is 1 / m pixels long
};

View view_at(int k, int views) {
    const double theta = std::numbers::pi * k / views;
    const float c = static_cast<float>(std::cos(theta));
    const float s = static_cast<float>(std::sin(theta));
    return {c, s, std::max(std::fabs(c), std::fabs(s))};
}

// The slice to project, as floats, twice: as it is and transposed, each row
// with two zero columns on either side. A ray that runs closer to the
// columns' direction steps down the rows of the first copy; any other steps
// down the rows of the second, so both read memory row by row.
class RayImage {
public:
    template <class Value>
    RayImage(const int16_t* slice, const Value& value) : rows_(kPitch * kSide, 0.0f), cols_(rows_.size(), 0.0f) {
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                const float v = value(slice[y * kSide + x]);
                rows_[y * kPitch + x + kPad] = v;
                cols_[x * kPitch + y + kPad] = v;
            }
        }
    }

    // Adds to bins[i] the sum of the slice along the ray that meets the
    // detector at t = i + offset, one interpolated sample per step. All rays
    // of the view advance together, row by row: their sums don't wait on
    // one another, and a row stays in cache while they cross it.
    void add_rays(const View& v, float offset, float* bins) const {
        const bool byRows = std::fabs(v.c) >= std::fabs(v.s);
        const float along = byRows ? v.c : v.s;
        const float across = byRows ? v.s : v.c;
        const float* img = byRows ? rows_.data() : cols_.data();
        // On row y, ray i crosses padded column first + y * slope + i * spacing.
        const float spacing = 1.0f / along;
        const float slope = -across / along;
        const float first = kCentre + (offset - kCentre + kCentre * across) / along + kPad;
        for (int y = 0; y < kSide; ++y) {
            const float start = first + slope * static_cast<float>(y);
            // The rays that pass between columns -1 and 511, i.e. padded
            // columns 1 up to 514. Rounding may take the ends a hair outside,
            // which the second zero column on either side absorbs.
            const float a = (1.0f - start) / spacing, b = (static_cast<float>(kSide + kPad + 1) - start) / spacing;
            const int begin = std::max(static_cast<int>(std::ceil(std::min(a, b))), 0);
            const int end = std::min(static_cast<int>(std::floor(std::max(a, b))), kBins - 1);
            const float* row = img + y * kPitch;
            for (int i = begin; i <= end; ++i) {
                const float x = start + spacing * static_cast<float>(i);
                const int ix = static_cast<int>(x);
                const float f = x - static_cast<float>(ix);
                bins[i] += row[ix] + f * (row[ix + 1] - row[ix]);
            }
        }
    }

private:
    static constexpr int kPad = 2;
    static constexpr int kPitch = kSide + 2 * kPad;
    std::vector<float> rows_, cols_;
};

// `views` rows of 512 bins; bin i is the mean of `rays` rays spread evenly
// over the bin, in units of pixelSize. Views are split over the eight
// workers.
void project(float* sino, const RayImage& img, int views, float pixelSize, int rays) {
    run_workers(kWorkers, [&](int k, WorkerGate& gate) {
        if (!gate.wait(true)) return;
        for (int view = part_begin(views, k, kWorkers); view < part_begin(views, k + 1, kWorkers); ++view) {
            const View v = view_at(view, views);
            float* row = sino + static_cast<std::ptrdiff_t>(view) * kBins;
            std::fill_n(row, kBins, 0.0f);
            for (int r = 0; r < rays; ++r) img.add_rays(v, (static_cast<float>(r) + 0.5f) / rays - 0.5f, row);
            const float stepLength = pixelSize / (v.m * static_cast<float>(rays));
            for (int i = 0; i < kBins; ++i) row[i] *= stepLength;
        }
    });
}

// How a pixel takes its share of a view's bins.
enum class Footprint {
    Matched,      // the triangle of half-width m, over m: the forward projection transposed
    Interpolated  // plain linear interpolation at t
};

// out(x, y) = gain * sum over views and bins of K(t - i) sino[view][i], K
// as the footprint says. Rows over the eight workers.
void back_project(float* out, const float* sino, int views, Footprint footprint, float gain) {
    run_bands([&](int, int y0, int y1) {
        std::fill(out + y0 * kSide, out + y1 * kSide, 0.0f);
        for (int view = 0; view < views; ++view) {
            const View v = view_at(view, views);
            const float m = footprint == Footprint::Matched ? v.m : 1.0f;
            const float inverseM = 1.0f / m;
            const float viewGain = gain * inverseM;
            const float* bins = sino + static_cast<std::ptrdiff_t>(view) * kBins;
            for (int y = y0; y < y1; ++y) {
                const float base = (static_cast<float>(y) - kCentre) * v.s + kCentre;
                float* o = out + y * kSide;
                for (int x = 0; x < kSide; ++x) {
                    const float t = (static_cast<float>(x) - kCentre) * v.c + base;
                    // |t - 255.5| stays below 363, so the bin index fits an int.
                    const int i = static_cast<int>(std::floor(t));
                    float acc = 0.0f;
                    for (int b = std::max(i, 0); b <= std::min(i + 1, kBins - 1); ++b)
                        acc += std::max(0.0f, 1.0f - std::fabs(t - static_cast<float>(b)) * inverseM) * bins[b];
                    o[x] += acc * viewGain;
                }
            }
        }
    });
}

// The share of corrupted data a ray carries, from its path length through
// high-density pixels: 0 up to `start`, rising linearly to 1 at
// start + width; a width of 0 or less makes it a step at start.
float ray_risk(float length, float start, float width) {
    if (width > 0.0f) return std::clamp((length - start) / width, 0.0f, 1.0f);
    return length > start ? 1.0f : 0.0f;
}

float stored_value(int16_t v) { return static_cast<float>(v); }

}  // namespace

extern "C" {

void fpj(float* sino, const int16_t* slice, int32_t views, float pixelSize) {
    if (views <= 0 || !positive_finite(pixelSize)) return;
    guarded([&] { project(sino, RayImage(slice, stored_value), views, pixelSize, 1); });
}

void fpjbig(float* sino, const int16_t* slice, float pixelSize) {
    if (!positive_finite(pixelSize)) return;
    guarded([&] { project(sino, RayImage(slice, stored_value), kFineViews, pixelSize, kFineRays); });
}

void bpj(float* image, const float* sino, int32_t views, float pixelSize) {
    if (views <= 0 || !positive_finite(pixelSize)) return;
    guarded([&] { back_project(image, sino, views, Footprint::Matched, pixelSize); });
}

void strkfpj(float* sino, const int16_t* slice, int32_t views, int32_t threshold, float pixelSize) {
    if (views <= 0 || !positive_finite(pixelSize)) return;
    const auto dense = [threshold](int16_t v) { return v > threshold ? 1.0f : 0.0f; };
    guarded([&] { project(sino, RayImage(slice, dense), views, pixelSize, 1); });
}

void strkrmap(float* risk, const float* maskSino, int32_t views, float start, float width, float scale) {
    if (views <= 0 || !std::isfinite(start) || !std::isfinite(width) || !std::isfinite(scale)) return;
    guarded([&] {
        std::vector<float> share(static_cast<std::size_t>(views) * kBins);
        for (std::size_t i = 0; i < share.size(); ++i) share[i] = ray_risk(maskSino[i], start, width);
        back_project(risk, share.data(), views, Footprint::Interpolated, scale / static_cast<float>(views));
    });
}

void strkwaitsum(float* out, int32_t count, const float* src1, float w1, const float* src2, float w2, const float* src3,
                 float w3, const float* src4, float w4) {
    const std::array<const float*, 4> src{src1, src2, src3, src4};
    const std::array<float, 4> w{w1, w2, w3, w4};
    if (count <= 0) return;
    for (int k = 0; k < 4; ++k)
        if (src[k] != nullptr && !std::isfinite(w[k])) return;
    guarded([&] {
        for_quarters(count, [&](int begin, int end) {
            for (int i = begin; i < end; ++i) {
                float sum = 0.0f;
                for (int k = 0; k < 4; ++k)
                    if (src[k] != nullptr) sum += w[k] * src[k][i];
                out[i] = sum;
            }
        });
    });
}

void fpdlogms(float* out, const float* in, int32_t count, float i0, float floorCount, float scale) {
    if (count <= 0 || !positive_finite(i0) || !positive_finite(floorCount) || !std::isfinite(scale)) return;
    // ln(I0) - ln(I) rather than ln(I0 / I): I0 = I gives exactly 0, and a
    // tiny floor can't overflow the quotient.
    const float logI0 = std::log(i0);
    guarded([&] {
        for_quarters(count, [&](int begin, int end) {
            for (int i = begin; i < end; ++i) {
                const float v = in[i] > floorCount ? in[i] : floorCount;  // a NaN count takes the floor too
                out[i] = scale * (logI0 - std::log(v));
            }
        });
    });
}

void ctzwait(int16_t* out, const int16_t* vol, int32_t n, float fwhm) {
    if (n <= 0 || !std::isfinite(fwhm)) return;
    guarded([&] {
        // Below one slice the triangle could miss every slice of an even run.
        const float halfBase = std::max(fwhm, 1.0f);
        const float middle = static_cast<float>(n - 1) * 0.5f;
        std::vector<float> weight(static_cast<std::size_t>(n));
        float total = 0.0f;
        for (int k = 0; k < n; ++k) {
            weight[k] = std::max(0.0f, 1.0f - std::fabs(static_cast<float>(k) - middle) / halfBase);
            total += weight[k];
        }
        std::vector<float> acc(kSide);
        for (int y = 0; y < kSide; ++y) {
            std::fill(acc.begin(), acc.end(), 0.0f);
            for (int k = 0; k < n; ++k)
                if (weight[k] > 0.0f) add_weighted(acc.data(), vol + slice_offset(k) + y * kSide, weight[k]);
            for (int x = 0; x < kSide; ++x) out[y * kSide + x] = saturate16(round_nearest(acc[x] / total));
        }
    });
}

}  // extern "C"
