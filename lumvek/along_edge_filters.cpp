// Along-edge bilateral filters. Each voxel of slice z becomes a weighted mean
// of `in` over a (2r+1)³ window; the weight falls off with distance, faster
// across the local edge (the component t of the offset along the gradient of
// the guide), and with the difference of the guide from the centre voxel's.
// Every worker builds its own distance, spatial and range tables.
//
// The program passes width = height = 512; the kernels take that geometry as
// fixed, as the worker split does. Only slice z of the output volume is
// written.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "band_frame.h"
#include "filter_common.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

constexpr int kSpatialEntries = 20000;   // S[k] = exp(-k / 1000)
constexpr int kRangeEntries = 1000;      // R[m] = exp(-m² / B²); larger differences read R[999]
constexpr int kLargestSpreadRadius = 4;  // 9³ = 729 values: the spread window never outgrows 1024

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

// trunc(v) limited to the spatial table, with NaN giving 0 like trunc_to_int;
// written without branches so that the row loop vectorises.
inline int spatial_index(float v) {
    v = v >= 0.0f ? v : 0.0f;
    v = v < static_cast<float>(kSpatialEntries - 1) ? v : static_cast<float>(kSpatialEntries - 1);
    return static_cast<int>(v);
}

struct Offset {
    int dz, dy, dx;
    float dd;       // D², D = sqrt(dx² + dy² + dz²) as the distance table holds it
    float spatial;  // D² / s² for the fixed-scale members
};

// Everything one worker owns: its tables and the per-row arrays. Built
// before the worker's gate, so a failed allocation abandons the whole call.
struct AlongWorker {
    explicit AlongWorker(const AlongJob& job)
        : inRow(std::max(job.r, job.spreadRadius)), guideRow(std::max(job.r, job.spreadRadius)) {
        const float s = 0.6f * static_cast<float>(job.r);
        offsets.reserve(window_size(job.r, 3));
        for (int dz = -job.r; dz <= job.r; ++dz) {
            for (int dy = -job.r; dy <= job.r; ++dy) {
                for (int dx = -job.r; dx <= job.r; ++dx) {
                    const float d = std::sqrt(static_cast<float>(dx * dx + dy * dy + dz * dz));
                    offsets.push_back({dz, dy, dx, d * d, d * d / (s * s)});
                }
            }
        }
        // The bilateral member skips offsets whose spatial weight is 0.01 or
        // less. Zeroing those entries does the same without a test per
        // voxel: a weight of 0 adds nothing to either sum.
        spatialTable.resize(kSpatialEntries);
        for (int k = 0; k < kSpatialEntries; ++k) {
            const float w = std::exp(-static_cast<float>(k) * 0.001f);
            spatialTable[k] = job.kind == Kind::Bilateral && w <= 0.01f ? 0.0f : w;
        }
        if (job.guide != nullptr) {
            rangeTable.resize(kRangeEntries);
            for (int m = 0; m < kRangeEntries; ++m) rangeTable[m] = gauss_weight(m, job.rangeSigma);
        }
    }

    std::vector<Offset> offsets;
    std::vector<float> spatialTable, rangeTable;
    PaddedRow inRow, guideRow;
    // Per pixel of the current row: |g|; the gradient and divisor that give
    // t (see prepare_row); the two squared scales; for the current offset
    // the two table indices and the two weights; the two sums.
    float norm[kSide];
    float ex[kSide], ey[kSide], ez[kSide], divisor[kSide];
    float across2[kSide], spatial2[kSide];
    int spatialIndex[kSide], rangeIndex[kSide];
    float spatialWeight[kSide], rangeWeight[kSide];
    float sum[kSide], wsum[kSide];
    // The adaptive member's spread: 1 or 0 for the current offset inside or
    // outside the slab, and per pixel the count, mean and squared deviations.
    float inSlab[kSide], count[kSide], mean[kSide], spread[kSide];
};

// The row loops below are forced inline into along_rows_for, which is built
// twice: for AVX2 and for the baseline processor; along_rows runs the one the
// processor has. Both give the same values: no multiply-add is fused
// (-ffp-contract=off), and division and square root round exactly.

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

[[gnu::always_inline]] inline float projection(const AlongWorker& wk, int x, float fdx, float fdy, float fdz) {
    return (wk.ex[x] * fdx + wk.ey[x] * fdy + wk.ez[x] * fdz) / wk.divisor[x];
}

// For every offset of the spread window in table order: inSlab[x] = 1 where
// -T <= t <= T for pixel x of row y and 0 elsewhere, then add(row of guide
// values at the offset).
template <class Add>
[[gnu::always_inline]] inline void sweep_slab(const AlongJob& job, AlongWorker& wk, int y, const Add& add) {
    const int rs = job.spreadRadius;
    const float T = job.slab;
    for (int dz = -rs; dz <= rs; ++dz) {
        for (int dy = -rs; dy <= rs; ++dy) {
            wk.guideRow.load(voxel_row(job.guide, job.n, job.z + dz, y + dy));
            for (int dx = -rs; dx <= rs; ++dx) {
                const float fdx = dx, fdy = dy, fdz = dz;
                for (int x = 0; x < kSide; ++x) {
                    const float t = projection(wk, x, fdx, fdy, fdz);
                    wk.inSlab[x] = (-T <= t) & (t <= T) ? 1.0f : 0.0f;
                }
                add(wk.guideRow.at(dx));
            }
        }
    }
}

// The adaptive member's scales for every pixel of row y: the edge strength
// from |g|, and the spread (standard deviation) of the guide over the slab
// |t| <= T of the small window, compared with |g|. Mean and deviation take
// two sweeps, as over a collected list; values outside the slab are
// multiplied by 0 and so add nothing.
[[gnu::always_inline]] inline void adaptive_scales(const AlongJob& job, AlongWorker& wk, int y) {
    std::fill_n(wk.count, kSide, 0.0f);
    std::fill_n(wk.mean, kSide, 0.0f);
    std::fill_n(wk.spread, kSide, 0.0f);
    sweep_slab(job, wk, y, [&wk](const int16_t* gq) {
        for (int x = 0; x < kSide; ++x) {
            wk.count[x] += wk.inSlab[x];
            wk.mean[x] += wk.inSlab[x] * static_cast<float>(gq[x]);
        }
    });
    for (int x = 0; x < kSide; ++x) wk.mean[x] /= wk.count[x];
    sweep_slab(job, wk, y, [&wk](const int16_t* gq) {
        for (int x = 0; x < kSide; ++x) {
            const float dev = static_cast<float>(gq[x]) - wk.mean[x];
            wk.spread[x] += wk.inSlab[x] * (dev * dev);
        }
    });
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

// weight[x] = table[index[x]] over the row. The arrays never overlap; saying
// so lets the compiler use gather loads where the processor has them.
[[gnu::always_inline]] inline void look_up(float* __restrict weight, const int* __restrict index,
                                           const float* __restrict table) {
    for (int x = 0; x < kSide; ++x) weight[x] = table[index[x]];
}

// One offset's contribution to every pixel of the row. The table lookups
// run on their own so that the arithmetic around them vectorises.
[[gnu::always_inline]] inline void add_offset(const AlongJob& job, AlongWorker& wk, const Offset& o,
                                              const int16_t* centreGuide, float indexOffset) {
    const float fdx = o.dx, fdy = o.dy, fdz = o.dz;
    // k = trunc(1000 × (D²/s² + t²/A²)), limited to the table.
    if (job.kind == Kind::Adaptive) {
        for (int x = 0; x < kSide; ++x) {
            const float t = projection(wk, x, fdx, fdy, fdz);
            wk.spatialIndex[x] = spatial_index(1000.0f * (o.dd / wk.spatial2[x] + t * t / wk.across2[x]));
        }
    } else {
        for (int x = 0; x < kSide; ++x) {
            const float t = projection(wk, x, fdx, fdy, fdz);
            wk.spatialIndex[x] = spatial_index(1000.0f * (o.spatial + t * t / job.across2) + indexOffset);
        }
    }
    look_up(wk.spatialWeight, wk.spatialIndex, wk.spatialTable.data());

    const int16_t* inQ = wk.inRow.at(o.dx);
    if (job.guide == nullptr) {
        for (int x = 0; x < kSide; ++x) {
            const float w = wk.spatialWeight[x];
            wk.sum[x] += w * static_cast<float>(inQ[x]);
            wk.wsum[x] += w;
        }
        return;
    }
    // m = |c − guide(q)|, limited to the table (the difference of two
    // integers, as trunc(|c − guide(q)| + 0.5) is).
    const int16_t* guideQ = wk.guideRow.at(o.dx);
    for (int x = 0; x < kSide; ++x) {
        const int d = centreGuide[x] - guideQ[x];
        wk.rangeIndex[x] = std::min(d < 0 ? -d : d, kRangeEntries - 1);
    }
    look_up(wk.rangeWeight, wk.rangeIndex, wk.rangeTable.data());
    for (int x = 0; x < kSide; ++x) {
        const float w = wk.spatialWeight[x] * wk.rangeWeight[x];
        wk.sum[x] += w * static_cast<float>(inQ[x]);
        wk.wsum[x] += w;
    }
}

[[gnu::always_inline]] inline void along_rows_for(const AlongJob& job, AlongWorker& wk, int rowBegin, int rowEnd) {
    const float indexOffset = job.kind == Kind::Plain ? 0.5f : 0.0f;  // adding 0 changes no index
    for (int y = rowBegin; y < rowEnd; ++y) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(y) * kSide;
        const int16_t* centreGuide = job.guide != nullptr ? job.guide + slice_offset(job.z) + at : nullptr;
        prepare_row(wk, job, at);
        if (job.kind == Kind::Adaptive) adaptive_scales(job, wk, y);
        std::fill_n(wk.sum, kSide, 0.0f);
        std::fill_n(wk.wsum, kSide, 0.0f);
        const Offset* o = wk.offsets.data();
        for (int dz = -job.r; dz <= job.r; ++dz) {
            for (int dy = -job.r; dy <= job.r; ++dy) {
                wk.inRow.load(voxel_row(job.in, job.n, job.z + dz, y + dy));
                if (job.guide != nullptr) wk.guideRow.load(voxel_row(job.guide, job.n, job.z + dz, y + dy));
                for (int dx = -job.r; dx <= job.r; ++dx) add_offset(job, wk, *o++, centreGuide, indexOffset);
            }
        }
        // The centre offset always weighs exactly 1 (k = 0, m = 0), so wsum >= 1.
        int16_t* out = job.out + at;
        for (int x = 0; x < kSide; ++x) out[x] = low16(round_half_up(wk.sum[x] / wk.wsum[x]));
    }
}

[[gnu::target("avx2")]] void along_rows_avx2(const AlongJob& job, AlongWorker& wk, int rowBegin, int rowEnd) {
    along_rows_for(job, wk, rowBegin, rowEnd);
}

void along_rows_baseline(const AlongJob& job, AlongWorker& wk, int rowBegin, int rowEnd) {
    along_rows_for(job, wk, rowBegin, rowEnd);
}

void along_rows(const AlongJob& job, AlongWorker& wk, int rowBegin, int rowEnd) {
    if (__builtin_cpu_supports("avx2"))
        along_rows_avx2(job, wk, rowBegin, rowEnd);
    else
        along_rows_baseline(job, wk, rowBegin, rowEnd);
}

void run_along(AlongJob job, bool threaded) {
    job.r = checked_radius(job.r);
    if (!threaded) {
        const auto wk = std::make_unique<AlongWorker>(job);
        along_rows(job, *wk, 0, kSide);
        return;
    }
    run_workers(kWorkers, [&job](int k, WorkerGate& gate) {
        std::unique_ptr<AlongWorker> wk;
        guarded([&] { wk = std::make_unique<AlongWorker>(job); });
        if (gate.wait(wk != nullptr)) along_rows(job, *wk, k * kBandRows, (k + 1) * kBandRows);
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
