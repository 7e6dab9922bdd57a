// Element-wise arithmetic on float and 16-bit arrays and the conversions
// between them.
//
// Each export is one plain ascending loop: the compiler turns it into packed
// steps with a one-by-one tail, and where a destination overlaps a source it
// keeps the ascending element order. A count of zero or less does nothing.
// Results stored into 16-bit elements keep their low 16 bits unless a clamp
// is named.
#include <algorithm>
#include <cmath>

#include "band_frame.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

// Reach of var4moveave on each side of centre[0]: the caller keeps
// span / 2 + window / 2 within this, and the work copy holds centre[-64] ...
// centre[64].
constexpr int kMoveAveReach = 64;

}  // namespace

extern "C" {

// ---- float arithmetic -----------------------------------------------------

void var4add(float* dst, const float* src, int32_t n) {
    for (int32_t i = 0; i < n; ++i) dst[i] += src[i];
}

void var4sub(float* dst, const float* src, int32_t n) {
    for (int32_t i = 0; i < n; ++i) dst[i] -= src[i];
}

void var4addnz(float* dst, const float* src, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const float sum = dst[i] + src[i];
        dst[i] = sum < 0.0f ? 0.0f : sum;
    }
}

void var4mul(float* dst, const float* src, int32_t n) {
    for (int32_t i = 0; i < n; ++i) dst[i] *= src[i];
}

void var4addconst(float* data, float addend, int32_t n) {
    for (int32_t i = 0; i < n; ++i) data[i] += addend;
}

void var4mulconst(float* data, float factor, int32_t n) {
    for (int32_t i = 0; i < n; ++i) data[i] *= factor;
}

void vartwosingleave(float* dst, const float* src1, const float* src2, int32_t n) {
    for (int32_t i = 0; i < n; ++i) dst[i] = (src1[i] + src2[i]) * 0.5f;
}

// The sum runs over n / 2 values on each side of centre[0], so an even n
// adds n + 1 values and still divides by n; callers pass odd counts.
float var4ave(const float* centre, int32_t n) {
    if (n <= 0) return 0.0f;
    float sum = 0.0f;
    for (int32_t j = -(n / 2); j <= n / 2; ++j) sum += centre[j];
    return sum / static_cast<float>(n);
}

// Smooths centre[-(span/2)] ... centre[span/2] with a running window of
// window / 2 values on each side. Every output reads the copy taken before
// the first write. A reach beyond the work copy does nothing rather than
// touch memory the copy does not cover.
void var4moveave(float* centre, int32_t span, int32_t window) {
    if (span <= 0 || window <= 0) return;
    const int half = span / 2;
    const int side = window / 2;
    const int reach = half + side;
    if (reach > kMoveAveReach) return;
    float work[2 * kMoveAveReach + 1];
    std::copy(centre - reach, centre + reach + 1, work);
    const float* before = work + reach;  // before[j] is centre[j] as it was
    const float scale = 1.0f / static_cast<float>(window);
    for (int j = -half; j <= half; ++j) {
        float sum = 0.0f;
        for (int i = j - side; i <= j + side; ++i) sum += before[i];
        centre[j] = sum * scale;
    }
}

// ---- 16-bit arithmetic in place -------------------------------------------

void var2addconst(int16_t* data, int32_t addend, int32_t n) {
    const int16_t add = low16(addend);
    for (int32_t i = 0; i < n; ++i) data[i] = low16(data[i] + add);
}

// The sum wraps first; only then is a negative result cut to 0.
void var2addconstnz(int16_t* data, int32_t addend, int32_t n) {
    const int16_t add = low16(addend);
    for (int32_t i = 0; i < n; ++i) data[i] = std::max<int16_t>(low16(data[i] + add), 0);
}

void var2mulconst(int16_t* data, float factor, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        data[i] = static_cast<int16_t>(std::clamp(round_half_up(static_cast<float>(data[i]) * factor), -32000, 32000));
}

void var2ismulconst(int16_t* data, float factor, int32_t n) {
    for (int32_t i = 0; i < n; ++i) data[i] = low16(round_nearest(static_cast<float>(data[i]) * factor));
}

// A divisor of 0 leaves the array as it is instead of faulting the host.
void var2idiv(uint16_t* data, int32_t divisor, int32_t n) {
    if (divisor == 0) return;
    for (int32_t i = 0; i < n; ++i) data[i] = static_cast<uint16_t>(static_cast<int32_t>(data[i]) / divisor);
}

void var2imul(int16_t* out, const uint16_t* in, float factor) {
    *out = low16(round_half_up(static_cast<float>(*in) * factor));
}

void var2log(int16_t* data, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const int16_t v = std::max<int16_t>(data[i], 1);
        data[i] = low16(round_nearest(std::log10(static_cast<float>(v)) * 1000.0f));
    }
}

void var2lin(int16_t* data, float logScale, float factor, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const float v = std::pow(10.0f, static_cast<float>(data[i]) / logScale) * factor;
        data[i] = v > 32000.0f ? int16_t{32000} : low16(round_nearest(v));
    }
}

// ---- type conversion ------------------------------------------------------

int32_t var2ito4i(int32_t* dst, const uint16_t* src, int32_t n) {
    for (int32_t i = 0; i < n; ++i) dst[i] = src[i];
    return n;
}

void var2tofloat(float* dst, const int16_t* src, int32_t n) {
    for (int32_t i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]);
}

void var2itofloat(float* dst, const uint16_t* src, int32_t n) {
    for (int32_t i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]);
}

// Values below 10000 are taken as having wrapped past 65535.
void var2tosinglect(float* dst, const uint16_t* src, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const int32_t v = src[i];
        dst[i] = static_cast<float>(v + (v < 10000 ? 65536 : 0));  // kept branch-free for packed steps
    }
}

void var2tofloat_sp(float* dst, const int16_t* src, float factor, int32_t n) {
    for (int32_t i = 0; i < n; ++i) dst[i] += static_cast<float>(src[i]) * factor;
}

void varfloatto2(int16_t* dst, const float* src, int32_t n) {
    for (int32_t i = 0; i < n; ++i) dst[i] = low16(round_nearest(src[i]));
}

void varsingleto2ct(int16_t* dst, const float* src, int32_t n) {
    for (int32_t i = 0; i < n; ++i) dst[i] = low16(trunc_to_int(src[i]));
}

void vartwo2itofloat(float* dst, const uint16_t* src1, const uint16_t* src2, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        dst[i] = static_cast<float>(src1[i]) * 0.5f + static_cast<float>(src2[i]) * 0.5f;
}

void vartwo2istofloat(float* dst, const int16_t* src1, const int16_t* src2, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        dst[i] = static_cast<float>(src1[i]) * 0.5f + static_cast<float>(src2[i]) * 0.5f;
}

void vartwo2ito2imulconst(uint16_t* dst, const uint16_t* src1, const uint16_t* src2, float factor, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        dst[i] = static_cast<uint16_t>(round_half_up(static_cast<float>(src1[i] + src2[i]) * 0.5f * factor));
}

void vartwo2isto2imulconst(int16_t* dst, const int16_t* src1, const int16_t* src2, float factor, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        dst[i] = low16(round_nearest(static_cast<float>(src1[i] + src2[i]) * 0.5f * factor));
}

}  // extern "C"
