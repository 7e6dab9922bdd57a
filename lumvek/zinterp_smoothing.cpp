// Cubic interpolation along z, the soft field-of-view mask, the
// frequency-domain 2D filter and the two blends that bring texture of the
// unfiltered slices back. All run on the calling thread. All but ctorgmix
// clamp their results to 16 bits: an overshoot at a bright edge (the cubic
// or the sharpening filter) or a sum of two bright parts stays bright
// instead of wrapping to a large negative value.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "band_frame.h"
#include "fft_internal.h"
#include "lumvek.h"

using namespace lumvek_detail;

extern "C" {

void zintp(int16_t* out, const int16_t* in, int32_t width, int32_t height, int32_t n, float spacing, float position) {
    if (width <= 0 || height <= 0 || n <= 0) return;
    const float t = position / spacing;
    const int i = trunc_to_int(t);
    // Two slices or more beyond either end, all four samples clamp to the end
    // slice, which then comes out exactly whatever f is; limiting i there keeps
    // the index arithmetic from overflowing, and f 0 keeps an infinite t from
    // turning the result into NaN.
    const int base = std::clamp(i, -2, n + 1);
    const float f = base == i ? t - static_cast<float>(i) : 0.0f;
    const size_t sliceSize = static_cast<size_t>(width) * static_cast<size_t>(height);
    const int16_t* s0 = in + clamp_index(base - 1, n - 1) * sliceSize;
    const int16_t* s1 = in + clamp_index(base, n - 1) * sliceSize;
    const int16_t* s2 = in + clamp_index(base + 1, n - 1) * sliceSize;
    const int16_t* s3 = in + clamp_index(base + 2, n - 1) * sliceSize;
    for (size_t k = 0; k < sliceSize; ++k) {
        const float p0 = s0[k], p1 = s1[k], p2 = s2[k], p3 = s3[k];
        const float c3 = 1.5f * p1 - 0.5f * p0 - 1.5f * p2 + 0.5f * p3;
        const float c2 = p0 - 2.5f * p1 + 2.0f * p2 - 0.5f * p3;
        const float c1 = 0.5f * p2 - 0.5f * p0;
        out[k] = saturate16(round_nearest(((c3 * f + c2) * f + c1) * f + p1));
    }
}

// Pulls the outside of the circular field of view to air: stored 0 when the
// slice carries a CT offset, -1000 when its values are CT numbers. The change
// fades out over fadeWidth pixels inside the circle (smoothstep).
void circleblur2dct(int16_t* img, int32_t ctOffset, float fadeWidth) {
    const float s = 1.0f / std::max(1.0f, fadeWidth);
    const float air = ctOffset != 0 ? 0.0f : 1000.0f;
    for (int y = 0; y < kSide; ++y) {
        const float dy = static_cast<float>(y) - 255.5f;
        for (int x = 0; x < kSide; ++x) {
            const float dx = static_cast<float>(x) - 255.5f;
            const float d = std::clamp((255.5f - std::sqrt(dx * dx + dy * dy)) * s, 0.0f, 1.0f);
            const float u = 1.0f - d;
            const float u2 = u * u;
            const float w = 3.0f * u2 - 2.0f * (u2 * u);
            int16_t& pixel = img[y * kSide + x];
            const float v = pixel;
            pixel = saturate16(round_nearest(v - w * (v + air)));
        }
    }
}

// H(f) = low + (1 - low) exp(-f^2 / lowScale) + high (1 - exp(-f^2 / highScale))^4:
// 1 at zero frequency, tending to low + high at high frequencies.
void ctinr2dfilter(int16_t* out, const int16_t* in, float pixelSize, float lowScale, float low, float highScale,
                   float high) {
    guarded([&] {
        std::vector<float> transfer(kSliceSize);
        for (int i = 0; i < kSide; ++i) {
            const float fy = axis_frequency(i, pixelSize);
            for (int j = 0; j < kSide; ++j) {
                const float fx = axis_frequency(j, pixelSize);
                const float q = fx * fx + fy * fy;
                const float e = 1.0f - std::exp(-q / highScale);
                transfer[i * kSide + j] = low + (1.0f - low) * std::exp(-q / lowScale) + high * (e * e * e * e);
            }
        }
        filter_slice(in, out, transfer.data(), Overflow::Clamp);
    });
}

void ctorgmul(int16_t* img, const int16_t* highPass, const int16_t* lowPass, float ratio) {
    for (int i = 0; i < kSliceSize; ++i) {
        const float h = highPass[i], v = img[i], l = lowPass[i];
        img[i] = saturate16(round_nearest(h * ratio + v * (1.0f - ratio) + l * ratio));
    }
}

// The weight rises from 0 at 624 to 1 at 974, stays 1 up to 1224 and falls
// to 0 at 1624 (stored values of soft tissue with the usual CT offset).
void ctorgmix(int16_t* dst, const int16_t* src, const int16_t* ref) {
    for (int i = 0; i < kSliceSize; ++i) {
        const float t = ref[i];
        const float a = std::clamp((t - 624.0f) * 0.0028571428f, 0.0f, 1.0f);
        const float b = std::clamp(1.0f - (t - 1224.0f) * 0.0025f, 0.0f, 1.0f);
        const float w = a * b;
        const float d = dst[i], s = src[i];
        dst[i] = low16(round_nearest((1.0f - w) * d + w * s));
    }
}

}  // extern "C"
