// Display conversion: CT numbers to 8-bit grey levels through a window, written
// bottom-up (source row 0 lands in the last output row) so the result can be
// blitted as a device-independent bitmap body without further change.
#include <cstddef>

#include "band_frame.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

// The display window as float limits. A value at or above hi is white, else
// one at or below lo is black, else it is scaled linearly; a window with
// hi <= lo (width 0 or 1 in the integer exports) thus gives a two-level image.
class Window {
public:
    Window(float lo, float hi) noexcept : lo_(lo), hi_(hi), span_(hi > lo ? hi - lo : 1.0f) {}

    uint8_t level(float v) const noexcept {
        // The quotient is formed for every value and the tests choose
        // afterwards, so a row converts without branches. Clamping first makes
        // the conversion safe for the values the tests discard; inside the
        // window the value already lies in [0.5, 255.5]. A window without
        // inside divides by 1 instead of 0, and discards that quotient too.
        float scaled = (v - lo_) / span_ * 255.0f + 0.5f;
        scaled = scaled >= 0.0f ? scaled : 0.0f;
        scaled = scaled <= 255.5f ? scaled : 255.5f;
        int grey = static_cast<int>(scaled);
        grey = v <= lo_ ? 0 : grey;
        grey = v >= hi_ ? 255 : grey;  // checked last, so it wins when hi == lo
        return static_cast<uint8_t>(grey);
    }

private:
    float lo_;
    float hi_;
    float span_;  // hi - lo whenever a value can lie inside
};

// Integer window arguments: the half width is truncated to an integer first,
// so width 401 has the same limits as 400.
Window integer_window(int32_t ww, int32_t wc) noexcept {
    const int64_t half = ww / 2;
    return Window(static_cast<float>(wc - half), static_cast<float>(wc + half));
}

// The bitmap exports without intercept keep the half width as a float.
Window float_window(int32_t ww, int32_t wc) noexcept {
    const float half = static_cast<float>(ww) * 0.5f;
    const float centre = static_cast<float>(wc);
    return Window(centre - half, centre + half);
}

// Fills height rows of outWidth bytes bottom-up, from every step-th value of
// each source row through grey(value).
template <int step, class T, class Grey>
void grey_rows(uint8_t* dst, const T* src, int outWidth, int height, ptrdiff_t srcStride, Grey grey) noexcept {
    for (int r = 0; r < height; ++r) {
        const T* in = src + r * srcStride;
        uint8_t* out = dst + static_cast<ptrdiff_t>(height - 1 - r) * outWidth;
        for (int c = 0; c < outWidth; ++c) out[c] = grey(in[c * step]);
    }
}

// The intercept is added in single precision: for 16-bit stored values and a
// 16-bit intercept the float sum is the exact integer sum.
template <int step, class T>
void window_rows(uint8_t* dst, const T* src, int outWidth, int height, ptrdiff_t srcStride, Window w,
                 float intercept) noexcept {
    grey_rows<step>(dst, src, outWidth, height, srcStride,
                    [w, intercept](T v) { return w.level(static_cast<float>(v) + intercept); });
}

template <class T>
void window_square(uint8_t* dst, const T* src, int32_t n, Window w, float intercept) noexcept {
    if (n < 1) return;
    window_rows<1>(dst, src, n, n, n, w, intercept);
}

template <class T>
void window_plain(uint8_t* dst, const T* src, int32_t width, int32_t height, int32_t ww, int32_t wc) noexcept {
    if (width < 1 || height < 1) return;
    window_rows<1>(dst, src, width, height, width, float_window(ww, wc), 0.0f);
}

// The magnified view shows the 256 x 256 quarter from (x0, y0). Origins are
// kept to 0..255 so that every sample, neighbours included, lies inside the
// slice whatever the caller passes.
int zoom_origin(int32_t v) noexcept { return clamp_index(low16(v), kSide / 2 - 1); }

// Output pixel (c, r) of the magnified view samples the source at
// (c * 0.5 + x0, r * 0.5 + y0): column 2k lies on source column x0 + k
// (fraction 0) and column 2k + 1 halfway to the next (fraction 0.5), and the
// same for rows. interp(ix, iy, fx, fy) interpolates at (ix + fx, iy + fy).
template <class Interp>
void zoom2x(uint8_t* dst, int32_t ww, int32_t wc, int32_t x0, int32_t y0, Interp interp) noexcept {
    const Window w = integer_window(low16(ww), low16(wc));
    const int ox = zoom_origin(x0);
    const int oy = zoom_origin(y0);
    for (int r = 0; r < kSide; ++r) {
        const int iy = oy + r / 2;
        const float fy = (r % 2 == 0) ? 0.0f : 0.5f;
        uint8_t* out = dst + static_cast<ptrdiff_t>(kSide - 1 - r) * kSide;
        for (int k = 0; k < kSide / 2; ++k) {
            out[2 * k] = w.level(interp(ox + k, iy, 0.0f, fy));
            out[2 * k + 1] = w.level(interp(ox + k, iy, 0.5f, fy));
        }
    }
}

float lerp_pair(float a, float b, float f) noexcept { return a * (1.0f - f) + b * f; }

// One axis of the resampled bitmap: output index i of outN spans source
// positions 0..n-1 of the region. The last source position is blended from
// n-2 with fraction 0.99 so that its right neighbour stays inside the region;
// a one-pixel region, or a single output pixel, samples position 0.
struct AxisSample {
    int index;  // first neighbour, relative to the region
    int next;   // second neighbour, relative to the region
    float frac;
};

AxisSample axis_sample(int i, int n, int outN) noexcept {
    if (n < 2 || outN < 2) return {0, n < 2 ? 0 : 1, 0.0f};
    const float pos = static_cast<float>(i) * static_cast<float>(n - 1) / static_cast<float>(outN - 1);
    const int index = clamp_index(trunc_to_int(pos), n - 1);
    if (index == n - 1) return {n - 2, n - 1, 0.99f};
    return {index, index + 1, pos - static_cast<float>(index)};
}

}  // namespace

extern "C" {

// Every repaint of a view runs this over a whole slice. A table of the grey
// level of all 65536 stored values, built with the same windowing, costs a
// quarter of the divisions of converting each pixel and gives the same bytes.
void ct2trn(const int16_t* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept) {
    const Window w = integer_window(low16(ww), low16(wc));
    const float icpt = static_cast<float>(low16(intercept));
    uint8_t table[65536];
    for (int bits = 0; bits < 65536; ++bits) table[bits] = w.level(static_cast<float>(low16(bits)) + icpt);
    grey_rows<1>(dst, src, kSide, kSide, kSide, [&table](int16_t v) { return table[static_cast<uint16_t>(v)]; });
}

void ct4trn(const float* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept) {
    window_rows<1>(dst, src, kSide, kSide, kSide, integer_window(low16(ww), low16(wc)),
                   static_cast<float>(low16(intercept)));
}

void ct2bgtrn(uint8_t* dst, const int16_t* src, int32_t n, int32_t ww, int32_t wc, int32_t intercept) {
    window_square(dst, src, n, integer_window(ww, wc), static_cast<float>(intercept));
}

void ct4bgtrn(uint8_t* dst, const float* src, int32_t n, int32_t ww, int32_t wc, int32_t intercept) {
    window_square(dst, src, n, integer_window(ww, wc), static_cast<float>(intercept));
}

void dr2trn(uint8_t* dst, const int16_t* src, int32_t width, int32_t height, int32_t ww, int32_t wc) {
    window_plain(dst, src, width, height, ww, wc);
}

void dr4trn(uint8_t* dst, const float* src, int32_t width, int32_t height, int32_t ww, int32_t wc) {
    window_plain(dst, src, width, height, ww, wc);
}

void dr2strn(uint8_t* dst, const int16_t* src, int32_t width, int32_t height, int32_t ww, int32_t wc) {
    if (width < 2 || height < 1) return;
    window_rows<2>(dst, src, width / 2, height, width, float_window(ww, wc), 0.0f);
}

void ct2trn2x(const int16_t* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept, int32_t x0, int32_t y0) {
    const float icpt = static_cast<float>(low16(intercept));
    zoom2x(dst, ww, wc, x0, y0, [src, icpt](int ix, int iy, float fx, float fy) {
        const int16_t* p = src + iy * kSide + ix;
        const float top = lerp_pair(p[0] + icpt, p[1] + icpt, fx);
        const float bottom = lerp_pair(p[kSide] + icpt, p[kSide + 1] + icpt, fx);
        return lerp_pair(top, bottom, fy);
    });
}

void ct2trn2xcubic(const int16_t* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept, int32_t x0,
                   int32_t y0) {
    const float icpt = static_cast<float>(low16(intercept));
    zoom2x(dst, ww, wc, x0, y0, [src, icpt](int ix, int iy, float fx, float fy) {
        // Neighbours beyond the slice edge repeat the edge pixel.
        float rows[4];
        for (int j = 0; j < 4; ++j) {
            const int16_t* row = src + clamp_index(iy - 1 + j, kSide - 1) * kSide;
            float q[4];
            for (int i = 0; i < 4; ++i) q[i] = row[clamp_index(ix - 1 + i, kSide - 1)] + icpt;
            rows[j] = catmull_rom(q, fx);
        }
        return catmull_rom(rows, fy);
    });
}

void li2bmp(uint8_t* dst, const int16_t* src, int32_t srcStride, [[maybe_unused]] int32_t srcHeight, int32_t width,
            int32_t height, int32_t x0, int32_t y0, int32_t outW, int32_t outH, int32_t ww, int32_t wc) {
    if (outW < 1 || outH < 1 || width < 1 || height < 1) return;
    const Window win = float_window(ww, wc);
    const ptrdiff_t stride = (static_cast<ptrdiff_t>(outW) + 3) / 4 * 4;
    const int16_t* region = src + static_cast<ptrdiff_t>(y0) * srcStride + x0;
    for (int r = 0; r < outH; ++r) {
        const AxisSample sy = axis_sample(r, height, outH);
        const int16_t* row0 = region + static_cast<ptrdiff_t>(sy.index) * srcStride;
        const int16_t* row1 = region + static_cast<ptrdiff_t>(sy.next) * srcStride;
        uint8_t* out = dst + static_cast<ptrdiff_t>(outH - 1 - r) * stride;
        for (int c = 0; c < outW; ++c) {
            const AxisSample sx = axis_sample(c, width, outW);
            const float top = lerp_pair(row0[sx.index], row0[sx.next], sx.frac);
            const float bottom = lerp_pair(row1[sx.index], row1[sx.next], sx.frac);
            out[c] = win.level(lerp_pair(top, bottom, sy.frac));
        }
    }
}

}
