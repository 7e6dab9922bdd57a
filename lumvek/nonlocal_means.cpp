// Non-local means: each pixel becomes the weighted mean of the pixels in a
// search window around it, a candidate weighing more the closer the patch
// around it matches the patch around the pixel. nlm2dct compares square
// patches within a slice, nlm3dct cubic patches within a volume.
//
// The work goes offset by offset rather than pixel by pixel: for one offset
// the squared differences of a whole band are formed once and summed over the
// patch along the rows and then down the columns, so every difference is
// computed once per offset instead of once per patch that contains it. Each
// pixel still adds its candidates in the same offset order whatever band it
// falls in, so the result doesn't depend on the split over the workers.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <vector>

#include "band_frame.h"
#include "filter_common.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

// Radius 16 already means a search window of 33 x 33 pixels (33^3 voxels,
// minutes per slice), far beyond any useful setting. Larger radii are
// refused before anything is allocated, which also bounds the slab.
constexpr int kLargestRadius = 16;

// How far a call looks, in plane and along z (nothing along z for a lone
// slice).
struct Window {
    int search, patch;
    int searchZ, patchZ;

    int reach() const { return search + patch; }
    int reachZ() const { return searchZ + patchZ; }
    float patch_voxels() const { return static_cast<float>((2 * patch + 1) * (2 * patch + 1) * (2 * patchZ + 1)); }
};

// The slices a call reads, as floats, each with its border repeated `reach`
// pixels on every side, so that no inner loop has to clamp an index. Slices
// beyond the volume's ends repeat its end slices, like the rows beyond the
// border; every distinct slice is held once.
class Slab {
public:
    Slab(const int16_t* vol, int n, int z, const Window& win)
        : z_(z),
          first_(std::max(z - win.reachZ(), 0)),
          last_(std::min(z + win.reachZ(), n - 1)),
          reach_(win.reach()),
          width_(kSide + 2 * reach_),
          data_(static_cast<std::size_t>(last_ - first_ + 1) * width_ * width_) {
        for (int s = first_; s <= last_; ++s) {
            for (int y = -reach_; y < kSide + reach_; ++y) {
                const int16_t* src = voxel_row(vol, n, s, y);
                float* dst = data_.data() + index(s, y);
                for (int x = -reach_; x < kSide + reach_; ++x) dst[x] = src[clamp_index(x, kSide - 1)];
            }
        }
    }

    // Row y of slice z + dz; element x is column x, for x and y from -reach
    // up to 511 + reach.
    const float* row(int dz, int y) const { return data_.data() + index(std::clamp(z_ + dz, first_, last_), y); }

private:
    // Element of column 0, row y of a held slice.
    std::size_t index(int slice, int y) const {
        return (static_cast<std::size_t>(slice - first_) * width_ + static_cast<std::size_t>(y + reach_)) * width_ +
               static_cast<std::size_t>(reach_);
    }

    int z_, first_, last_, reach_, width_;
    std::vector<float> data_;
};

// w = exp(-max(d - 2 sigma^2, 0) / h^2) with d the mean squared difference
// of two patches: patches that differ by no more than noise of SD sigma would
// weigh 1, and h sets how fast the weight falls beyond that.
struct Weighting {
    float allowance;  // 2 sigma^2
    float inverseH2;  // 1 / h^2
};

// Per worker: the differences and their row sums over a band widened by the
// patch radius, and the weighted sums of the band.
struct Scratch {
    explicit Scratch(int patch)
        : rows(kBandRows + 2 * patch),
          cols(kSide + 2 * patch),
          diff(static_cast<std::size_t>(rows) * cols),
          across(static_cast<std::size_t>(rows) * kSide),
          weight(kSide),
          num(static_cast<std::size_t>(kBandRows) * kSide),
          den(num.size()) {}

    int rows, cols;
    std::vector<float> diff, across, weight, num, den;
};

// Adds the candidates at offset (dx, dy, dz) to rows [y0, y1).
void add_offset(const Slab& slab, const Window& win, const Weighting& wt, Scratch& s, int y0, int y1, int dx, int dy,
                int dz) {
    const int p = win.patch;
    const int rows = y1 - y0 + 2 * p;
    for (int r = 0; r < rows; ++r) {
        const int y = y0 - p + r;
        float* d = s.diff.data() + static_cast<std::size_t>(r) * s.cols;
        std::fill_n(d, s.cols, 0.0f);
        for (int tz = -win.patchZ; tz <= win.patchZ; ++tz) {
            const float* a = slab.row(tz, y) - p;
            const float* b = slab.row(tz + dz, y + dy) + dx - p;
            for (int x = 0; x < s.cols; ++x) {
                const float e = a[x] - b[x];
                d[x] += e * e;
            }
        }
        float* h = s.across.data() + static_cast<std::size_t>(r) * kSide;
        std::fill_n(h, kSide, 0.0f);
        for (int t = 0; t <= 2 * p; ++t)
            for (int x = 0; x < kSide; ++x) h[x] += d[x + t];
    }
    const float scale = 1.0f / win.patch_voxels();
    float* w = s.weight.data();
    for (int y = y0; y < y1; ++y) {
        std::fill_n(w, kSide, 0.0f);
        for (int t = 0; t <= 2 * p; ++t) {
            const float* h = s.across.data() + static_cast<std::size_t>(y - y0 + t) * kSide;
            for (int x = 0; x < kSide; ++x) w[x] += h[x];
        }
        for (int x = 0; x < kSide; ++x) w[x] = std::exp(-std::max(w[x] * scale - wt.allowance, 0.0f) * wt.inverseH2);
        const float* v = slab.row(dz, y + dy) + dx;
        float* num = s.num.data() + static_cast<std::size_t>(y - y0) * kSide;
        float* den = s.den.data() + static_cast<std::size_t>(y - y0) * kSide;
        for (int x = 0; x < kSide; ++x) {
            num[x] += w[x] * v[x];
            den[x] += w[x];
        }
    }
}

void denoise_rows(int16_t* out, const Slab& slab, const Window& win, const Weighting& wt, Scratch& s, int y0, int y1) {
    std::fill(s.num.begin(), s.num.end(), 0.0f);
    std::fill(s.den.begin(), s.den.end(), 0.0f);
    for (int dz = -win.searchZ; dz <= win.searchZ; ++dz)
        for (int dy = -win.search; dy <= win.search; ++dy)
            for (int dx = -win.search; dx <= win.search; ++dx) add_offset(slab, win, wt, s, y0, y1, dx, dy, dz);
    // The pixel itself is a candidate at distance 0 and weight 1, so den >= 1.
    for (int y = y0; y < y1; ++y) {
        const std::size_t row = static_cast<std::size_t>(y - y0) * kSide;
        for (int x = 0; x < kSide; ++x) out[y * kSide + x] = saturate16(round_nearest(s.num[row + x] / s.den[row + x]));
    }
}

// Slice z of the n-slice volume vol, denoised into out on the eight workers.
// The slab is a copy made before any worker writes, so out may be the input
// slice itself.
void denoise(int16_t* out, const int16_t* vol, int n, int z, int search, int patch, bool alongZ, float h, float sigma) {
    if (!std::isfinite(h) || !std::isfinite(sigma)) return;
    search = std::max(search, 0);
    patch = std::max(patch, 0);
    if (search > kLargestRadius || patch > kLargestRadius) return;
    const Window win{search, patch, alongZ ? search : 0, alongZ ? patch : 0};
    // A strength at or below 0 keeps only the candidates within the noise
    // allowance: h^2 held at the smallest normal float gives exactly that
    // (weight 1 or 0) without dividing by zero, also where h^2 underflows.
    const float strength = std::max(h, 0.0f);
    const float noise = std::max(sigma, 0.0f);
    const Weighting wt{2.0f * noise * noise, 1.0f / std::max(strength * strength, FLT_MIN)};
    const Slab slab(vol, n, z, win);
    std::vector<Scratch> scratch = worker_scratch(true, Scratch(patch));
    for_all_rows(true, scratch, [&](Scratch& sc, int y0, int y1) { denoise_rows(out, slab, win, wt, sc, y0, y1); });
}

}  // namespace

extern "C" {

void nlm2dct(int16_t* out, const int16_t* in, int32_t searchRadius, int32_t patchRadius, float h, float sigma) {
    guarded([&] { denoise(out, in, 1, 0, searchRadius, patchRadius, false, h, sigma); });
}

void nlm3dct(int16_t* out, const int16_t* vol, int32_t n, int32_t z, int32_t searchRadius, int32_t patchRadius,
             float h) {
    if (n <= 0 || z < 0 || z >= n) return;
    guarded([&] { denoise(out, vol, n, z, searchRadius, patchRadius, true, h, 0.0f); });
}

}  // extern "C"
