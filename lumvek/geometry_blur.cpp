// Affine resampling (ctmatrixmag), rotation (imgrota) and the disc blur
// (ctcircleblur), all on the calling thread.
//
// The resampling maps every output pixel to a position in the input and
// samples it there, so no matrix is ever inverted: a singular matrix (a
// magnification of 0) just samples one point. Pixel centres sit at integer
// coordinates; positions beyond the slice take the border pixels' values,
// as every neighbour index in the library clamps.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

#include "band_frame.h"
#include "filter_common.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

// Input position = (a x + b y + c, d x + e y + f) for output pixel (x, y).
struct Affine {
    float a, b, c, d, e, f;

    bool finite() const {
        return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d) && std::isfinite(e) &&
               std::isfinite(f);
    }
};

// A coordinate held inside 0 .. 511; NaN (inf - inf from huge coefficients)
// gives 0, so the conversion to an index is always defined.
float inside(float v) { return v > 0.0f ? std::min(v, static_cast<float>(kSide - 1)) : 0.0f; }

// Bilinear sample of the slice at (x, y), clamped into it. At whole
// coordinates the fractions are 0 and the pixel comes back exactly.
float sample(const int16_t* in, float x, float y) {
    x = inside(x);
    y = inside(y);
    const int ix = static_cast<int>(x), iy = static_cast<int>(y);
    const int ix1 = std::min(ix + 1, kSide - 1), iy1 = std::min(iy + 1, kSide - 1);
    const float fx = x - static_cast<float>(ix), fy = y - static_cast<float>(iy);
    const int16_t* r0 = in + iy * kSide;
    const int16_t* r1 = in + iy1 * kSide;
    const float top = r0[ix] + fx * static_cast<float>(r0[ix1] - r0[ix]);
    const float bottom = r1[ix] + fx * static_cast<float>(r1[ix1] - r1[ix]);
    return top + fy * (bottom - top);
}

void resample(int16_t* out, const int16_t* in, int size, const Affine& m) {
    for (int y = 0; y < size; ++y) {
        const float fy = static_cast<float>(y);
        const float rowX = m.b * fy + m.c, rowY = m.e * fy + m.f;
        int16_t* o = out + static_cast<std::ptrdiff_t>(y) * size;
        for (int x = 0; x < size; ++x) {
            const float fx = static_cast<float>(x);
            o[x] = saturate16(round_nearest(sample(in, m.a * fx + rowX, m.d * fx + rowY)));
        }
    }
}

// Sine and cosine of an angle in degrees, exact at every multiple of 90
// degrees, so that quarter turns move whole pixels with no interpolation.
void sincos_degrees(float degrees, float& sine, float& cosine) {
    const double turn = std::remainder(static_cast<double>(degrees), 360.0);  // exact, -180 .. 180
    const double quarter = std::nearbyint(turn / 90.0);
    const double rest = (turn - 90.0 * quarter) * (std::numbers::pi / 180.0);
    const float s = static_cast<float>(std::sin(rest)), c = static_cast<float>(std::cos(rest));
    const float sines[4] = {s, c, -s, -c};
    const float cosines[4] = {c, -s, -c, s};
    const int q = (static_cast<int>(quarter) + 4) % 4;
    sine = sines[q];
    cosine = cosines[q];
}

// Sum of a slice row over columns [from, to) with the border values repeated
// beyond the row's ends, from prefix sums of the row padded by `reach` on
// either side.
class PaddedPrefix {
public:
    PaddedPrefix(const int16_t* in, int reach)
        : reach_(reach), pitch_(kSide + 2 * reach + 1), sums_(static_cast<std::size_t>(kSide) * pitch_) {
        // |sum| <= (512 + 2 * 4096) * 32768 < 2^31: int32 holds every prefix.
        for (int y = 0; y < kSide; ++y) {
            int32_t* p = row(y);
            p[0] = 0;
            for (int j = 0; j + 1 < pitch_; ++j) p[j + 1] = p[j] + in[y * kSide + clamp_index(j - reach, kSide - 1)];
        }
    }

    int32_t sum(int y, int from, int to) const { return row(y)[to + reach_] - row(y)[from + reach_]; }

private:
    int32_t* row(int y) { return sums_.data() + static_cast<std::size_t>(y) * pitch_; }
    const int32_t* row(int y) const { return sums_.data() + static_cast<std::size_t>(y) * pitch_; }

    int reach_, pitch_;
    std::vector<int32_t> sums_;
};

}  // namespace

extern "C" {

void ctmatrixmag(int16_t* out, const int16_t* in, int32_t outSize, float a, float b, float c, float d, float e,
                 float f) {
    const Affine m{a, b, c, d, e, f};
    if (outSize <= 0 || !m.finite()) return;
    resample(out, in, outSize, m);
}

// Input position = centre + R(-angle) (output - centre) with y pointing down,
// so the picture turns counter-clockwise as seen on screen.
void imgrota(int16_t* out, const int16_t* in, float degrees, float cx, float cy) {
    if (!std::isfinite(degrees) || !std::isfinite(cx) || !std::isfinite(cy)) return;
    float s = 0.0f, c = 1.0f;
    sincos_degrees(degrees, s, c);
    // In float throughout: huge centres overflow to inf, which sampling
    // clamps, instead of a double out of float range being converted.
    const Affine m{c, -s, cx - c * cx + s * cy, s, c, cy - s * cx - c * cy};
    resample(out, in, kSide, m);
}

// The disc is the offsets with dx^2 + dy^2 <= radius^2. Its sum comes from
// one prefix difference per disc row, in integers, so a flat slice stays
// exactly flat; the prefix sums are complete before anything is written, so
// out may be in. The result blends like the Gaussian 2D filters: avg (1 -
// enhance) + in enhance, clamped to 16 bits where sharpening overshoots.
void ctcircleblur(int16_t* out, const int16_t* in, float radius, float enhance) {
    if (!std::isfinite(radius) || !std::isfinite(enhance)) return;
    guarded([&] {
        const int reach = checked_radius(trunc_to_int(radius));
        const double r2 = radius > 0.0f ? static_cast<double>(radius) * radius : 0.0;
        std::vector<int> halfWidth(static_cast<std::size_t>(reach) + 1);
        int64_t count = 0;
        for (int dy = 0; dy <= reach; ++dy) {
            halfWidth[dy] = static_cast<int>(std::floor(std::sqrt(r2 - static_cast<double>(dy) * dy)));
            count += (dy == 0 ? 1 : 2) * (2 * halfWidth[dy] + 1);
        }
        const PaddedPrefix prefix(in, reach);
        const float keep = 1.0f - enhance;
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                int64_t sum = 0;
                for (int dy = -reach; dy <= reach; ++dy) {
                    const int h = halfWidth[std::abs(dy)];
                    sum += prefix.sum(clamp_index(y + dy, kSide - 1), x - h, x + h + 1);
                }
                const float avg = static_cast<float>(static_cast<double>(sum) / static_cast<double>(count));
                const float v = in[y * kSide + x];
                out[y * kSide + x] = saturate16(round_nearest(avg * keep + v * enhance));
            }
        }
    });
}

}  // extern "C"
