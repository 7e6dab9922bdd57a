// Cubic resampling (magnification about a point, corner-aligned resizing)
// and the 2 x 2 reduction. All run on the calling thread. The cubic is the
// Catmull-Rom of the 2x display zoom, so a resampled slice looks like the
// zoomed view of it.
#include <cmath>
#include <cstddef>

#include "band_frame.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

// A caller's image of w x h values, row-major, rows w apart.
template <class T>
struct Source {
    const T* pixels;
    int w;
    int h;

    // Cubic value at (x, y): along the four rows iy-1 .. iy+2 at fx, then
    // down the four results at fy. Neighbours beyond the edge repeat the edge
    // pixel, so nothing outside the image is read.
    float at(float x, float y) const noexcept {
        const int ix = trunc_to_int(x), iy = trunc_to_int(y);
        const float fx = x - static_cast<float>(ix), fy = y - static_cast<float>(iy);
        float rows[4];
        for (int j = 0; j < 4; ++j) {
            const T* row = pixels + static_cast<std::ptrdiff_t>(clamp_index(iy - 1 + j, h - 1)) * w;
            float q[4];
            for (int i = 0; i < 4; ++i) q[i] = static_cast<float>(row[clamp_index(ix - 1 + i, w - 1)]);
            rows[j] = catmull_rom(q, fx);
        }
        return catmull_rom(rows, fy);
    }
};

// Float results are kept as they are; 16-bit ones are rounded half-up and
// keep their low 16 bits.
void store(float& dst, float v) noexcept { dst = v; }
void store(int16_t& dst, float v) noexcept { dst = low16(round_half_up(v)); }

// Writes every pixel of the outW x outH output (rows outW apart) from the
// source position (xAt(c), yAt(r)). Nothing for a side below 1.
template <class T, class XAt, class YAt>
void resample(T* out, int outW, int outH, const Source<T>& src, XAt xAt, YAt yAt) {
    for (int r = 0; r < outH; ++r) {
        const float y = yAt(r);
        T* row = out + static_cast<std::ptrdiff_t>(r) * outW;
        for (int c = 0; c < outW; ++c) store(row[c], src.at(xAt(c), y));
    }
}

// Distance in the source between neighbouring output pixels when n output
// pixels span nSrc source pixels corner to corner. A single output pixel has
// no span to divide and samples the first source pixel.
float corner_step(int nSrc, int n) noexcept {
    return n > 1 ? static_cast<float>(nSrc - 1) / static_cast<float>(n - 1) : 0.0f;
}

// The slice magnified by mag about its point (256 + cx, 256 + cy), which
// lands on output pixel (256, 256). A pixel whose position has no source
// pixel (its integer part outside 0 .. 511) keeps what the caller had there.
// A mag of 0 or NaN gives no pixel a source position (the centre's would be
// 0 / 0), so it leaves the output as it is without dividing at all.
template <class T>
void magnify_slice(T* out, const T* in, float mag, float cx, float cy) {
    if (mag == 0.0f || std::isnan(mag)) return;
    constexpr int kCentre = kSide / 2;
    const Source<T> src{in, kSide, kSide};
    const auto position = [mag](int i, float shift) {
        return static_cast<float>(i - kCentre) / mag + static_cast<float>(kCentre) + shift;
    };
    // Written as a range test so that a NaN or infinite position fails it
    // before any conversion to an integer.
    const auto inside = [](float p) { return p > -1.0f && p < static_cast<float>(kSide); };
    for (int r = 0; r < kSide; ++r) {
        const float y = position(r, cy);
        if (!inside(y)) continue;
        for (int c = 0; c < kSide; ++c) {
            const float x = position(c, cx);
            if (inside(x)) store(out[r * kSide + c], src.at(x, y));
        }
    }
}

}  // namespace

extern "C" {

void ctbicubic(float* out, const float* in, float mag, float cx, float cy) { magnify_slice(out, in, mag, cx, cy); }

void ctbicubicsi(int16_t* out, const int16_t* in, float mag, float cx, float cy) {
    magnify_slice(out, in, mag, cx, cy);
}

void ctbicubic2si(int16_t* out, const int16_t* in, int32_t nOut, int32_t nIn) {
    if (nOut <= 0 || nIn <= 0) return;
    const float s = corner_step(nIn, nOut);
    const auto at = [s](int i) { return static_cast<float>(i) * s; };
    resample(out, nOut, nOut, Source<int16_t>{in, nIn, nIn}, at, at);
}

// One step for both axes, taken from the widths; rows beyond the source
// (when the heights don't scale like the widths) repeat its last row.
void ctcubicmag(float* out, const float* in, int32_t outW, int32_t outH, int32_t inW, int32_t inH) {
    if (outW <= 0 || outH <= 0 || inW <= 0 || inH <= 0) return;
    const float s = corner_step(inW, outW);
    const float lastRow = static_cast<float>(inH - 1);
    resample(
        out, outW, outH, Source<float>{in, inW, inH}, [s](int c) { return static_cast<float>(c) * s; },
        [s, lastRow](int r) { return std::fmin(static_cast<float>(r) * s, lastRow); });
}

// The output sides are trunc(W * mag) and trunc(H * mag); a NaN, zero or
// negative mag makes them 0 and writes nothing, so the division below only
// ever sees a mag above 0.
void imgcubicmag(int16_t* out, const int16_t* in, int32_t W, int32_t H, float mag) {
    if (W <= 0 || H <= 0) return;
    const int outW = trunc_to_int(static_cast<float>(W) * mag);
    const int outH = trunc_to_int(static_cast<float>(H) * mag);
    const auto at = [mag](int i) { return static_cast<float>(i) / mag; };
    resample(out, outW, outH, Source<int16_t>{in, W, H}, at, at);
}

// An odd last column or row has no partner and is left out.
void imghalf(int16_t* out, const int16_t* in, int32_t W, int32_t H) {
    const int outW = W / 2, outH = H / 2;
    if (outW <= 0 || outH <= 0) return;
    for (int r = 0; r < outH; ++r) {
        const int16_t* top = in + static_cast<std::ptrdiff_t>(2 * r) * W;
        const int16_t* bottom = top + W;
        int16_t* row = out + static_cast<std::ptrdiff_t>(r) * outW;
        for (int c = 0; c < outW; ++c) {
            const int sum = top[2 * c] + top[2 * c + 1] + bottom[2 * c] + bottom[2 * c + 1];
            store(row[c], static_cast<float>(sum) * 0.25f);
        }
    }
}

}  // extern "C"
