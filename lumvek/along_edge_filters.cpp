// Along-edge bilateral filters. Each voxel of slice z becomes a weighted mean
// of `in` over a (2r+1)³ window; the weight falls off with distance, faster
// across the local edge (the component t of the offset along the gradient of
// the guide), and with the difference of the guide from the centre voxel's.
//
// The program passes width = height = 512; the kernels take that geometry as
// fixed, as the worker split does. Only slice z of the output volume is
// written.
//
// The kernels take 4, 8 or 16 neighbouring pixels of a row at a time (by
// instruction set), one vector lane each, and run the window's offsets in
// table order for them.
// Each pixel therefore sums its offsets in table order, as the
// voxel-by-voxel formula does, and its two sums stay in registers. The work
// per offset is cut in ways that leave every weight as the formula gives it:
// - offsets o and -o share their spatial index (t(-o) = -t(o) exactly and D
//   is the same), so the spatial weights of the first half of the window
//   are worked out once and read again for the second half;
// - D² takes only a few values (one per dx² + dy² + dz²), so what depends on
//   D alone is worked out once per value;
// - the bilateral member skips an offset when a bound proves that its
//   spatial weight is 0 for all the pixels, and every guided member skips
//   one whose range weight is 0 for all of them: a weight of 0 adds nothing
//   to either sum.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

#include "band_frame.h"
#include "filter_common.h"
#include "lumvek.h"

using namespace lumvek_detail;

// The vector helpers below are internal and inlined, so GCC's note that wide
// vectors pass differently without AVX concerns no interface.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

constexpr int kSpatialEntries = 20000;   // S[k] = exp(-k / 1000)
constexpr int kRangeEntries = 1000;      // R[m] = exp(-m² / B²); larger differences read R[999]
static_assert(kRangeEntries >= 256, "the AVX-512 range weights keep the first 256 in registers");
constexpr int kLargestSpreadRadius = 4;  // 9³ = 729 values: the spread window never outgrows 1024
constexpr int kMostLanes = 16;

// The three members differ in where their two squared scales come from, in
// the range weight and in the rounding of the table index.
enum class Kind {
    Bilateral,  // alongblfilter3dms: fixed scales, range weight, faint offsets skipped
    Plain,      // alongfilter3dms: fixed scales (across-edge 0.6), no guide, index rounded
    Adaptive,   // boxblfilter3dal1(ms): scales per pixel from edge strength and spread
};

struct AlongJob {
    Kind kind;
    int16_t* out;  // slice z of the output volume
    const int16_t* in;
    const int16_t* guide;  // null for Kind::Plain
    const float *gx, *gy, *gz;
    int n, r, z;
    float across2;     // A² (Bilateral) or 0.36 (Plain); Adaptive works it out per pixel
    float rangeSigma;  // B
    // Adaptive only.
    float edgeLow, edgeHigh, slab, spreadLow, spreadHigh;
    int spreadRadius;
};

// Limits a ratio to 0 ... 1; a ratio that is not a number counts as 0.
float limit01(float v) { return v > 0.0f ? std::min(v, 1.0f) : 0.0f; }

// Gradient components and divisors below this keep t = (g · o) / |g|
// finite (|g · o| stays below 3 × 4096 × 1e18); see zero_bound.
constexpr float kTameGradient = 1e18f;

// The tables of one call, built before the workers start and only read by
// them. Per distance value n = dx² + dy² + dz² (0 ... 3r²): D² with
// D = sqrt(n) as a float, and D²/s² for the fixed-scale members.
struct AlongTables {
    explicit AlongTables(const AlongJob& job) {
        const int r = job.r;
        const float s = 0.6f * static_cast<float>(r);
        const int distances = 3 * r * r + 1;
        dd.resize(distances);
        fixedTerm.resize(distances);
        for (int n = 0; n < distances; ++n) {
            const float d = std::sqrt(static_cast<float>(n));
            dd[n] = d * d;
            fixedTerm[n] = d * d / (s * s);
        }

        // The bilateral member skips offsets whose spatial weight is 0.01 or
        // less. Zeroing those entries does the same without a test per
        // voxel: a weight of 0 adds nothing to either sum.
        spatial.resize(kSpatialEntries);
        for (int k = 0; k < kSpatialEntries; ++k) {
            const float w = std::exp(-static_cast<float>(k) * 0.001f);
            spatial[k] = job.kind == Kind::Bilateral && w <= 0.01f ? 0.0f : w;
        }
        spatialZeroFrom = kSpatialEntries;
        while (spatialZeroFrom > 0 && spatial[spatialZeroFrom - 1] == 0.0f) --spatialZeroFrom;
        if (job.guide != nullptr) {
            range.resize(kRangeEntries);
            for (int m = 0; m < kRangeEntries; ++m) range[m] = gauss_weight(m, job.rangeSigma);
            rangeZeroFrom = kRangeEntries;
            while (rangeZeroFrom > 0 && range[rangeZeroFrom - 1] == 0.0f) --rangeZeroFrom;
        }
        if (job.kind == Kind::Bilateral) {
            zeroBound.resize(distances);
            for (int n = 0; n < distances; ++n) zeroBound[n] = zero_bound(fixedTerm[n], job.across2);
        }
    }

    // The bilateral member's index is v(t) = 1000 (term + t²/A²), truncated
    // and limited to the table, and its weight is 0 from index
    // spatialZeroFrom on. With A² finite and above 0 and a finite term, v
    // only grows with |t|, so the smallest float t0 with v(t0) >= that index
    // is found by bisection, and every |t| >= t0 weighs 0. A pixel whose
    // |g · o| exceeds fl(|g| × bound), bound = t0 (1 + 2⁻²⁰) rounded up,
    // has |t| = fl(|g · o| / |g|) >= t0 (the float product falls short of
    // the exact one by less than the margin, |g| >= 0.1 and bound >= 1e-30
    // keep it normal), so the test needs no division. -1: every finite t
    // weighs 0; infinity: no t is proven to.
    float zero_bound(float term, float a2) const {
        constexpr float kNever = std::numeric_limits<float>::infinity();
        if (spatialZeroFrom >= kSpatialEntries) return kNever;
        if (!(a2 > 0.0f) || !std::isfinite(a2) || !(term >= 0.0f) || !std::isfinite(term)) return kNever;
        const float k0 = static_cast<float>(spatialZeroFrom);
        auto v = [&](float t) { return 1000.0f * (term + t * t / a2); };
        if (v(0.0f) >= k0) return -1.0f;
        const float largest = std::numeric_limits<float>::max();
        if (!(v(largest) >= k0)) return kNever;
        uint32_t lo = 0, hi = 0;  // bit patterns: v(lo) < k0 <= v(hi)
        std::memcpy(&hi, &largest, sizeof hi);
        while (hi - lo > 1) {
            const uint32_t mid = lo + (hi - lo) / 2;
            float t;
            std::memcpy(&t, &mid, sizeof t);
            (v(t) >= k0 ? hi : lo) = mid;
        }
        float t0;
        std::memcpy(&t0, &hi, sizeof t0);
        const double wanted = std::max(static_cast<double>(t0) * (1.0 + 0x1p-20), 1e-30);
        float bound = static_cast<float>(wanted);
        if (static_cast<double>(bound) < wanted) bound = std::nextafter(bound, kNever);
        return bound;
    }

    std::vector<float> dd, fixedTerm, zeroBound;
    std::vector<float> spatial, range;
    int spatialZeroFrom = kSpatialEntries;  // S[k] = 0 for every k from here on
    int rangeZeroFrom = kRangeEntries;      // R[m] = 0 for every m from here on
};

// An array of lane vectors (of up to kMostLanes floats each). A std::vector
// of a vector type would not keep its alignment: the attribute is dropped in
// template arguments.
class LaneStore {
public:
    explicit LaneStore(std::size_t count) : v_(count * kMostLanes) {}
    bool empty() const { return v_.empty(); }
    std::size_t size() const { return v_.size() / kMostLanes; }
    template <class F>
    [[gnu::always_inline]] F get(std::size_t i) const {
        F v;
        std::memcpy(&v, v_.data() + i * kMostLanes, sizeof v);
        return v;
    }
    template <class F>
    [[gnu::always_inline]] void put(std::size_t i, F v) {
        std::memcpy(v_.data() + i * kMostLanes, &v, sizeof v);
    }

private:
    std::vector<float> v_;
};

// Everything one worker owns: the per-row arrays and the per-offset stores.
// Built before the worker's gate, so a failed allocation abandons the whole
// call.
struct AlongWorker {
    explicit AlongWorker(const AlongJob& job)
        : mirror(window_size(job.r, 3) / 2 + 1),
          live(job.kind == Kind::Bilateral ? mirror.size() : 0),
          perDistance(job.kind == Kind::Adaptive ? 3 * job.r * job.r + 1 : 0),
          slab(job.kind == Kind::Adaptive ? window_size(job.spreadRadius, 3) : 0),
          inEdge(kMostLanes + 2 * std::max(job.r, job.spreadRadius)),
          guideEdge(inEdge.size()) {}

    // Per pixel of the current row: |g|; the gradient and divisor that give
    // t (see prepare_row); the adaptive member's two squared scales and the
    // count and squared deviations of its spread.
    float norm[kSide];
    float ex[kSide], ey[kSide], ez[kSide], divisor[kSide];
    float across2[kSide], spatial2[kSide], count[kSide], spread[kSide];
    // The spatial weights of the first half of the window and the centre
    // (and for the bilateral member whether any of them may be above 0) for
    // the current pixels: 70 KB for radius 6.
    LaneStore mirror;
    std::vector<uint8_t> live;
    LaneStore perDistance;  // Adaptive: D²/s2² per distance value
    LaneStore slab;         // Adaptive: 1 inside the slab, 0 outside, per spread offset
    // Source values around the current pixels near the left and right
    // borders, with the border column repeated.
    std::vector<int16_t> inEdge, guideEdge;
};

// ---- Lane sets -----------------------------------------------------------
// The row loops below are templates over a lane set: the vector types, how
// to test all lanes and how to read a table per lane. They are inlined whole
// (flatten) into three entry points, for AVX-512 (16 lanes), for AVX2 (8) and
// for the baseline processor (4); pick_rows chooses the one the processor
// runs. (A lane set's instructions are allowed only in its entry point, so
// its helpers are not forced inline anywhere else.) All three give the same
// values: every lane computes what the scalar formula does, no multiply-add
// is fused (-ffp-contract=off), and division and square root round exactly.

// The AVX-512 subsets the 16-lane kernels use; Skylake server parts and
// every later AVX-512 processor have all four (pick_rows checks them).
#define AVX512_SUBSETS "avx512f,avx512dq,avx512bw,avx512vl"

struct Lanes4 {
    static constexpr int kCount = 4;
    typedef float F __attribute__((vector_size(16)));
    typedef int32_t I __attribute__((vector_size(16)));
    typedef int16_t S __attribute__((vector_size(8)));
};

#if !defined(__clang__)  // the wide lane sets: see below
struct Lanes8 {
    static constexpr int kCount = 8;
    typedef float F __attribute__((vector_size(32)));
    typedef int32_t I __attribute__((vector_size(32)));
    typedef int16_t S __attribute__((vector_size(16)));
};

struct Lanes16 {
    static constexpr int kCount = 16;
    typedef float F __attribute__((vector_size(64)));
    typedef int32_t I __attribute__((vector_size(64)));
    typedef int16_t S __attribute__((vector_size(32)));
};
#endif

// Any processor: SSE2, 4 lanes (one register, so that the compiler keeps
// every operation in vector form), tables read lane by lane.
struct BaselineLanes : Lanes4 {
    [[gnu::always_inline]] static F broadcast(float v) { return reinterpret_cast<F>(_mm_set1_ps(v)); }
    [[gnu::always_inline]] static I widen(const int16_t* p) {
        S v;
        std::memcpy(&v, p, sizeof v);
        return __builtin_convertvector(v, I);
    }
    [[gnu::always_inline]] static bool every_lane(I mask) {
        return _mm_movemask_ps(reinterpret_cast<__m128>(mask)) == 0xf;
    }
    [[gnu::always_inline]] static bool all_above(F a, F b) { return every_lane(a > b); }
    [[gnu::always_inline]] static bool all_at_least(I a, I b) { return every_lane(a >= b); }
    [[gnu::always_inline]] static bool all_equal(I a, I b) { return every_lane(a == b); }
    // min(|d|, limit).
    [[gnu::always_inline]] static I limited_magnitude(I d, I limit) {
        const I magnitude = d < 0 ? -d : d;
        return magnitude < limit ? magnitude : limit;
    }
    // 1 where lo <= v <= hi, else 0.
    [[gnu::always_inline]] static F one_within(F v, F lo, F hi) {
        return ((lo <= v) & (v <= hi)) ? F{} + 1.0f : F{};
    }
    [[gnu::always_inline]] static F look_up(const float* table, I index) {
        return reinterpret_cast<F>(_mm_set_ps(table[index[3]], table[index[2]], table[index[1]], table[index[0]]));
    }
    struct RangeWeights {
        explicit RangeWeights(const AlongTables& tab) : table(tab.range.data()) {}
        [[gnu::always_inline]] F operator()(I m) const { return look_up(table, m); }
        const float* table;
    };
};

// The wide lane sets pass vector values between the shared templates below
// outside their target-specific entry points, which GCC inlines away and
// clang refuses; a clang build runs the baseline lanes (same results).
#if !defined(__clang__)
// AVX2: 8 lanes, gather loads for the spatial table.
struct Avx2Lanes : Lanes8 {
    [[gnu::target("avx2")]] static F broadcast(float v) { return reinterpret_cast<F>(_mm256_set1_ps(v)); }
    [[gnu::target("avx2")]] static I widen(const int16_t* p) {
        return reinterpret_cast<I>(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    }
    [[gnu::target("avx2")]] static bool every_lane(I mask) {
        return _mm256_movemask_ps(reinterpret_cast<__m256>(mask)) == 0xff;
    }
    [[gnu::target("avx2")]] static bool all_above(F a, F b) { return every_lane(a > b); }
    [[gnu::target("avx2")]] static bool all_at_least(I a, I b) { return every_lane(a >= b); }
    [[gnu::target("avx2")]] static bool all_equal(I a, I b) { return every_lane(a == b); }
    [[gnu::target("avx2")]] static I limited_magnitude(I d, I limit) {
        return reinterpret_cast<I>(
            _mm256_min_epi32(_mm256_abs_epi32(reinterpret_cast<__m256i>(d)), reinterpret_cast<__m256i>(limit)));
    }
    [[gnu::target("avx2")]] static F one_within(F v, F lo, F hi) {
        return ((lo <= v) & (v <= hi)) ? F{} + 1.0f : F{};
    }
    [[gnu::target("avx2")]] static F look_up(const float* table, I index) {
        return reinterpret_cast<F>(_mm256_i32gather_ps(table, reinterpret_cast<__m256i>(index), 4));
    }
    // The first 32 range weights sit in four registers: where every
    // difference is below 32 (smooth places) permutes read them, picked by
    // bits 3 and 4 of m; otherwise a gather reads the table.
    struct RangeWeights {
        [[gnu::target("avx2")]] explicit RangeWeights(const AlongTables& tab) : table(tab.range.data()) {
            if (table != nullptr)
                for (int k = 0; k < 4; ++k) regs[k] = _mm256_loadu_ps(table + 8 * k);
        }
        [[gnu::target("avx2")]] F operator()(I m) const {
            const __m256i index = reinterpret_cast<__m256i>(m);
            if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(index, _mm256_set1_epi32(31)))) != 0)
                return look_up(table, m);
            const __m256 bit3 = _mm256_castsi256_ps(_mm256_slli_epi32(index, 28));
            const __m256 bit4 = _mm256_castsi256_ps(_mm256_slli_epi32(index, 27));
            const __m256 low = _mm256_blendv_ps(_mm256_permutevar8x32_ps(regs[0], index),
                                                _mm256_permutevar8x32_ps(regs[1], index), bit3);
            const __m256 high = _mm256_blendv_ps(_mm256_permutevar8x32_ps(regs[2], index),
                                                 _mm256_permutevar8x32_ps(regs[3], index), bit3);
            return reinterpret_cast<F>(_mm256_blendv_ps(low, high, bit4));
        }
        const float* table;
        __m256 regs[4] = {};
    };
};

// AVX-512: 16 lanes, gather loads for the spatial table. Gathers are slow
// on the processors at hand, so the range weights come from registers where
// they can: the first 256 weights sit in eight register pairs of 32, and a
// two-table permute reads a pair. Differences of neighbours are mostly small
// (noise), so the pairs read are as few as the largest difference of the 16
// lanes needs: one below 32, two below 64, four below 128, eight below 256;
// from 256 on a gather reads the table.
struct Avx512Lanes : Lanes16 {
    [[gnu::target(AVX512_SUBSETS)]] static F broadcast(float v) { return reinterpret_cast<F>(_mm512_set1_ps(v)); }
    [[gnu::target(AVX512_SUBSETS)]] static I widen(const int16_t* p) {
        // The zero-masked form: the plain one trips GCC 12's maybe-uninitialized
        // warning, as the gather does.
        return reinterpret_cast<I>(
            _mm512_maskz_cvtepi16_epi32(0xffff, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))));
    }
    [[gnu::target(AVX512_SUBSETS)]] static bool every_lane(I mask) {
        const __m512i m = reinterpret_cast<__m512i>(mask);
        return _mm512_test_epi32_mask(m, m) == 0xffff;
    }
    [[gnu::target(AVX512_SUBSETS)]] static bool all_above(F a, F b) {
        return _mm512_cmp_ps_mask(reinterpret_cast<__m512>(a), reinterpret_cast<__m512>(b), _CMP_GT_OQ) == 0xffff;
    }
    [[gnu::target(AVX512_SUBSETS)]] static bool all_at_least(I a, I b) {
        return _mm512_cmpge_epi32_mask(reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b)) == 0xffff;
    }
    [[gnu::target(AVX512_SUBSETS)]] static bool all_equal(I a, I b) {
        return _mm512_cmpneq_epi32_mask(reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b)) == 0;
    }
    [[gnu::target(AVX512_SUBSETS)]] static I limited_magnitude(I d, I limit) {
        // Zero-masked forms, as in widen.
        return reinterpret_cast<I>(_mm512_maskz_min_epi32(
            0xffff, _mm512_maskz_abs_epi32(0xffff, reinterpret_cast<__m512i>(d)), reinterpret_cast<__m512i>(limit)));
    }
    // Spelt out: GCC 12 breaks the generic form of this select into lanes.
    [[gnu::target(AVX512_SUBSETS)]] static F one_within(F v, F lo, F hi) {
        const __m512 x = reinterpret_cast<__m512>(v);
        const __mmask16 in = _mm512_cmp_ps_mask(reinterpret_cast<__m512>(lo), x, _CMP_LE_OQ) &
                             _mm512_cmp_ps_mask(x, reinterpret_cast<__m512>(hi), _CMP_LE_OQ);
        return reinterpret_cast<F>(_mm512_maskz_mov_ps(in, _mm512_set1_ps(1.0f)));
    }
    [[gnu::target(AVX512_SUBSETS)]] static F look_up(const float* table, I index) {
        // The masked form with a zero source: the plain one trips GCC 12's
        // maybe-uninitialized warning on its undefined source.
        return reinterpret_cast<F>(
            _mm512_mask_i32gather_ps(_mm512_setzero_ps(), 0xffff, reinterpret_cast<__m512i>(index), table, 4));
    }
    struct RangeWeights {
        [[gnu::target(AVX512_SUBSETS)]] explicit RangeWeights(const AlongTables& tab) : table(tab.range.data()) {
            // Whenever there is a guide the table has kRangeEntries entries.
            if (table != nullptr)
                for (int k = 0; k < 16; ++k) regs[k] = _mm512_loadu_ps(table + 16 * k);
        }
        [[gnu::target(AVX512_SUBSETS)]] F operator()(I m) const {
            const __m512i index = reinterpret_cast<__m512i>(m);
            // Pairs needed: m < 32 << levels for every lane (m >= 0).
            int levels = 0;
            while (levels < 4 && _mm512_test_epi32_mask(index, _mm512_set1_epi32(-(32 << levels))) != 0) ++levels;
            if (levels == 4) return look_up(table, m);
            __m512 pair[8];
            const int count = 1 << levels;
            for (int k = 0; k < count; ++k) pair[k] = _mm512_permutex2var_ps(regs[2 * k], index, regs[2 * k + 1]);
            // Bits 5, 6 and 7 of m pick the lane's pair.
            for (int bit = 0, n = count; n > 1; ++bit, n /= 2) {
                const __mmask16 upper = _mm512_test_epi32_mask(index, _mm512_set1_epi32(32 << bit));
                for (int k = 0; k < n / 2; ++k) pair[k] = _mm512_mask_mov_ps(pair[2 * k], upper, pair[2 * k + 1]);
            }
            return reinterpret_cast<F>(pair[0]);
        }
        const float* table;
        __m512 regs[16];
    };
};

#endif  // !defined(__clang__)

// v in every lane.
template <class L>
[[gnu::always_inline]] inline typename L::F splat(float v) {
    return L::broadcast(v);
}

template <class L>
[[gnu::always_inline]] inline typename L::F load_floats(const float* p) {
    typename L::F v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class L>
[[gnu::always_inline]] inline typename L::I load_int16s(const int16_t* p) {
    return L::widen(p);
}

template <class L>
[[gnu::always_inline]] inline typename L::F to_float(typename L::I v) {
    return __builtin_convertvector(v, typename L::F);
}

template <class L>
[[gnu::always_inline]] inline typename L::F magnitude(typename L::F v) {
    using I = typename L::I;
    return reinterpret_cast<typename L::F>(reinterpret_cast<I>(v) & 0x7fffffff);
}

// trunc(v) limited to the spatial table, with NaN giving 0 like trunc_to_int.
template <class L>
[[gnu::always_inline]] inline typename L::I spatial_index(typename L::F v) {
    constexpr float kLast = static_cast<float>(kSpatialEntries - 1);
    v = v >= splat<L>(0.0f) ? v : splat<L>(0.0f);
    v = v < splat<L>(kLast) ? v : splat<L>(kLast);
    return __builtin_convertvector(v, typename L::I);
}

// t(o) = (g · o) / |g|, or dz where |g| <= 0.1 (flat places fall back to
// the z axis). Flat pixels get g = (0, 0, 1) and divisor 1, which gives dz
// exactly; so t is one expression for every pixel and the row loops have no
// branch to keep them from vectorising.
[[gnu::always_inline]] inline void prepare_row(AlongWorker& wk, const AlongJob& job, std::ptrdiff_t at) {
    const float* gx = job.gx + at;
    const float* gy = job.gy + at;
    const float* gz = job.gz + at;
    for (int x = 0; x < kSide; ++x) {
        const float g = std::sqrt(gx[x] * gx[x] + gy[x] * gy[x] + gz[x] * gz[x]);
        const bool flat = !(g > 0.1f);
        wk.norm[x] = g;
        wk.ex[x] = flat ? 0.0f : gx[x];
        wk.ey[x] = flat ? 0.0f : gy[x];
        wk.ez[x] = flat ? 1.0f : gz[x];
        wk.divisor[x] = flat ? 1.0f : g;
    }
}

// The pixels from x0 on of one row (one per lane) and their gradient.
template <class L>
struct Pixels {
    using F = typename L::F;

    Pixels(const AlongWorker& wk, int x0)
        : x0(x0),
          ex(load_floats<L>(wk.ex + x0)),
          ey(load_floats<L>(wk.ey + x0)),
          ez(load_floats<L>(wk.ez + x0)),
          divisor(load_floats<L>(wk.divisor + x0)) {}

    // Whether offsets reaching `radius` columns aside can leave the row.
    bool near_border(int radius) const { return x0 < radius || x0 + L::kCount - 1 + radius > kSide - 1; }

    // g · o, summed x, y, z as the formula is written.
    F dot(float fdx, F yTerm, F zTerm) const { return ex * fdx + yTerm + zTerm; }

    int x0;
    F ex, ey, ez, divisor;
};

// Where lane l of the offset dx reads row (source row of the offset's dy and
// dz): base[dx + l]. Away from the borders that is the row itself; near them
// a copy with the border column repeated `radius` times.
template <class L>
[[gnu::always_inline]] inline const int16_t* source(const int16_t* row, const Pixels<L>& px, bool nearBorder,
                                                     int radius, std::vector<int16_t>& edge) {
    if (!nearBorder) return row + px.x0;
    const int width = L::kCount + 2 * radius;
    for (int i = 0; i < width; ++i) edge[i] = row[clamp_index(px.x0 - radius + i, kSide - 1)];
    return edge.data() + radius;
}

// The adaptive member's spread for the pixels of row y: the count of the
// offsets within the spread radius inside the slab |t| <= T, and the sum of
// squared deviations of their guide values from the mean, both in table
// order. Mean and deviation take two sweeps, as over a collected list;
// values outside the slab are multiplied by 0 and so add nothing. An offset
// and its mirror lie inside the slab together.
template <class L>
[[gnu::always_inline]] inline void spread_of(const AlongJob& job, AlongWorker& wk, const Pixels<L>& px, int y) {
    using F = typename L::F;
    const int rs = job.spreadRadius;
    const int total = static_cast<int>(wk.slab.size());
    const int half = total / 2;
    const bool nearBorder = px.near_border(rs);
    const F T = splat<L>(job.slab), minusT = splat<L>(-job.slab);
    F count{}, mean{};
    int i = 0;
    for (int dz = -rs; dz <= rs; ++dz) {
        const F zTerm = px.ez * static_cast<float>(dz);
        for (int dy = -rs; dy <= rs; ++dy) {
            const F yTerm = px.ey * static_cast<float>(dy);
            const int16_t* gq =
                source(voxel_row(job.guide, job.n, job.z + dz, y + dy), px, nearBorder, rs, wk.guideEdge);
            for (int dx = -rs; dx <= rs; ++dx, ++i) {
                F inside;
                if (i > half) {
                    inside = wk.slab.get<F>(total - 1 - i);
                } else {
                    const F t = px.dot(static_cast<float>(dx), yTerm, zTerm) / px.divisor;
                    inside = L::one_within(t, minusT, T);
                }
                wk.slab.put(i, inside);
                count += inside;
                mean += inside * to_float<L>(load_int16s<L>(gq + dx));
            }
        }
    }
    mean /= count;
    F spread{};
    i = 0;
    for (int dz = -rs; dz <= rs; ++dz) {
        for (int dy = -rs; dy <= rs; ++dy) {
            const int16_t* gq =
                source(voxel_row(job.guide, job.n, job.z + dz, y + dy), px, nearBorder, rs, wk.guideEdge);
            for (int dx = -rs; dx <= rs; ++dx, ++i) {
                const F dev = to_float<L>(load_int16s<L>(gq + dx)) - mean;
                spread += wk.slab.get<F>(i) * (dev * dev);
            }
        }
    }
    std::memcpy(wk.count + px.x0, &count, sizeof count);
    std::memcpy(wk.spread + px.x0, &spread, sizeof spread);
}

// The adaptive member's scales for every pixel of row y: the edge strength
// from |g|, and the spread (standard deviation) of the guide over the slab
// |t| <= T of the small window, compared with |g|.
template <class L>
[[gnu::always_inline]] inline void adaptive_scales(const AlongJob& job, AlongWorker& wk, int y) {
    for (int x0 = 0; x0 < kSide; x0 += L::kCount) spread_of<L>(job, wk, Pixels<L>(wk, x0), y);
    const float s = 0.6f * static_cast<float>(job.r);
    for (int x = 0; x < kSide; ++x) {
        const float g = wk.norm[x];
        const float sd = std::sqrt(wk.spread[x] / wk.count[x]);
        const float e = limit01((g - job.edgeLow) / (job.edgeHigh - job.edgeLow));
        const float u = limit01((sd / g - job.spreadLow) / (job.spreadHigh - job.spreadLow));
        const float s1 = (1.0f - e) * s + e * 0.6f;
        const float e2 = e * e * u;
        const float s2 = (1.0f - e2) * s + e2 * 0.6f;
        wk.across2[x] = s1 * s1;
        wk.spatial2[x] = s2 * s2;
    }
}

// What the spatial weight of one offset needs besides the offset: the
// pixels, their across-edge scale and whether the bound test of the
// bilateral member may be used (it holds for finite t only).
template <class L>
struct SpatialContext {
    const AlongTables& tab;
    const AlongWorker& wk;
    const Pixels<L>& px;
    typename L::F across2;
    bool tame;
};

// The spatial weight S[k] of one offset for the pixels,
// k = trunc(1000 × (D²/s2² + t²/s1²)) limited to the table (Plain adds 0.5
// before truncating). False where the bilateral member's bound proves S = 0
// for all of them; weight is then not set.
template <class L, Kind K>
[[gnu::always_inline]] inline bool spatial_weight(const SpatialContext<L>& c, int distance, float fdx,
                                                  typename L::F yTerm, typename L::F zTerm, typename L::F& weight) {
    using F = typename L::F;
    using I = typename L::I;
    const F dot = c.px.dot(fdx, yTerm, zTerm);
    if constexpr (K == Kind::Bilateral) {
        if (c.tame && L::all_above(magnitude<L>(dot), c.px.divisor * c.tab.zeroBound[distance])) return false;
    }
    const F t = dot / c.px.divisor;
    F v;
    if constexpr (K == Kind::Adaptive)
        v = 1000.0f * (c.wk.perDistance.template get<F>(distance) + t * t / c.across2);
    else if constexpr (K == Kind::Bilateral)
        v = 1000.0f * (c.tab.fixedTerm[distance] + t * t / c.across2);
    else
        v = 1000.0f * (c.tab.fixedTerm[distance] + t * t / c.across2) + 0.5f;
    const I k = spatial_index<L>(v);
    // Where the pixels are flat alike (t = dz for all, as in air), every lane
    // has the same index, and one read serves them all.
    weight = L::all_equal(k, I{} + k[0]) ? splat<L>(c.tab.spatial[k[0]]) : L::look_up(c.tab.spatial.data(), k);
    return true;
}

// The pixels from x0 on of row y. The spatial weights of the first half of
// the window and the centre are worked out first, on their own: no sum waits
// for them, so the divisions and table reads of many offsets overlap. Then
// every offset in table order adds its weight (the second half its mirror's),
// times for the guided members the range weight R[m], m = |c − guide(q)|
// limited to the table (the difference of two integers, as
// trunc(|c − guide(q)| + 0.5) is).
template <class L, Kind K>
[[gnu::always_inline]] inline void filter_pixels(const AlongJob& job, const AlongTables& tab,
                                                 const typename L::RangeWeights& rangeWeight, AlongWorker& wk,
                                                 const Pixels<L>& px, int y) {
    using F = typename L::F;
    using I = typename L::I;
    const int r = job.r;
    const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(y) * kSide + px.x0;
    const bool nearBorder = px.near_border(r);
    const int total = static_cast<int>(window_size(r, 3));
    const int half = total / 2;  // the centre; below it the first half of the window

    SpatialContext<L> c{tab, wk, px, splat<L>(job.across2), false};
    if constexpr (K == Kind::Adaptive) {
        c.across2 = load_floats<L>(wk.across2 + px.x0);
        const F spatial2 = load_floats<L>(wk.spatial2 + px.x0);
        for (std::size_t n = 0; n < tab.dd.size(); ++n) wk.perDistance.put(n, tab.dd[n] / spatial2);
    }
    if constexpr (K == Kind::Bilateral) {
        const F limit = splat<L>(kTameGradient);
        c.tame = L::all_above(limit, magnitude<L>(px.ex)) && L::all_above(limit, magnitude<L>(px.ey)) &&
                 L::all_above(limit, magnitude<L>(px.ez)) && L::all_above(limit, px.divisor);
    }

    int i = 0;
    for (int dz = -r; dz <= 0; ++dz) {
        const F zTerm = px.ez * static_cast<float>(dz);
        for (int dy = -r; dy <= (dz < 0 ? r : 0); ++dy) {
            const F yTerm = px.ey * static_cast<float>(dy);
            for (int dx = -r; dx <= (dz < 0 || dy < 0 ? r : 0); ++dx, ++i) {
                F weight{};
                const bool live = spatial_weight<L, K>(c, dz * dz + dy * dy + dx * dx, static_cast<float>(dx), yTerm,
                                                       zTerm, weight);
                wk.mirror.put(i, weight);
                if constexpr (K == Kind::Bilateral) wk.live[i] = live;
            }
        }
    }

    I centre{};
    if constexpr (K != Kind::Plain) centre = load_int16s<L>(job.guide + slice_offset(job.z) + at);
    const I rangeLast = I{} + (kRangeEntries - 1);
    const I rangeZeroFrom = I{} + tab.rangeZeroFrom;
    F sum{}, wsum{};
    i = 0;
    for (int dz = -r; dz <= r; ++dz) {
        for (int dy = -r; dy <= r; ++dy) {
            const int16_t* inQ = source(voxel_row(job.in, job.n, job.z + dz, y + dy), px, nearBorder, r, wk.inEdge);
            const int16_t* guideQ = nullptr;
            if constexpr (K != Kind::Plain)
                guideQ = source(voxel_row(job.guide, job.n, job.z + dz, y + dy), px, nearBorder, r, wk.guideEdge);
            for (int dx = -r; dx <= r; ++dx, ++i) {
                const int j = i <= half ? i : total - 1 - i;
                if constexpr (K == Kind::Bilateral)
                    if (!wk.live[j]) continue;
                const F spatialWeight = wk.mirror.get<F>(j);
                const F value = to_float<L>(load_int16s<L>(inQ + dx));
                if constexpr (K == Kind::Plain) {
                    sum += spatialWeight * value;
                    wsum += spatialWeight;
                } else {
                    const I m = L::limited_magnitude(centre - load_int16s<L>(guideQ + dx), rangeLast);
                    if (L::all_at_least(m, rangeZeroFrom)) continue;
                    const F w = spatialWeight * rangeWeight(m);
                    sum += w * value;
                    wsum += w;
                }
            }
        }
    }
    // The centre offset always weighs exactly 1 (k = 0, m = 0), so wsum >= 1.
    float sums[L::kCount], wsums[L::kCount];
    std::memcpy(sums, &sum, sizeof sums);
    std::memcpy(wsums, &wsum, sizeof wsums);
    int16_t* out = job.out + at;
    for (int l = 0; l < L::kCount; ++l) out[l] = saturate16(round_half_up(sums[l] / wsums[l]));
}

template <class L, Kind K>
[[gnu::always_inline]] inline void rows_of(const AlongJob& job, const AlongTables& tab, AlongWorker& wk, int rowBegin,
                                           int rowEnd) {
    const typename L::RangeWeights rangeWeight(tab);
    for (int y = rowBegin; y < rowEnd; ++y) {
        prepare_row(wk, job, static_cast<std::ptrdiff_t>(y) * kSide);
        if constexpr (K == Kind::Adaptive) adaptive_scales<L>(job, wk, y);
        for (int x0 = 0; x0 < kSide; x0 += L::kCount)
            filter_pixels<L, K>(job, tab, rangeWeight, wk, Pixels<L>(wk, x0), y);
    }
}

template <class L>
[[gnu::always_inline]] inline void along_rows_for(const AlongJob& job, const AlongTables& tab, AlongWorker& wk,
                                                  int rowBegin, int rowEnd) {
    switch (job.kind) {
        case Kind::Bilateral:
            return rows_of<L, Kind::Bilateral>(job, tab, wk, rowBegin, rowEnd);
        case Kind::Plain:
            return rows_of<L, Kind::Plain>(job, tab, wk, rowBegin, rowEnd);
        case Kind::Adaptive:
            return rows_of<L, Kind::Adaptive>(job, tab, wk, rowBegin, rowEnd);
    }
}

#if !defined(__clang__)
[[gnu::target(AVX512_SUBSETS), gnu::flatten]] void along_rows_avx512(const AlongJob& job, const AlongTables& tab,
                                                               AlongWorker& wk, int rowBegin, int rowEnd) {
    along_rows_for<Avx512Lanes>(job, tab, wk, rowBegin, rowEnd);
}

[[gnu::target("avx2"), gnu::flatten]] void along_rows_avx2(const AlongJob& job, const AlongTables& tab,
                                                            AlongWorker& wk, int rowBegin, int rowEnd) {
    along_rows_for<Avx2Lanes>(job, tab, wk, rowBegin, rowEnd);
}
#endif  // !defined(__clang__)

[[gnu::flatten]] void along_rows_baseline(const AlongJob& job, const AlongTables& tab, AlongWorker& wk,
                                          int rowBegin, int rowEnd) {
    along_rows_for<BaselineLanes>(job, tab, wk, rowBegin, rowEnd);
}

using RowsFunction = void (*)(const AlongJob&, const AlongTables&, AlongWorker&, int, int);

// The row loops for this processor. LUMVEK_ISA=avx2 or LUMVEK_ISA=baseline
// in the environment holds them back to that level: the results are the
// same, and the tests use it to run every version on one machine.
RowsFunction pick_rows() {
    const char* limit = std::getenv("LUMVEK_ISA");
    const std::string_view level = limit != nullptr ? limit : "";
    if (level == "baseline") return along_rows_baseline;
#if !defined(__clang__)
    if (level != "avx2" && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"))
        return along_rows_avx512;
    if (__builtin_cpu_supports("avx2")) return along_rows_avx2;
#endif
    return along_rows_baseline;
}

void run_along(AlongJob job, bool threaded) {
    job.r = checked_radius(job.r);
    const RowsFunction rows = pick_rows();
    const AlongTables tab(job);
    if (!threaded) {
        const auto wk = std::make_unique<AlongWorker>(job);
        rows(job, tab, *wk, 0, kSide);
        return;
    }
    run_workers(kWorkers, [&job, &tab, rows](int k, WorkerGate& gate) {
        std::unique_ptr<AlongWorker> wk;
        guarded([&] { wk = std::make_unique<AlongWorker>(job); });
        if (gate.wait(wk != nullptr)) rows(job, tab, *wk, k * kBandRows, (k + 1) * kBandRows);
    });
}

AlongJob base_job(Kind kind, int16_t* out, const int16_t* in, const int16_t* guide, const float* gx, const float* gy,
                  const float* gz, int n, int r, int z) {
    AlongJob job{};
    job.kind = kind;
    job.out = out + slice_offset(z);
    job.in = in;
    job.guide = guide;
    job.gx = gx;
    job.gy = gy;
    job.gz = gz;
    job.n = n;
    job.r = r;
    job.z = z;
    return job;
}

// The layout of prm is in lumvek.h (LUMVEK_AL1_...); entries 2 to 4 are not
// read.
void adaptive(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx, const float* gy, const float* gz,
              int n, int r, const float* prm, int z, bool threaded) {
    AlongJob job = base_job(Kind::Adaptive, out, in, guide, gx, gy, gz, n, r, z);
    job.edgeLow = prm[LUMVEK_AL1_EDGE_LOW];
    job.edgeHigh = prm[LUMVEK_AL1_EDGE_HIGH];
    job.rangeSigma = prm[LUMVEK_AL1_RANGE_SIGMA];
    job.slab = prm[LUMVEK_AL1_SLAB_HALF_WIDTH];
    job.spreadRadius = std::clamp(trunc_to_int(prm[LUMVEK_AL1_SPREAD_RADIUS]), 0, kLargestSpreadRadius);
    job.spreadLow = prm[LUMVEK_AL1_SPREAD_LOW];
    job.spreadHigh = prm[LUMVEK_AL1_SPREAD_HIGH];
    guarded([&] { run_along(job, threaded); });
}

}  // namespace

extern "C" {

void alongblfilter3dms(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx, const float* gy,
                       const float* gz, [[maybe_unused]] int32_t width, [[maybe_unused]] int32_t height, int32_t n,
                       int32_t radius, float alongSigma, float rangeSigma, int32_t z) {
    AlongJob job = base_job(Kind::Bilateral, out, in, guide, gx, gy, gz, n, radius, z);
    job.across2 = alongSigma * alongSigma;
    job.rangeSigma = rangeSigma;
    guarded([&] { run_along(job, true); });
}

void alongfilter3dms(int16_t* out, const int16_t* in, const float* gx, const float* gy, const float* gz,
                     [[maybe_unused]] int32_t width, [[maybe_unused]] int32_t height, int32_t n, int32_t radius,
                     int32_t z) {
    AlongJob job = base_job(Kind::Plain, out, in, nullptr, gx, gy, gz, n, radius, z);
    job.across2 = 0.36f;
    guarded([&] { run_along(job, true); });
}

void boxblfilter3dal1ms(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx, const float* gy,
                        const float* gz, [[maybe_unused]] int32_t width, [[maybe_unused]] int32_t height, int32_t n,
                        int32_t radius, const float* prm, int32_t z) {
    adaptive(out, in, guide, gx, gy, gz, n, radius, prm, z, true);
}

void boxblfilter3dal1(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx, const float* gy,
                      const float* gz, [[maybe_unused]] int32_t width, [[maybe_unused]] int32_t height, int32_t n,
                      int32_t radius, const float* prm, int32_t z) {
    adaptive(out, in, guide, gx, gy, gz, n, radius, prm, z, false);
}

}  // extern "C"
