// Pieces shared by the window filters (Gaussian, gradient and along-edge):
// the Gaussian weight, clamped source rows and row sweeps. Internal to the
// library.
//
// The filters sweep whole rows: for one window offset they add its
// contribution to all 512 pixels of an output row before taking the next
// offset. Each pixel still sums its offsets in table order, so the results
// are those of the pixel-by-pixel formula, value for value, while the inner
// loops run over contiguous memory without clamping.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "band_frame.h"

namespace lumvek_detail {

// exp(-k^2 / sigma^2), the per-axis weight of every Gaussian window. The
// centre weight is exactly 1: the formula gives that for every sigma above 0,
// and for a sigma of 0 it would be exp(-0/0). So every window's weights add
// up to at least 1 and no average divides by zero.
inline float gauss_weight(int k, float sigma) noexcept {
    if (k == 0) return 1.0f;
    const float k2 = static_cast<float>(k) * static_cast<float>(k);
    return std::exp(-k2 / (sigma * sigma));
}

// A window radius as the tables use it: a negative radius counts as 0 (just
// the centre); one beyond any sensible window is refused like a failed
// allocation, which keeps the table arithmetic from overflowing.
inline int checked_radius(int r) {
    constexpr int kLargestRadius = 1 << 12;
    if (r > kLargestRadius) throw std::length_error("filter window too large");
    return std::max(r, 0);
}

// Offsets in a window of radius r per axis, over `axes` axes.
inline std::size_t window_size(int r, int axes) {
    std::size_t count = 1;
    for (int i = 0; i < axes; ++i) count *= static_cast<std::size_t>(2 * r + 1);
    return count;
}

// Row y of slice z of a volume of n slices, both clamped into the volume.
inline const int16_t* voxel_row(const int16_t* vol, int n, int z, int y) noexcept {
    const std::ptrdiff_t slice = clamp_index(z, n - 1);
    return vol + (slice * kSide + clamp_index(y, kSide - 1)) * kSide;
}

inline std::ptrdiff_t slice_offset(int z) noexcept { return static_cast<std::ptrdiff_t>(z) * kSliceSize; }

// A source row with its end values repeated r times on either side: element x
// of at(dx) is column clamp(x + dx) of the row, for |dx| <= r.
class PaddedRow {
public:
    explicit PaddedRow(int r) : r_(r), v_(static_cast<std::size_t>(kSide + 2 * r)) {}

    void load(const int16_t* row) noexcept {
        std::fill_n(v_.begin(), r_, row[0]);
        std::copy_n(row, kSide, v_.begin() + r_);
        std::fill_n(v_.begin() + r_ + kSide, r_, row[kSide - 1]);
    }

    const int16_t* at(int dx) const noexcept { return v_.data() + r_ + dx; }

private:
    int r_;
    std::vector<int16_t> v_;
};

// acc[x] += w * src[x] over one row.
inline void add_weighted(float* acc, const int16_t* src, float w) noexcept {
    for (int x = 0; x < kSide; ++x) acc[x] += w * static_cast<float>(src[x]);
}

// Runs rows(scratch, rowBegin, rowEnd) over all 512 rows: in the eight bands
// of the worker frame, each worker with its own scratch, or on the calling
// thread with scratch[0]. False when the workers could not be started (then
// nothing was written).
template <class Scratch, class Rows>
bool for_all_rows(bool threaded, std::vector<Scratch>& scratch, const Rows& rows) {
    if (!threaded) {
        rows(scratch[0], 0, kSide);
        return true;
    }
    return run_bands([&](int k, int rowBegin, int rowEnd) { rows(scratch[k], rowBegin, rowEnd); });
}

// One scratch per worker, or one for the calling thread.
template <class Scratch>
std::vector<Scratch> worker_scratch(bool threaded, const Scratch& prototype) {
    return std::vector<Scratch>(threaded ? kWorkers : 1, prototype);
}

}  // namespace lumvek_detail
