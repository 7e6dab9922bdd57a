// Gaussian smoothing and unsharp enhancement: of a 3D volume, along z only,
// and of a single slice, plus the 2D high-pass and the two-scale 2D blend.
// The weight table is built once per call on the calling thread and only
// read by the workers.
#include <algorithm>
#include <cstddef>
#include <vector>

#include "band_frame.h"
#include "filter_common.h"
#include "lumvek.h"

using namespace lumvek_detail;

// The geometry lumvek.h gives its callers is the one the kernels work with.
static_assert(kSide == LUMVEK_SLICE_SIDE && kSliceSize == LUMVEK_SLICE_SIZE);

namespace {

struct Tap {
    int dz, dy, dx;
    float w;
};

// The weights of a window in table order (z slowest, then y, then x). None
// of them depends on the pixel, so their sum is the same for every pixel and
// is taken once, in table order, as the per-pixel sum would be.
struct GaussWindow {
    int rxy = 0;
    std::vector<Tap> taps;
    float wsum = 0.0f;
};

// w = exp(-dx²/sigmaXY²) · exp(-dy²/sigmaXY²) · exp(-dz²/sigmaZ²). A tap
// enters only if its weight is above minWeight; the 3D and 2D members use 0,
// where leaving out a zero weight changes neither sum. The centre weight is 1
// and always enters.
GaussWindow make_window(int rxy, float sigmaXY, int rz, float sigmaZ, float minWeight) {
    GaussWindow win;
    win.rxy = rxy;
    win.taps.reserve(window_size(rxy, 2) * window_size(rz, 1));
    for (int dz = -rz; dz <= rz; ++dz) {
        for (int dy = -rxy; dy <= rxy; ++dy) {
            for (int dx = -rxy; dx <= rxy; ++dx) {
                const float w = gauss_weight(dx, sigmaXY) * gauss_weight(dy, sigmaXY) * gauss_weight(dz, sigmaZ);
                if (!(w > minWeight)) continue;
                win.taps.push_back({dz, dy, dx, w});
                win.wsum += w;
            }
        }
    }
    return win;
}

// How the average meets the centre voxel.
enum class Mix {
    Blend,       // avg × (1 − enhance) + in × enhance: every ...ms member
    Difference,  // in × enhance − avg × (1 − enhance): the single-threaded 3D twin
};

struct SmoothJob {
    int16_t* out;  // the output slice
    const int16_t* vol;
    int n, z;
    const GaussWindow& win;
    float enhance;
    Mix mix;
};

struct SmoothScratch {
    explicit SmoothScratch(int r) : acc(kSide), row(r) {}
    std::vector<float> acc;
    PaddedRow row;
};

void smooth_rows(const SmoothJob& job, SmoothScratch& s, int rowBegin, int rowEnd) {
    float* acc = s.acc.data();
    const float keep = 1.0f - job.enhance;
    for (int y = rowBegin; y < rowEnd; ++y) {
        std::fill_n(acc, kSide, 0.0f);
        const Tap* loaded = nullptr;
        for (const Tap& tap : job.win.taps) {
            if (loaded == nullptr || tap.dz != loaded->dz || tap.dy != loaded->dy) {
                s.row.load(voxel_row(job.vol, job.n, job.z + tap.dz, y + tap.dy));
                loaded = &tap;
            }
            add_weighted(acc, s.row.at(tap.dx), tap.w);
        }
        const int16_t* centre = job.vol + slice_offset(job.z) + y * kSide;
        int16_t* out = job.out + y * kSide;
        for (int x = 0; x < kSide; ++x) {
            const float avg = acc[x] / job.win.wsum;
            const float in = centre[x];
            // The blend clamps: a bright voxel enhanced past 32767 must stay
            // bright, not wrap to a large negative value. The twin keeps the
            // low 16 bits.
            if (job.mix == Mix::Blend)
                out[x] = saturate16(round_nearest(avg * keep + in * job.enhance));
            else
                out[x] = low16(round_nearest(in * job.enhance - avg * keep));
        }
    }
}

// Slice z of the filtered volume into out, on the eight workers or on the
// calling thread. False when the workers could not be started.
bool smooth_slice(int16_t* out, const int16_t* vol, int n, int z, const GaussWindow& win, float enhance, Mix mix,
                  bool threaded) {
    std::vector<SmoothScratch> scratch = worker_scratch(threaded, SmoothScratch(win.rxy));
    const SmoothJob job{out, vol, n, z, win, enhance, mix};
    return for_all_rows(threaded, scratch,
                        [&job](SmoothScratch& s, int rowBegin, int rowEnd) { smooth_rows(job, s, rowBegin, rowEnd); });
}

// The blend of the ...ms members on eight workers. A one-voxel window
// (every radius 0, e.g. sigma 0.1, or 0) copies the input slice: its average
// is the voxel itself, and the copy holds for any enhance.
bool blend_slice(int16_t* out, const int16_t* vol, int n, int z, int rxy, float sigmaXY, int rz, float sigmaZ,
                 float minWeight, float enhance) {
    if (rxy == 0 && rz == 0) {
        std::copy_n(vol + slice_offset(z), kSliceSize, out);
        return true;
    }
    const GaussWindow win = make_window(rxy, sigmaXY, rz, sigmaZ, minWeight);
    return smooth_slice(out, vol, n, z, win, enhance, Mix::Blend, true);
}

int radius_of(float sigma) { return checked_radius(radius_from_sigma(sigma)); }

// The 2D members filter a lone slice: a volume of one slice, z = 0, no z extent.
bool blend_2d(int16_t* out, const int16_t* in, float sigma, float enhance) {
    return blend_slice(out, in, 1, 0, radius_of(sigma), sigma, 0, 0.0f, 0.0f, enhance);
}

}  // namespace

extern "C" {

void boxfilter3dct(int16_t* out, const int16_t* in, int32_t n, float sigmaXY, float sigmaZ, float enhance, int32_t z) {
    guarded([&] {
        const GaussWindow win = make_window(radius_of(sigmaXY), sigmaXY, radius_of(sigmaZ), sigmaZ, 0.0f);
        smooth_slice(out, in, n, z, win, enhance, Mix::Difference, false);
    });
}

void boxfilter3dctms(int16_t* out, const int16_t* in, int32_t n, float sigmaXY, float sigmaZ, float enhance,
                     int32_t z) {
    guarded([&] { blend_slice(out, in, n, z, radius_of(sigmaXY), sigmaXY, radius_of(sigmaZ), sigmaZ, 0.0f, enhance); });
}

// Along z only; weights of 0.005 or less stay out of both sums.
void boxfilter3dctzms(int16_t* out, const int16_t* in, int32_t n, float sigmaZ, float enhance, int32_t z) {
    guarded([&] { blend_slice(out, in, n, z, 0, 0.0f, radius_of(sigmaZ), sigmaZ, 0.005f, enhance); });
}

void boxfilter2dctms(int16_t* out, const int16_t* in, float sigma, float enhance) {
    guarded([&] { blend_2d(out, in, sigma, enhance); });
}

// in minus the blend, clamped to 16 bits (enhance 0 gives the high-pass).
void boxfilter2dctivms(int16_t* out, const int16_t* in, float sigma, float enhance) {
    guarded([&] {
        if (!blend_2d(out, in, sigma, enhance)) return;
        for (int i = 0; i < kSliceSize; ++i) out[i] = saturate16(in[i] - out[i]);
    });
}

// img = trunc(t1 × (1 − enhance) + img × enhance + t2 × gain), with t1 the
// sigma1 blend of img and t2 = img minus its rounded sigma2 Gaussian (the
// blend with enhance 0). Both are computed into temporaries before img is
// touched, so the in-place update reads only the original slice.
void boxfilter2dctneoms(int16_t* img, float sigma1, float sigma2, float enhance, float gain) {
    guarded([&] {
        std::vector<int16_t> t1(kSliceSize);
        std::vector<int16_t> smooth2(kSliceSize);
        if (!blend_2d(t1.data(), img, sigma1, enhance)) return;
        if (!blend_2d(smooth2.data(), img, sigma2, 0.0f)) return;
        const float keep = 1.0f - enhance;
        for (int i = 0; i < kSliceSize; ++i) {
            const float t2 = static_cast<float>(img[i] - smooth2[i]);
            const float v = static_cast<float>(t1[i]) * keep + static_cast<float>(img[i]) * enhance + t2 * gain;
            img[i] = low16(trunc_to_int(v));
        }
    });
}

}  // extern "C"
