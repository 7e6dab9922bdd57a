// The library's complex FFT: radix-2 decimation in frequency on separate real
// and imaginary arrays, the process-wide twiddle tables of cfftprep, the 2D
// transforms built from it, and smoothing of a slice by a transfer function in
// the frequency domain.
//
// Every pass computes the butterflies of the classic in-place form: an element
// gets the sum of itself and its partner half a block away, the partner gets
// their difference turned by the twiddle of index j * blocks (kept as it is
// when that index is 0); the classic form then reorders by bit reversal and
// scales the inverse by 1/n. Here each pass writes its sums and differences
// straight to where the next pass reads them (self-sorting, alternating
// between two scratch lines), so every access is contiguous, 4 or 8 points or
// lines go through a butterfly side by side, and the last pass writes the
// result in natural order (scaled, for the inverse) into the caller's array.
// Each element goes through the same float operations in the same order as in
// the classic form, so the results are bit for bit the same.
//
// The process tables are not locked: like all of the library's process-wide
// state they must not be set up, used or released from two threads at once.

#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "band_frame.h"
#include "fft_internal.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

constexpr float kTwoPi = 6.2831855f;
// Columns of a 2D transform go through the passes this many side by side at
// most (the widest pack).
constexpr int kColumnBatch = 8;

struct FftTables {
    int n = 0;                        // 0: no tables
    std::vector<float> sine, cosine;  // sin/cos(2 pi i / n), i = 0 ... n/2
    std::vector<float> scratch;       // two lines, real and imaginary parts: 4 n
};

FftTables make_tables(int n) {
    FftTables t;
    const int entries = n / 2 + 1;
    t.sine.resize(entries);
    t.cosine.resize(entries);
    t.scratch.resize(4 * static_cast<size_t>(n));
    for (int i = 0; i < entries; ++i) {
        const float angle = kTwoPi * static_cast<float>(i) / static_cast<float>(n);
        t.sine[i] = std::sin(angle);
        t.cosine[i] = std::cos(angle);
    }
    t.n = n;
    return t;
}

FftTables g_tables;             // cfftprep ... cfftfree
std::vector<float> g_transfer;  // ctsmooth_tfset ... ctsmooth_tffree; empty: none

bool is_transform_length(int n) { return n >= 1 && (n & (n - 1)) == 0; }

// Where a pass reads or writes: element e starts at re/im + e * spacing.
struct Line {
    float* re;
    float* im;
    ptrdiff_t spacing;
};

// W floats processed side by side: 8 where the processor has AVX2, 4 (SSE)
// otherwise. Values of these types never cross a call boundary that isn't
// inlined, so the note about their calling convention is beside the point.
#pragma GCC diagnostic ignored "-Wpsabi"
template <int W>
struct Pack {
    typedef float Value __attribute__((vector_size(4 * W)));
    typedef float AnyAddress __attribute__((vector_size(4 * W), aligned(4), may_alias));
    [[gnu::always_inline]] static Value load(const float* p) { return *reinterpret_cast<const AnyAddress*>(p); }
    [[gnu::always_inline]] static void store(float* p, Value v) { *reinterpret_cast<AnyAddress*>(p) = v; }
};

// A single float as the element of a pass, for lines too short for a pack.
struct OneFloat {
    using Value = float;
    static float load(const float* p) { return *p; }
    static void store(float* p, float v) { *p = v; }
};

// The turned difference of one butterfly: re = c re(d) + s im(d) dir,
// im = c im(d) - s re(d) dir. With dir -1 adding the negated product is the
// same float operation as subtracting it.
template <bool Inverse, class E, class T>
[[gnu::always_inline]] inline void turn(E dr, E di, T c, T s, E& outRe, E& outIm) {
    if constexpr (Inverse) {
        outRe = c * dr - s * di;
        outIm = c * di + s * dr;
    } else {
        outRe = c * dr + s * di;
        outIm = c * di - s * dr;
    }
}

// One pass over elements of kind L: a float, or a pack of floats from
// different lines or from neighbouring points of one line, all sharing one
// twiddle. The data holds blocks of 2 * half elements, `stride` of them
// interleaved element by element. Butterfly p of a block uses table entry
// p * twStep.
template <bool Inverse, class L>
[[gnu::always_inline]] inline void pass(Line x, Line y, int half, int stride, int twStep, const FftTables& t) {
    using E = typename L::Value;
    const ptrdiff_t partner = static_cast<ptrdiff_t>(half) * stride * x.spacing;
    const ptrdiff_t next = stride * y.spacing;
    const float* cosine = t.cosine.data();
    const float* sine = t.sine.data();
    for (int p = 0; p < half; ++p) {
        const float c = cosine[p * twStep];
        const float s = sine[p * twStep];
        for (int q = 0; q < stride; ++q) {
            const ptrdiff_t in = (static_cast<ptrdiff_t>(p) * stride + q) * x.spacing;
            const ptrdiff_t out = (2 * static_cast<ptrdiff_t>(p) * stride + q) * y.spacing;
            const E aRe = L::load(x.re + in), aIm = L::load(x.im + in);
            const E bRe = L::load(x.re + in + partner), bIm = L::load(x.im + in + partner);
            const E dRe = aRe - bRe, dIm = aIm - bIm;
            L::store(y.re + out, aRe + bRe);
            L::store(y.im + out, aIm + bIm);
            if (p == 0) {
                L::store(y.re + out + next, dRe);
                L::store(y.im + out + next, dIm);
            } else {
                E tRe, tIm;
                turn<Inverse>(dRe, dIm, c, s, tRe, tIm);
                L::store(y.re + out + next, tRe);
                L::store(y.im + out + next, tIm);
            }
        }
    }
}

// The last pass: one butterfly per block, all with twiddle index 0, then the
// inverse's 1/n. Each butterfly writes where it reads, so x may be y.
template <bool Inverse, class L>
[[gnu::always_inline]] inline void last_pass(Line x, Line y, int stride, int n) {
    using E = typename L::Value;
    const float factor = 1.0f / static_cast<float>(n);
    for (int q = 0; q < stride; ++q) {
        const ptrdiff_t in = q * x.spacing, out = q * y.spacing;
        const E aRe = L::load(x.re + in), aIm = L::load(x.im + in);
        const E bRe = L::load(x.re + in + stride * x.spacing), bIm = L::load(x.im + in + stride * x.spacing);
        E sRe = aRe + bRe, sIm = aIm + bIm, dRe = aRe - bRe, dIm = aIm - bIm;
        if constexpr (Inverse) {
            sRe *= factor;
            sIm *= factor;
            dRe *= factor;
            dIm *= factor;
        }
        L::store(y.re + out, sRe);
        L::store(y.im + out, sIm);
        L::store(y.re + out + stride * y.spacing, dRe);
        L::store(y.im + out + stride * y.spacing, dIm);
    }
}

// Runs the passes from `blocks` blocks up to n/2, each element holding `unit`
// consecutive points of a line: the first reads `from`, the following ones
// alternate between the scratch lines starting with work[next], the last
// writes `to`.
template <bool Inverse, class L>
[[gnu::always_inline]] inline void passes_from(Line from, Line to, const Line (&work)[2], int next, int n, int blocks,
                                               int unit, const FftTables& t) {
    for (; blocks < n / 2; blocks *= 2) {
        pass<Inverse, L>(from, work[next], n / (2 * blocks), blocks / unit, blocks, t);
        from = work[next];
        next ^= 1;
    }
    last_pass<Inverse, L>(from, to, blocks / unit, n);
}

// Lane patterns of the first passes of a line, where a block is narrower
// than a pack: lane l of a pack of W neighbouring butterflies takes twiddle
// entry l rounded down to a multiple of the block count, and the sums and
// differences leave as two packs, each made of alternating runs of `Blocks`
// sums and `Blocks` differences.
constexpr int twiddle_lane(int lane, int blocks) { return lane & ~(blocks - 1); }

constexpr int output_lane(int lane, int chunk, int width, int blocks) {
    const int group = lane / (2 * blocks), r = lane % (2 * blocks);
    const int source = chunk * width / 2 + group * blocks + (r < blocks ? r : r - blocks);
    return r < blocks ? source : width + source;
}

template <int W, int Blocks, int... L>
[[gnu::always_inline]] inline typename Pack<W>::Value spread_twiddles(typename Pack<W>::Value v,
                                                                      std::integer_sequence<int, L...>) {
    return __builtin_shufflevector(v, v, twiddle_lane(L, Blocks)...);
}

template <int W, int Blocks, int... L>
[[gnu::always_inline]] inline void interleave(typename Pack<W>::Value sums, typename Pack<W>::Value diffs, float* out,
                                              std::integer_sequence<int, L...>) {
    Pack<W>::store(out, __builtin_shufflevector(sums, diffs, output_lane(L, 0, W, Blocks)...));
    Pack<W>::store(out + W, __builtin_shufflevector(sums, diffs, output_lane(L, 1, W, Blocks)...));
}

// One of the first passes of a line of n >= 2W points, W butterflies at a
// time; the lanes whose twiddle index is 0 keep their difference.
template <bool Inverse, int W, int Blocks>
[[gnu::always_inline]] inline void narrow_pass(Line x, Line y, int n, const FftTables& t) {
    using P = Pack<W>;
    using V = typename P::Value;
    constexpr auto lanes = std::make_integer_sequence<int, W>{};
    const int partner = n / 2;
    const float* cosine = t.cosine.data();
    const float* sine = t.sine.data();
    for (int i = 0; i < partner; i += W) {
        const V aRe = P::load(x.re + i), aIm = P::load(x.im + i);
        const V bRe = P::load(x.re + i + partner), bIm = P::load(x.im + i + partner);
        const V dRe = aRe - bRe, dIm = aIm - bIm;
        const V c = spread_twiddles<W, Blocks>(P::load(cosine + i), lanes);
        const V s = spread_twiddles<W, Blocks>(P::load(sine + i), lanes);
        V tRe, tIm;
        turn<Inverse>(dRe, dIm, c, s, tRe, tIm);
        if (i == 0) {
            for (int lane = 0; lane < Blocks; ++lane) {
                tRe[lane] = dRe[lane];
                tIm[lane] = dIm[lane];
            }
        }
        interleave<W, Blocks>(aRe + bRe, tRe, y.re + 2 * i, lanes);
        interleave<W, Blocks>(aIm + bIm, tIm, y.im + 2 * i, lanes);
    }
}

// The passes with fewer blocks than a pack has lanes: the first reads `from`,
// the following ones alternate between the scratch lines starting with
// work[next]. Returns the scratch line that holds the data.
template <bool Inverse, int W, int Blocks = 1>
[[gnu::always_inline]] inline int narrow_passes(Line from, const Line (&work)[2], int next, int n, const FftTables& t) {
    narrow_pass<Inverse, W, Blocks>(from, work[next], n, t);
    if constexpr (2 * Blocks < W)
        return narrow_passes<Inverse, W, 2 * Blocks>(work[next], work, next ^ 1, n, t);
    else
        return next;
}

// Transforms one line of n points in place with tables t (length n).
template <int W>
[[gnu::always_inline]] inline void line_kernel(float* re, float* im, int n, bool inverse, const FftTables& t,
                                               float* scratch) {
    if (n < 2) return;  // a single point is its own transform, also scaled by 1/1
    const auto run = [&]<bool Inverse>() {
        if (n < 2 * W) {
            const Line work[2] = {{scratch, scratch + n, 1}, {scratch + 2 * n, scratch + 3 * n, 1}};
            passes_from<Inverse, OneFloat>({re, im, 1}, {re, im, 1}, work, 0, n, 1, 1, t);
        } else {
            const Line work[2] = {{scratch, scratch + n, W}, {scratch + 2 * n, scratch + 3 * n, W}};
            const int holding = narrow_passes<Inverse, W>({re, im, W}, work, 0, n, t);
            passes_from<Inverse, Pack<W>>(work[holding], {re, im, W}, work, holding ^ 1, n, W, W, t);
        }
    };
    if (inverse)
        run.template operator()<true>();
    else
        run.template operator()<false>();
}

// Transforms the columns of an n x n image (n >= W) in place, W side by side;
// `batch` holds two scratch lines of W columns (4 * W * n floats).
template <int W>
[[gnu::always_inline]] inline void columns_kernel(float* re, float* im, int n, bool inverse, const FftTables& t,
                                                  float* batch) {
    const ptrdiff_t size = static_cast<ptrdiff_t>(W) * n;
    const Line work[2] = {{batch, batch + size, W}, {batch + 2 * size, batch + 3 * size, W}};
    for (int c0 = 0; c0 < n; c0 += W) {
        const Line columns{re + c0, im + c0, n};
        if (inverse)
            passes_from<true, Pack<W>>(columns, columns, work, 0, n, 1, 1, t);
        else
            passes_from<false, Pack<W>>(columns, columns, work, 0, n, 1, 1, t);
    }
}

// The same kernels built for AVX2 and for plain SSE, chosen once per process.
// Only adds, subtracts and multiplies are involved, so both give the same bits.
__attribute__((target("avx2"))) void line_avx2(float* re, float* im, int n, bool inverse, const FftTables& t,
                                               float* scratch) {
    line_kernel<8>(re, im, n, inverse, t, scratch);
}
void line_sse(float* re, float* im, int n, bool inverse, const FftTables& t, float* scratch) {
    line_kernel<4>(re, im, n, inverse, t, scratch);
}

__attribute__((target("avx2"))) void columns_avx2(float* re, float* im, int n, bool inverse, const FftTables& t,
                                                  float* batch) {
    columns_kernel<8>(re, im, n, inverse, t, batch);
}
void columns_sse(float* re, float* im, int n, bool inverse, const FftTables& t, float* batch) {
    columns_kernel<4>(re, im, n, inverse, t, batch);
}

bool has_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

// One line of n points with the tables and scratch lines of t.
void transform_line(float* re, float* im, int n, bool inverse, FftTables& t) {
    (has_avx2() ? line_avx2 : line_sse)(re, im, n, inverse, t, t.scratch.data());
}

void transform_columns(float* re, float* im, int n, bool inverse, const FftTables& t, float* batch) {
    (has_avx2() ? columns_avx2 : columns_sse)(re, im, n, inverse, t, batch);
}

// The 2D and self-contained 1D transforms build their own tables in place of
// any prepared set and release them: afterwards none is left.
void release_tables() { g_tables = FftTables{}; }

// Radial frequency of element (row r, column c) of a 512 x 512 transfer
// function, in cycles per mm.
float radial_frequency(int r, int c, float p) {
    const float fx = axis_frequency(c, p);
    const float fy = axis_frequency(r, p);
    return std::sqrt(fx * fx + fy * fy);
}

void fill_transfer(float* tf, float p, float fc, float order, int type) {
    if (type < LUMVEK_TF_LOW_PASS || type > LUMVEK_TF_HIGH_PASS) return;
    float k = 0.0f;
    if (type == LUMVEK_TF_LOW_PASS || type == LUMVEK_TF_HIGH_PASS)
        k = std::pow(-std::log(0.1f), 1.0f / order) / fc;
    for (int r = 0; r < kSide; ++r) {
        for (int c = 0; c < kSide; ++c) {
            const float f = radial_frequency(r, c, p);
            float value = 1.0f;
            if (type == LUMVEK_TF_BUTTERWORTH) {
                value = 1.0f / (1.0f + std::pow(f / fc, order));
            } else if (type != LUMVEK_TF_ALL_PASS) {
                const float g = order == 2.0f ? (f * f) * (k * k) : std::pow(f * k, order);
                value = type == LUMVEK_TF_LOW_PASS ? std::exp(-g) : 1.0f - std::exp(-g);
            }
            tf[r * kSide + c] = value;
        }
    }
}

// The curve holds the transfer value every 0.01 cycles per mm from 0 on.
void fill_transfer_from_curve(float* tf, float p, const float* curve) {
    for (int r = 0; r < kSide; ++r) {
        for (int c = 0; c < kSide; ++c) {
            const float x = radial_frequency(r, c, p) * 100.0f;
            const int i = trunc_to_int(x);
            const float t = x - static_cast<float>(i);
            tf[r * kSide + c] = curve[i] * (1.0f - t) + curve[i + 1] * t;
        }
    }
}

}  // namespace

namespace lumvek_detail {

void transform_2d(const int16_t* src, float* re, float* im, int n, int dir) {
    if (!is_transform_length(n)) return;
    FftTables t = make_tables(n);
    const size_t count = static_cast<size_t>(n) * n;
    // Line buffers for the columns: 8 side by side, or one at a time when n < 8.
    std::vector<float> batch(4 * kColumnBatch * static_cast<size_t>(n));
    if (src != nullptr && dir == LUMVEK_FFT_FORWARD) {
        for (size_t i = 0; i < count; ++i) {
            re[i] = src[i];
            im[i] = 0.0f;
        }
    }
    const bool inverse = dir == LUMVEK_FFT_INVERSE;
    for (int r = 0; r < n; ++r)
        transform_line(re + static_cast<size_t>(r) * n, im + static_cast<size_t>(r) * n, n, inverse, t);
    if (n >= kColumnBatch) {
        transform_columns(re, im, n, inverse, t, batch.data());
    } else {
        float* lineRe = batch.data();
        float* lineIm = lineRe + n;
        for (int c = 0; c < n; ++c) {
            for (int r = 0; r < n; ++r) {
                lineRe[r] = re[r * n + c];
                lineIm[r] = im[r * n + c];
            }
            transform_line(lineRe, lineIm, n, inverse, t);
            for (int r = 0; r < n; ++r) {
                re[r * n + c] = lineRe[r];
                im[r * n + c] = lineIm[r];
            }
        }
    }
    release_tables();
}

float axis_frequency(int i, float pixel) noexcept {
    const int k = i <= kSide / 2 ? i : kSide - i;
    return static_cast<float>(k) / (pixel * static_cast<float>(kSide));
}

void filter_slice(const int16_t* src, int16_t* dst, const float* transfer, Overflow overflow) {
    std::vector<float> re(kSliceSize), im(kSliceSize);
    transform_2d(src, re.data(), im.data(), kSide, LUMVEK_FFT_FORWARD);
    for (int i = 0; i < kSliceSize; ++i) {
        re[i] *= transfer[i];
        im[i] *= transfer[i];
    }
    transform_2d(nullptr, re.data(), im.data(), kSide, LUMVEK_FFT_INVERSE);
    if (overflow == Overflow::Clamp)
        for (int i = 0; i < kSliceSize; ++i) dst[i] = saturate16(round_nearest(re[i]));
    else
        for (int i = 0; i < kSliceSize; ++i) dst[i] = low16(round_nearest(re[i]));
}

}  // namespace lumvek_detail

extern "C" {

void cfftprep(int32_t n) {
    const int length = low16(n);
    if (!is_transform_length(length)) return;
    guarded([&] { g_tables = make_tables(length); });
}

// Any direction but the inverse is the forward transform. Without own tables
// and with none prepared for this length, the call builds its own set rather
// than reading a table that isn't there.
void cfft(float* re, float* im, int32_t n, int32_t direction, int32_t ownTables) {
    const int length = low16(n);
    if (!is_transform_length(length)) return;
    const bool inverse = low16(direction) == LUMVEK_FFT_INVERSE;
    guarded([&] {
        if (low16(ownTables) != LUMVEK_FFT_OWN_TABLES && g_tables.n == length) {
            transform_line(re, im, length, inverse, g_tables);
            return;
        }
        FftTables t = make_tables(length);
        transform_line(re, im, length, inverse, t);
        if (low16(ownTables) == LUMVEK_FFT_OWN_TABLES) release_tables();
    });
}

void cfftfree(void) { release_tables(); }

void cfft2d(const int16_t* src, float* re, float* im, int32_t n, int32_t direction) {
    guarded([&] { transform_2d(src, re, im, low16(n), low16(direction)); });
}

void cfft2df(float* re, float* im, int32_t n, int32_t direction) {
    guarded([&] { transform_2d(nullptr, re, im, low16(n), low16(direction)); });
}

void cttf(float* transfer, float pixelSize, float cutoff, float order, int32_t type) {
    fill_transfer(transfer, pixelSize, cutoff, order, low16(type));
}

void cttf1d2d(float* transfer, float pixelSize, const float* curve) {
    fill_transfer_from_curve(transfer, pixelSize, curve);
}

// A type outside 0 ... 3 leaves the function all zero.
void ctsmooth_tfset(float pixelSize, float cutoff, float order, int32_t type) {
    guarded([&] {
        std::vector<float> tf(kSliceSize);
        fill_transfer(tf.data(), pixelSize, cutoff, order, low16(type));
        g_transfer = std::move(tf);
    });
}

void ctsmooth_tf1dset(float pixelSize, const float* curve) {
    guarded([&] {
        std::vector<float> tf(kSliceSize);
        fill_transfer_from_curve(tf.data(), pixelSize, curve);
        g_transfer = std::move(tf);
    });
}

// Without a transfer function set up, dst is left as it is.
void ctsmooth_wotf(const int16_t* src, int16_t* dst) {
    if (g_transfer.empty()) return;
    guarded([&] { filter_slice(src, dst, g_transfer.data(), Overflow::Wrap); });
}

void ctsmooth_wtf(const int16_t* src, int16_t* dst, float pixelSize, float cutoff, float order, int32_t type) {
    guarded([&] {
        std::vector<float> tf(kSliceSize);
        fill_transfer(tf.data(), pixelSize, cutoff, order, low16(type));
        filter_slice(src, dst, tf.data(), Overflow::Wrap);
    });
}

void ctsmooth_tffree(void) { g_transfer = std::vector<float>{}; }

}  // extern "C"
