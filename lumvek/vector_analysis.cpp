// Smoothed 3D gradient of a guide volume: for each axis, the difference of
// two Gaussian-weighted planes d voxels ahead of and behind the pixel. The
// along-edge filters read the three components at the same pixel index.
// The program passes width = height = 512; the kernels take that geometry as
// fixed, as the worker split does.
#include <algorithm>
#include <cstddef>
#include <vector>

#include "band_frame.h"
#include "filter_common.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

// (2r+1)² weights exp(-a²/s²) · exp(-b²/s²) with s = 0.6 r, a slowest,
// divided by their sum so that they add up to 1.
std::vector<float> plane_weights(int r) {
    const float s = 0.6f * static_cast<float>(r);
    std::vector<float> w;
    w.reserve(window_size(r, 2));
    float sum = 0.0f;
    for (int a = -r; a <= r; ++a) {
        for (int b = -r; b <= r; ++b) {
            w.push_back(gauss_weight(a, s) * gauss_weight(b, s));
            sum += w.back();
        }
    }
    for (float& v : w) v /= sum;
    return w;
}

struct GradientJob {
    float *gx, *gy, *gz;
    const int16_t* vol;
    int n, d, r, z;
    const std::vector<float>& w;
};

struct GradientScratch {
    explicit GradientScratch(int r) : ahead(kSide), behind(kSide), row(r) {}
    std::vector<float> ahead, behind;
    PaddedRow row;
};

// acc[x] = Σ w(a, b) · vol(x', y', z') over one weighted plane through
// (x, y, z), a slowest: a steps along z (or y when aAlongZ is false), b along
// x (or y when bAlongX is false). Every index clamps.
void plane_sum(const GradientJob& job, PaddedRow& row, float* acc, int y, int z, bool aAlongZ, bool bAlongX) {
    std::fill_n(acc, kSide, 0.0f);
    const int side = 2 * job.r + 1;
    for (int a = -job.r; a <= job.r; ++a) {
        const int ya = aAlongZ ? y : y + a;
        const int za = aAlongZ ? z + a : z;
        if (bAlongX) row.load(voxel_row(job.vol, job.n, za, ya));
        for (int b = -job.r; b <= job.r; ++b) {
            const int16_t* src = bAlongX ? row.at(b) : voxel_row(job.vol, job.n, za, ya + b);
            add_weighted(acc, src, job.w[(a + job.r) * side + b + job.r]);
        }
    }
}

void gradient_rows(const GradientJob& job, GradientScratch& s, int rowBegin, int rowEnd) {
    float* ahead = s.ahead.data();
    float* behind = s.behind.data();
    for (int y = rowBegin; y < rowEnd; ++y) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(y) * kSide;

        // gx: the (z, y) plane sums of every column, read at columns x ± d.
        plane_sum(job, s.row, ahead, y, job.z, true, false);
        for (int x = 0; x < kSide; ++x)
            job.gx[at + x] = ahead[clamp_index(x + job.d, kSide - 1)] - ahead[clamp_index(x - job.d, kSide - 1)];

        plane_sum(job, s.row, ahead, y + job.d, job.z, true, true);
        plane_sum(job, s.row, behind, y - job.d, job.z, true, true);
        for (int x = 0; x < kSide; ++x) job.gy[at + x] = ahead[x] - behind[x];

        plane_sum(job, s.row, ahead, y, job.z + job.d, false, true);
        plane_sum(job, s.row, behind, y, job.z - job.d, false, true);
        for (int x = 0; x < kSide; ++x) job.gz[at + x] = ahead[x] - behind[x];
    }
}

void gradient_slice(float* gx, float* gy, float* gz, const int16_t* vol, int n, int d, int r, int z, bool threaded) {
    r = checked_radius(r);
    const std::vector<float> w = plane_weights(r);
    std::vector<GradientScratch> scratch = worker_scratch(threaded, GradientScratch(r));
    const GradientJob job{gx, gy, gz, vol, n, d, r, z, w};
    for_all_rows(threaded, scratch,
                 [&job](GradientScratch& s, int rowBegin, int rowEnd) { gradient_rows(job, s, rowBegin, rowEnd); });
}

}  // namespace

extern "C" {

void vecana3d(float* gx, float* gy, float* gz, const int16_t* vol, [[maybe_unused]] int32_t width,
              [[maybe_unused]] int32_t height, int32_t n, int32_t distance, int32_t radius, int32_t z) {
    guarded([&] { gradient_slice(gx, gy, gz, vol, n, distance, radius, z, false); });
}

void vecana3dms(float* gx, float* gy, float* gz, const int16_t* vol, [[maybe_unused]] int32_t width,
                [[maybe_unused]] int32_t height, int32_t n, int32_t distance, int32_t radius, int32_t z) {
    guarded([&] { gradient_slice(gx, gy, gz, vol, n, distance, radius, z, true); });
}

}  // extern "C"
