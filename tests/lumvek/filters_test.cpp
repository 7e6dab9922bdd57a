// The 3D and 2D window filters: the exports against the literal reference
// (value for value, on a CT-like volume with edges at several orientations,
// noise, flat air, 16-bit extremes and both end slices), plus hand-computed
// cases and invariants.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "filter_reference.h"
#include "lumvek.h"

namespace ref = filter_reference;

namespace {

constexpr int kSide = ref::kSide;
constexpr int kSliceSize = ref::kSliceSize;
constexpr int kSlices = 6;

std::vector<int> all_rows() {
    std::vector<int> rows(kSide);
    for (int y = 0; y < kSide; ++y) rows[y] = y;
    return rows;
}

// Both borders and both sides of every band boundary of the worker split.
// Row 480 crosses the ±32000 patch.
const std::vector<int> kBandEdgeRows = {0,   1,   63,  64,  127, 128, 191, 192, 240, 255,
                                        256, 319, 320, 383, 384, 447, 448, 480, 511};
// One row in each band, for the slow wide windows.
const std::vector<int> kOneRowPerBand = {0, 100, 129, 250, 300, 333, 420, 511};

std::size_t at(int x, int y, int z = 0) { return (static_cast<std::size_t>(z) * kSide + y) * kSide + x; }

// Fills the given rows of a reference output, one row at a time.
template <class Reference>
void reference_rows(const std::vector<int>& rows, const Reference& reference) {
    for (int y : rows) reference(y, y + 1);
}

template <class T>
void expect_rows_equal(const T* actual, const T* expected, const std::vector<int>& rows, const std::string& what) {
    int mismatches = 0;
    for (int y : rows) {
        for (int x = 0; x < kSide; ++x) {
            if (actual[at(x, y)] == expected[at(x, y)]) continue;
            if (mismatches++ == 0)
                ADD_FAILURE() << what << ": first difference at x " << x << ", y " << y << ": " << actual[at(x, y)]
                              << " instead of " << expected[at(x, y)];
        }
    }
    EXPECT_EQ(mismatches, 0) << what;
}

// The phantom in HU (negative air, values on both sides of 0 so that the two
// roundings differ) with a patch of +32000 beside -32000 outside the disc,
// whose enhanced values leave the 16-bit range; a smoothed copy as the guide
// and the guide's gradients per slice. The along-edge filters average
// `noise`, uniform in -30000 ... 30000: the weights come from the guide and
// the gradients alone, and with values this far apart a weight that is off
// by one table step shows in the result.
struct Scene {
    Scene() : vol(ref::phantom_volume(kSlices, 7, 0)), guide(vol.size()), noise(vol.size()) {
        for (int z = 0; z < kSlices; ++z)
            for (int y = 470; y < 490; ++y)
                for (int x = 10; x < 70; ++x) vol[at(x, y, z)] = x < 40 ? 32000 : -32000;
        for (int z = 0; z < kSlices; ++z)
            boxfilter3dctms(&guide[at(0, 0, z)], vol.data(), kSlices, 1.2f, 1.2f, 0.0f, z);
        std::mt19937 rng(5);
        std::uniform_int_distribution<int> uniform(-30000, 30000);
        for (int16_t& v : noise) v = static_cast<int16_t>(uniform(rng));
    }

    const std::vector<float>& gradients(int z) {
        auto it = grads.find(z);
        if (it == grads.end()) {
            std::vector<float> g(3 * kSliceSize);
            vecana3dms(g.data(), g.data() + kSliceSize, g.data() + 2 * kSliceSize, guide.data(), kSide, kSide, kSlices,
                       2, 3, z);
            it = grads.emplace(z, std::move(g)).first;
        }
        return it->second;
    }
    const float* gx(int z) { return gradients(z).data(); }
    const float* gy(int z) { return gradients(z).data() + kSliceSize; }
    const float* gz(int z) { return gradients(z).data() + 2 * kSliceSize; }

    const int16_t* slice(int z) const { return &vol[at(0, 0, z)]; }

    std::vector<int16_t> vol, guide, noise;
    std::map<int, std::vector<float>> grads;
};

Scene& scene() {
    static Scene s;
    return s;
}

std::vector<int16_t> constant_volume(int16_t value, int n = kSlices) {
    return std::vector<int16_t>(static_cast<std::size_t>(n) * kSliceSize, value);
}

// The adaptive parameters, by default as the program passes them: E1 =
// 0.5 × 20, E2 = 60, B = 18, T = 0.6, spread radius 3, Q1 = 0.3, Q2 = 2.0
// (2 to 4 unread).
std::vector<float> adaptive_prm(float spreadRadius = 3.0f, float q1 = 0.3f, float q2 = 2.0f, float e1 = 10.0f,
                                float e2 = 60.0f) {
    return {e1, e2, -1.0f, -1.0f, -1.0f, 18.0f, 0.6f, spreadRadius, q1, q2};
}

// ---- Gaussian family ------------------------------------------------------

struct Gauss3dCase {
    float sigmaXY, sigmaZ, enhance;
    int z;
};

TEST(GaussianFilters, ThreeDMembersMatchTheReference) {
    Scene& s = scene();
    std::vector<int16_t> out(kSliceSize), want(kSliceSize);
    // Sigma 0 on one axis takes the centre weight 1 on that axis.
    for (const Gauss3dCase c :
         {Gauss3dCase{1.2f, 1.2f, 0.0f, 0}, Gauss3dCase{1.8f, 1.2f, 1.2f, 5}, Gauss3dCase{0.5f, 1.8f, 0.4f, 3},
          Gauss3dCase{0.0f, 1.2f, 0.0f, 2}, Gauss3dCase{1.2f, 0.0f, 2.5f, 1}}) {
        const std::string what = "boxfilter3dctms " + std::to_string(c.sigmaXY) + "/" + std::to_string(c.sigmaZ) +
                                 " enhance " + std::to_string(c.enhance) + " z " + std::to_string(c.z);
        boxfilter3dctms(out.data(), s.vol.data(), kSlices, c.sigmaXY, c.sigmaZ, c.enhance, c.z);
        reference_rows(kBandEdgeRows, [&](int y0, int y1) {
            ref::boxfilter3dctms(want.data(), s.vol.data(), kSlices, c.sigmaXY, c.sigmaZ, c.enhance, c.z, y0, y1);
        });
        expect_rows_equal(out.data(), want.data(), kBandEdgeRows, what);
    }
    // The single-threaded twin blends in × e − avg × (1 − e), also for a one-voxel window.
    for (const Gauss3dCase c : {Gauss3dCase{1.2f, 1.8f, 1.3f, 5}, Gauss3dCase{0.1f, 0.1f, 0.3f, 2}}) {
        boxfilter3dct(out.data(), s.vol.data(), kSlices, c.sigmaXY, c.sigmaZ, c.enhance, c.z);
        reference_rows(kBandEdgeRows, [&](int y0, int y1) {
            ref::boxfilter3dct(want.data(), s.vol.data(), kSlices, c.sigmaXY, c.sigmaZ, c.enhance, c.z, y0, y1);
        });
        expect_rows_equal(out.data(), want.data(), kBandEdgeRows, "boxfilter3dct " + std::to_string(c.sigmaXY));
    }
    for (const Gauss3dCase c :
         {Gauss3dCase{0, 1.2f, 0.0f, 0}, Gauss3dCase{0, 3.6f, 0.7f, 5}, Gauss3dCase{0, 0.31f, 0.0f, 2}}) {
        boxfilter3dctzms(out.data(), s.vol.data(), kSlices, c.sigmaZ, c.enhance, c.z);
        reference_rows(kBandEdgeRows, [&](int y0, int y1) {
            ref::boxfilter3dctzms(want.data(), s.vol.data(), kSlices, c.sigmaZ, c.enhance, c.z, y0, y1);
        });
        expect_rows_equal(out.data(), want.data(), kBandEdgeRows, "boxfilter3dctzms " + std::to_string(c.sigmaZ));
    }
}

TEST(GaussianFilters, TwoDMembersMatchTheReference) {
    const int16_t* in = scene().slice(2);
    std::vector<int16_t> out(kSliceSize), want(kSliceSize);
    for (const auto& [sigma, enhance] : {std::pair{1.2f, 0.0f}, std::pair{3.6f, 0.7f}, std::pair{0.5f, 1.5f}}) {
        boxfilter2dctms(out.data(), in, sigma, enhance);
        ref::boxfilter2dctms(want.data(), in, sigma, enhance);
        expect_rows_equal(out.data(), want.data(), all_rows(), "boxfilter2dctms " + std::to_string(sigma));
    }
    for (const auto& [sigma, enhance] : {std::pair{1.2f, 0.5f}}) {
        boxfilter2dctivms(out.data(), in, sigma, enhance);
        ref::boxfilter2dctivms(want.data(), in, sigma, enhance);
        expect_rows_equal(out.data(), want.data(), all_rows(), "boxfilter2dctivms " + std::to_string(sigma));
    }
    struct NeoCase {
        float sigma1, sigma2, enhance, gain;
    };
    for (const NeoCase c : {NeoCase{1.2f, 3.6f, 0.3f, 0.8f}, NeoCase{0.5f, 1.8f, 1.2f, -0.5f}}) {
        std::vector<int16_t> img(in, in + kSliceSize), wantImg(img);
        boxfilter2dctneoms(img.data(), c.sigma1, c.sigma2, c.enhance, c.gain);
        ref::boxfilter2dctneoms(wantImg.data(), c.sigma1, c.sigma2, c.enhance, c.gain);
        expect_rows_equal(img.data(), wantImg.data(), all_rows(), "boxfilter2dctneoms " + std::to_string(c.sigma1));
    }
}

// Weights computed independently in double: sigma 1.2 gives radius 2, so an
// impulse spreads exactly two pixels, as exp(-k²/1.44) per axis over the
// normalised 5 × 5 window.
TEST(GaussianFilters, ImpulseSpreadsOverTheWindowOfTheRadius) {
    std::vector<int16_t> in(kSliceSize, 0), out(kSliceSize);
    in[at(300, 200)] = 30000;
    boxfilter2dctms(out.data(), in.data(), 1.2f, 0.0f);
    double axis = 0;
    for (int k = -2; k <= 2; ++k) axis += std::exp(-k * k / 1.44);
    for (int dy = -4; dy <= 4; ++dy) {
        for (int dx = -4; dx <= 4; ++dx) {
            const double expected =
                std::abs(dx) > 2 || std::abs(dy) > 2
                    ? 0.0
                    : 30000.0 * std::exp(-dx * dx / 1.44) * std::exp(-dy * dy / 1.44) / (axis * axis);
            EXPECT_NEAR(out[at(300 + dx, 200 + dy)], expected, 0.51) << dx << "," << dy;
        }
    }
}

// Slices of 100·z along z with sigma 1.2 (radius 2): the slices beyond either
// end repeat the end slice.
TEST(GaussianFilters, EndSlicesReuseTheEndSlice) {
    const int n = 4;
    std::vector<int16_t> vol(n * kSliceSize);
    for (int z = 0; z < n; ++z) std::fill_n(&vol[at(0, 0, z)], kSliceSize, static_cast<int16_t>(100 * z));
    const double w1 = std::exp(-1 / 1.44), w2 = std::exp(-4 / 1.44), total = 1 + 2 * w1 + 2 * w2;
    const double first = (w1 * 100 + w2 * 200) / total;                       // slices 0 0 0 1 2
    const double last = (w2 * 100 + w1 * 200 + (1 + w1 + w2) * 300) / total;  // slices 1 2 3 3 3
    std::vector<int16_t> out(kSliceSize);
    boxfilter3dctzms(out.data(), vol.data(), n, 1.2f, 0.0f, 0);
    EXPECT_EQ(out[at(7, 9)], std::lround(first));
    boxfilter3dctzms(out.data(), vol.data(), n, 1.2f, 0.0f, n - 1);
    EXPECT_EQ(out[at(500, 3)], std::lround(last));
    // The 3D window clamps the same way: a volume constant within each slice
    // smooths along z only.
    boxfilter3dctms(out.data(), vol.data(), n, 1.8f, 1.2f, 0.0f, 0);
    EXPECT_EQ(out[at(0, 511)], std::lround(first));
}

// Sigma 0.31 gives radius 1, but exp(-1/0.31²) = 3e-5 is below 0.005, so the
// z-only filter averages the centre alone. Counted, the -30000 ends would
// move by about one.
TEST(GaussianFilters, FaintZWeightsStayOut) {
    std::vector<int16_t> vol(3 * kSliceSize);
    for (int z = 0; z < 3; ++z) std::fill_n(&vol[at(0, 0, z)], kSliceSize, static_cast<int16_t>(-30000 + 30000 * z));
    std::vector<int16_t> out(kSliceSize);
    boxfilter3dctzms(out.data(), vol.data(), 3, 0.31f, 0.0f, 0);
    EXPECT_EQ(out[at(5, 5)], -30000);
}

TEST(GaussianFilters, OneVoxelWindowsAndEnhanceOneReturnTheInput) {
    Scene& s = scene();
    const std::vector<int16_t> in(s.slice(3), s.slice(3) + kSliceSize);
    std::vector<int16_t> out(kSliceSize);
    boxfilter3dctms(out.data(), s.vol.data(), kSlices, 1.8f, 1.8f, 1.0f, 3);
    EXPECT_EQ(out, in) << "enhance 1";
    boxfilter3dctms(out.data(), s.vol.data(), kSlices, 0.1f, 0.1f, 0.0f, 3);
    EXPECT_EQ(out, in) << "sigma 0.1";
    boxfilter3dctms(out.data(), s.vol.data(), kSlices, 0.0f, 0.0f, 1e8f, 3);
    EXPECT_EQ(out, in) << "sigma 0, any enhance (in·(1 − e) + in·e would lose in to rounding)";
    boxfilter3dctzms(out.data(), s.vol.data(), kSlices, 0.0f, 0.5f, 3);
    EXPECT_EQ(out, in) << "z only, sigma 0";
    boxfilter2dctms(out.data(), in.data(), 0.0f, 0.0f);
    EXPECT_EQ(out, in) << "2D, sigma 0";
    boxfilter2dctivms(out.data(), in.data(), 0.1f, 0.0f);
    EXPECT_EQ(out, std::vector<int16_t>(kSliceSize, 0)) << "high-pass, sigma 0.1";
}

// A sigma of 0 on one axis leaves the other axes' filter: the 3D window with
// sigmaXY 0 is the z-only window, with sigmaZ 0 the 2D one.
TEST(GaussianFilters, SigmaZeroOnOneAxisLeavesTheOtherAxes) {
    Scene& s = scene();
    std::vector<int16_t> out(kSliceSize), other(kSliceSize);
    boxfilter3dctms(out.data(), s.vol.data(), kSlices, 0.0f, 1.8f, 0.3f, 5);
    boxfilter3dctzms(other.data(), s.vol.data(), kSlices, 1.8f, 0.3f, 5);
    EXPECT_EQ(out, other);
    boxfilter3dctms(out.data(), s.vol.data(), kSlices, 1.2f, 0.0f, 0.3f, 1);
    boxfilter2dctms(other.data(), s.slice(1), 1.2f, 0.3f);
    EXPECT_EQ(out, other);
}

// ---- Gradient ---------------------------------------------------------------

// vol = x: the planes d = 2 columns apart differ by 4 with weights summing to
// 1; near the left and right borders the clamped samples repeat the border
// column (x = 0: 2 − 0, x = 1: 3 − 0, x = 510: 511 − 508, x = 511: 511 − 509).
TEST(GradientFilter, RampRisingOnePerColumnGivesFour) {
    const int n = 5;
    std::vector<int16_t> vol(n * kSliceSize);
    for (std::size_t i = 0; i < vol.size(); ++i) vol[i] = static_cast<int16_t>(i % kSide);
    std::vector<float> gx(kSliceSize), gy(kSliceSize), gz(kSliceSize);
    for (int z : {n - 1}) {
        vecana3dms(gx.data(), gy.data(), gz.data(), vol.data(), kSide, kSide, n, 2, 3, z);
        for (int y : {0, 64, 300, 511}) {
            for (int x = 2; x < 510; ++x) ASSERT_NEAR(gx[at(x, y)], 4.0f, 1e-3f) << x << "," << y;
            EXPECT_NEAR(gx[at(0, y)], 2.0f, 1e-3f);
            EXPECT_NEAR(gx[at(1, y)], 3.0f, 1e-3f);
            EXPECT_NEAR(gx[at(510, y)], 3.0f, 1e-3f);
            EXPECT_NEAR(gx[at(511, y)], 2.0f, 1e-3f);
        }
        EXPECT_TRUE(std::all_of(gy.begin(), gy.end(), [](float v) { return v == 0.0f; }));
        EXPECT_TRUE(std::all_of(gz.begin(), gz.end(), [](float v) { return v == 0.0f; }));
    }
}

TEST(GradientFilter, MatchesTheReference) {
    Scene& s = scene();
    std::vector<float> got(3 * kSliceSize), want(3 * kSliceSize), twin(3 * kSliceSize);
    struct Case {
        int d, r, z;
    };
    for (const Case c : {Case{2, 3, 0}, Case{2, 2, 5}, Case{1, 1, 2}, Case{3, 0, 4}}) {
        const std::string what =
            "vecana3dms d " + std::to_string(c.d) + " r " + std::to_string(c.r) + " z " + std::to_string(c.z);
        vecana3dms(got.data(), got.data() + kSliceSize, got.data() + 2 * kSliceSize, s.vol.data(), kSide, kSide,
                   kSlices, c.d, c.r, c.z);
        reference_rows(kBandEdgeRows, [&](int y0, int y1) {
            ref::vecana3d(want.data(), want.data() + kSliceSize, want.data() + 2 * kSliceSize, s.vol.data(), kSlices,
                          c.d, c.r, c.z, y0, y1);
        });
        for (int axis = 0; axis < 3; ++axis)
            expect_rows_equal(got.data() + axis * kSliceSize, want.data() + axis * kSliceSize, kBandEdgeRows,
                              what + " axis " + std::to_string(axis));
    }
    vecana3d(twin.data(), twin.data() + kSliceSize, twin.data() + 2 * kSliceSize, s.vol.data(), kSide, kSide, kSlices,
             2, 3, 1);
    vecana3dms(got.data(), got.data() + kSliceSize, got.data() + 2 * kSliceSize, s.vol.data(), kSide, kSide, kSlices, 2,
               3, 1);
    EXPECT_EQ(twin, got);
}

// ---- Along-edge filters -----------------------------------------------------

TEST(AlongEdgeFilters, BilateralMatchesTheReference) {
    Scene& s = scene();
    std::vector<int16_t> out(kSlices * kSliceSize), want(kSlices * kSliceSize);
    struct Case {
        int r, z;
        float along, range;
        std::vector<int> rows;
    };
    // alongSigma 0 and rangeSigma 0 turn exponents into 0/0 and m²/0: the
    // same defined weights in both. rangeSigma 2000 leaves R[999], the weight
    // of every larger guide difference, well above 0.
    for (const Case& c : {Case{2, 0, 0.6f, 15.0f, kBandEdgeRows}, Case{1, 5, 0.0f, 0.0f, kBandEdgeRows},
                          Case{2, 3, 0.6f, 2000.0f, kBandEdgeRows}, Case{3, 2, 0.6f, 22.5f, kOneRowPerBand}}) {
        alongblfilter3dms(out.data(), s.noise.data(), s.guide.data(), s.gx(c.z), s.gy(c.z), s.gz(c.z), kSide, kSide,
                          kSlices, c.r, c.along, c.range, c.z);
        for (int y : c.rows)
            ref::alongblfilter3d(want.data(), s.noise.data(), s.guide.data(), s.gx(c.z), s.gy(c.z), s.gz(c.z), kSlices,
                                 c.r, c.along, c.range, c.z, y, y + 1);
        expect_rows_equal(&out[at(0, 0, c.z)], &want[at(0, 0, c.z)], c.rows,
                          "alongblfilter3dms r " + std::to_string(c.r) + " z " + std::to_string(c.z));
    }
}

TEST(AlongEdgeFilters, PlainMatchesTheReference) {
    Scene& s = scene();
    std::vector<int16_t> out(kSlices * kSliceSize), want(kSlices * kSliceSize);
    for (const auto& [r, z] : {std::pair{2, 5}, std::pair{1, 0}}) {
        alongfilter3dms(out.data(), s.noise.data(), s.gx(z), s.gy(z), s.gz(z), kSide, kSide, kSlices, r, z);
        for (int y : kBandEdgeRows)
            ref::alongfilter3d(want.data(), s.noise.data(), s.gx(z), s.gy(z), s.gz(z), kSlices, r, z, y, y + 1);
        expect_rows_equal(&out[at(0, 0, z)], &want[at(0, 0, z)], kBandEdgeRows,
                          "alongfilter3dms r " + std::to_string(r));
    }
}

TEST(AlongEdgeFilters, AdaptiveMatchesTheReference) {
    Scene& s = scene();
    std::vector<int16_t> out(kSlices * kSliceSize), want(kSlices * kSliceSize);
    struct Case {
        int r, z;
        std::vector<float> prm;
        std::vector<int> rows;
    };
    // With the program's parameters (the r = 6 case) the spread ratio sd / |g|
    // of the phantom stays below Q1, so u is 0; edges from |g| = 2 and
    // Q = 0 ... 0.5 bring the spread into play (from r = 2 on: with r = 1 both
    // scales are 0.6). The spread radius trunc(prm[7]) stops at 4 (9³ = 729
    // values): 9 filters like 4.
    const std::vector<float> spreadShows = adaptive_prm(2.0f, 0.0f, 0.5f, 2.0f, 30.0f);
    for (const Case& c :
         {Case{2, 1, spreadShows, kBandEdgeRows}, Case{2, 0, adaptive_prm(1.0f, 0.2f, 1.0f), kBandEdgeRows},
          Case{2, 5, adaptive_prm(0.0f, 0.0f, 0.5f, 2.0f, 30.0f), kBandEdgeRows},
          Case{2, 4, adaptive_prm(9.0f, 0.0f, 0.5f, 2.0f, 30.0f), kBandEdgeRows},
          Case{6, 3, adaptive_prm(), kOneRowPerBand}}) {
        boxblfilter3dal1ms(out.data(), s.noise.data(), s.guide.data(), s.gx(c.z), s.gy(c.z), s.gz(c.z), kSide, kSide,
                           kSlices, c.r, c.prm.data(), c.z);
        for (int y : c.rows)
            ref::boxblfilter3dal1(want.data(), s.noise.data(), s.guide.data(), s.gx(c.z), s.gy(c.z), s.gz(c.z), kSlices,
                                  c.r, c.prm.data(), c.z, y, y + 1);
        expect_rows_equal(&out[at(0, 0, c.z)], &want[at(0, 0, c.z)], c.rows,
                          "boxblfilter3dal1ms r " + std::to_string(c.r) + " spread " + std::to_string(c.prm[7]));
    }
}

// A guide rising 10 per column has the gradient (40, 0, 0), so t = dx
// exactly. With T = 1 the slab -T <= t <= T holds dx = -1, 0 and 1, whose
// spread 10·sqrt(2/3) sets the scales; without its boundary it would hold
// dx = 0 alone, with spread 0.
TEST(AlongEdgeFilters, AdaptiveSlabIncludesItsBoundary) {
    Scene& s = scene();
    const int n = 3, z = 1;
    std::vector<int16_t> guide(n * kSliceSize), out(n * kSliceSize), want(out);
    for (int zz = 0; zz < n; ++zz)
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) guide[at(x, y, zz)] = static_cast<int16_t>(10 * x);
    const std::vector<float> gx(kSliceSize, 40.0f), zero(kSliceSize, 0.0f);
    std::vector<float> prm = adaptive_prm(1.0f, 0.0f, 0.5f, 2.0f, 30.0f);
    prm[6] = 1.0f;
    boxblfilter3dal1ms(out.data(), s.noise.data(), guide.data(), gx.data(), zero.data(), zero.data(), kSide, kSide, n,
                       2, prm.data(), z);
    reference_rows(kOneRowPerBand, [&](int y0, int y1) {
        ref::boxblfilter3dal1(want.data(), s.noise.data(), guide.data(), gx.data(), zero.data(), zero.data(), n, 2,
                              prm.data(), z, y0, y1);
    });
    expect_rows_equal(&out[at(0, 0, z)], &want[at(0, 0, z)], kOneRowPerBand, "slab boundary");
}

// The kernels come for AVX-512 (16 pixels at a time), AVX2 (8) and any
// x86-64 processor (4), and LUMVEK_ISA holds the library back to one of
// them. Each version must give the slices the best one gives: with range
// weights read from registers (B 15) or from the table (B 2000), near the
// borders and inside, for all three members.
TEST(AlongEdgeFilters, EveryInstructionSetGivesTheSameSlices) {
    Scene& s = scene();
    const int z = 1;
    const std::vector<float> prm = adaptive_prm(2.0f, 0.0f, 0.5f, 2.0f, 30.0f);
    auto slices = [&] {
        std::vector<int16_t> out(kSlices * kSliceSize), all;
        auto keep = [&] { all.insert(all.end(), &out[at(0, 0, z)], &out[at(0, 0, z)] + kSliceSize); };
        for (float range : {15.0f, 2000.0f}) {
            alongblfilter3dms(out.data(), s.noise.data(), s.guide.data(), s.gx(z), s.gy(z), s.gz(z), kSide, kSide,
                              kSlices, 3, 0.6f, range, z);
            keep();
        }
        alongfilter3dms(out.data(), s.noise.data(), s.gx(z), s.gy(z), s.gz(z), kSide, kSide, kSlices, 2, z);
        keep();
        boxblfilter3dal1ms(out.data(), s.noise.data(), s.guide.data(), s.gx(z), s.gy(z), s.gz(z), kSide, kSide,
                           kSlices, 3, prm.data(), z);
        keep();
        return all;
    };
    const std::vector<int16_t> best = slices();
    for (const char* level : {"avx2", "baseline"}) {
        setenv("LUMVEK_ISA", level, 1);
        const std::vector<int16_t> limited = slices();
        unsetenv("LUMVEK_ISA");
        EXPECT_TRUE(limited == best) << level;
    }
}

TEST(AlongEdgeFilters, AdaptiveTwinGivesTheSameSlice) {
    Scene& s = scene();
    std::vector<int16_t> threaded(kSlices * kSliceSize), twin(threaded.size());
    const std::vector<float> prm = adaptive_prm(1.0f);
    boxblfilter3dal1ms(threaded.data(), s.vol.data(), s.guide.data(), s.gx(2), s.gy(2), s.gz(2), kSide, kSide, kSlices,
                       1, prm.data(), 2);
    boxblfilter3dal1(twin.data(), s.vol.data(), s.guide.data(), s.gx(2), s.gy(2), s.gz(2), kSide, kSide, kSlices, 1,
                     prm.data(), 2);
    EXPECT_EQ(threaded, twin);
}

// r = 2 (s = 1.2), flat gradient (t = dz), constant guide: the offset
// (2, 2, 0) has D²/s² = 8/1.44, k = 5555, S = 0.0039 <= 0.01 and is skipped;
// (2, 0, 0) has k = 2777, S = 0.062 and counts. A single bright voxel
// therefore shows two pixels to its left but not two pixels diagonally
// (it would add about 25 there); the adaptive filter skips nothing.
TEST(AlongEdgeFilters, BilateralSkipsOffsetsWithFaintSpatialWeight) {
    const int n = 3;
    std::vector<int16_t> in = constant_volume(0, n), guide = constant_volume(100, n), out(in.size());
    in[at(206, 206, 1)] = 30000;
    const std::vector<float> zero(kSliceSize, 0.0f);
    alongblfilter3dms(out.data(), in.data(), guide.data(), zero.data(), zero.data(), zero.data(), kSide, kSide, n, 2,
                      0.6f, 15.0f, 1);
    EXPECT_GT(out[at(204, 206, 1)], 0);
    EXPECT_EQ(out[at(204, 204, 1)], 0);
    const std::vector<float> prm = adaptive_prm(1.0f);
    boxblfilter3dal1ms(out.data(), in.data(), guide.data(), zero.data(), zero.data(), zero.data(), kSide, kSide, n, 2,
                       prm.data(), 1);
    EXPECT_GT(out[at(204, 204, 1)], 0);
}

// rangeSigma 0: R[0] = 1 and R[m > 0] = 0, so only neighbours whose guide
// equals the centre's count. With a guide that differs at every voxel within
// reach (x, y mod 8 and z mod 8 packed into one value), those are the centre
// and its clamped copies: the output is the input (kept positive, where
// adding one half and truncating leaves an integer as it is).
TEST(AlongEdgeFilters, ZeroRangeSigmaCountsOnlyEqualGuideValues) {
    Scene& s = scene();
    const int z = 2;
    const std::vector<int16_t> in = ref::phantom_volume(kSlices, 3, 1024);
    std::vector<int16_t> guide(in.size()), out(in.size());
    for (int zz = 0; zz < kSlices; ++zz)
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                guide[at(x, y, zz)] = static_cast<int16_t>(x + 512 * (y % 8) + 4096 * (zz % 8));
    alongblfilter3dms(out.data(), in.data(), guide.data(), s.gx(z), s.gy(z), s.gz(z), kSide, kSide, kSlices, 2, 0.6f,
                      0.0f, z);
    expect_rows_equal(&out[at(0, 0, z)], &in[at(0, 0, z)], all_rows(), "rangeSigma 0");
}

// ---- Whole family -----------------------------------------------------------

// A constant volume stays constant: every average is the centre value, the
// high-pass is 0 and the gradient 0. The along-edge filters average `in`, not
// the guide, so a structured guide changes nothing either.
TEST(WindowFilters, ConstantVolumePassesUnchanged) {
    Scene& s = scene();
    const int16_t c = 1024;
    const std::vector<int16_t> vol = constant_volume(c);
    const std::vector<int16_t> expected(kSliceSize, c);
    std::vector<int16_t> out(kSliceSize), outVol(vol.size());
    auto slice_z = [&](int z) { return std::vector<int16_t>(&outVol[at(0, 0, z)], &outVol[at(0, 0, z)] + kSliceSize); };

    boxfilter3dctms(out.data(), vol.data(), kSlices, 1.8f, 1.2f, 0.4f, 0);
    EXPECT_EQ(out, expected) << "boxfilter3dctms";
    boxfilter3dct(out.data(), vol.data(), kSlices, 1.2f, 1.2f, 1.0f, 5);
    EXPECT_EQ(out, expected) << "boxfilter3dct";
    boxfilter3dctzms(out.data(), vol.data(), kSlices, 3.6f, 0.0f, 5);
    EXPECT_EQ(out, expected) << "boxfilter3dctzms";
    boxfilter2dctms(out.data(), vol.data(), 3.6f, 0.2f);
    EXPECT_EQ(out, expected) << "boxfilter2dctms";
    boxfilter2dctivms(out.data(), vol.data(), 1.2f, 0.0f);
    EXPECT_EQ(out, std::vector<int16_t>(kSliceSize, 0)) << "boxfilter2dctivms";
    std::vector<int16_t> img(expected);
    boxfilter2dctneoms(img.data(), 1.2f, 3.6f, 0.5f, 0.7f);  // 1024·0.5 + 1024·0.5 + 0·0.7, truncated
    EXPECT_EQ(img, expected) << "boxfilter2dctneoms";

    std::vector<float> g(3 * kSliceSize, 1.0f);
    vecana3dms(g.data(), g.data() + kSliceSize, g.data() + 2 * kSliceSize, vol.data(), kSide, kSide, kSlices, 2, 3, 4);
    EXPECT_TRUE(std::all_of(g.begin(), g.end(), [](float v) { return v == 0.0f; })) << "vecana3dms";

    const int z = 2;
    alongblfilter3dms(outVol.data(), vol.data(), s.guide.data(), s.gx(z), s.gy(z), s.gz(z), kSide, kSide, kSlices, 1,
                      0.6f, 15.0f, z);
    EXPECT_EQ(slice_z(z), expected) << "alongblfilter3dms";
    alongfilter3dms(outVol.data(), vol.data(), s.gx(z), s.gy(z), s.gz(z), kSide, kSide, kSlices, 1, z);
    EXPECT_EQ(slice_z(z), expected) << "alongfilter3dms";
    const std::vector<float> prm = adaptive_prm(1.0f);
    boxblfilter3dal1ms(outVol.data(), vol.data(), s.guide.data(), s.gx(z), s.gy(z), s.gz(z), kSide, kSide, kSlices, 1,
                       prm.data(), z);
    EXPECT_EQ(slice_z(z), expected) << "boxblfilter3dal1ms";
}

// The along-edge filters round by adding one half and truncating toward
// zero, so an exact average of -1000 is stored as -999.
TEST(WindowFilters, AlongEdgeRoundingAddsOneHalfAndTruncates) {
    const std::vector<int16_t> vol = constant_volume(-1000, 3);
    const std::vector<float> zero(kSliceSize, 0.0f);
    std::vector<int16_t> out(vol.size());
    alongblfilter3dms(out.data(), vol.data(), vol.data(), zero.data(), zero.data(), zero.data(), kSide, kSide, 3, 1,
                      0.6f, 15.0f, 1);
    EXPECT_EQ(out[at(17, 300, 1)], -999);
    boxfilter3dctms(out.data(), vol.data(), 3, 1.2f, 1.2f, 0.0f, 1);
    EXPECT_EQ(out[at(17, 300)], -1000) << "the box family rounds half away from zero";
}

// Each call writes every pixel of its output slice and nothing else: the
// slices around it (and the other slices of an along-edge output volume)
// keep their sentinel.
TEST(WindowFilters, OneCallWritesExactlyItsOutputSlice) {
    Scene& s = scene();
    const int16_t kSentinel = 32767;  // no filtered value of the phantom comes near it
    const std::vector<int16_t> phantom = ref::phantom_volume(kSlices, 11, 0);
    const int16_t* vol = phantom.data();
    std::vector<int16_t> buf(3 * kSliceSize);
    auto check = [&](const std::vector<int16_t>& b, int slice, const std::string& what) {
        for (std::size_t i = 0; i < b.size(); ++i) {
            const bool inside = i / kSliceSize == static_cast<std::size_t>(slice);
            if ((b[i] == kSentinel) == inside) {
                ADD_FAILURE() << what << ": element " << i << (inside ? " not written" : " written");
                return;
            }
        }
    };
    auto run = [&](const std::string& what, auto call) {
        std::fill(buf.begin(), buf.end(), kSentinel);
        call(&buf[kSliceSize]);
        check(buf, 1, what);
    };
    run("boxfilter3dctms", [&](int16_t* o) { boxfilter3dctms(o, vol, kSlices, 1.2f, 1.2f, 0.5f, 5); });
    run("boxfilter3dct", [&](int16_t* o) { boxfilter3dct(o, vol, kSlices, 1.2f, 1.2f, 0.5f, 0); });
    run("boxfilter3dctzms", [&](int16_t* o) { boxfilter3dctzms(o, vol, kSlices, 1.2f, 0.5f, 3); });
    run("boxfilter2dctms", [&](int16_t* o) { boxfilter2dctms(o, vol, 1.2f, 0.5f); });
    run("boxfilter2dctivms", [&](int16_t* o) { boxfilter2dctivms(o, vol, 1.2f, 0.5f); });
    run("boxfilter2dctneoms", [&](int16_t* o) {
        std::copy_n(vol, kSliceSize, o);
        boxfilter2dctneoms(o, 1.2f, 1.8f, 0.5f, 0.5f);
    });

    const float kNoValue = 1e30f;
    std::vector<float> g(5 * kSliceSize, kNoValue);
    vecana3dms(&g[kSliceSize], &g[2 * kSliceSize], &g[3 * kSliceSize], vol, kSide, kSide, kSlices, 2, 3, 2);
    for (std::size_t i = 0; i < g.size(); ++i) {
        const bool inside = i >= kSliceSize && i < 4 * kSliceSize;
        ASSERT_EQ(g[i] == kNoValue, !inside) << "vecana3dms element " << i;
    }

    std::vector<int16_t> outVol(kSlices * kSliceSize);
    const int z = 5;
    auto runVolume = [&](const std::string& what, auto call) {
        std::fill(outVol.begin(), outVol.end(), kSentinel);
        call(outVol.data());
        check(outVol, z, what);
    };
    const std::vector<float> prm = adaptive_prm(1.0f);
    runVolume("alongblfilter3dms", [&](int16_t* o) {
        alongblfilter3dms(o, vol, s.guide.data(), s.gx(z), s.gy(z), s.gz(z), kSide, kSide, kSlices, 1, 0.6f, 15.0f, z);
    });
    runVolume("alongfilter3dms",
              [&](int16_t* o) { alongfilter3dms(o, vol, s.gx(z), s.gy(z), s.gz(z), kSide, kSide, kSlices, 1, z); });
    runVolume("boxblfilter3dal1ms", [&](int16_t* o) {
        boxblfilter3dal1ms(o, vol, s.guide.data(), s.gx(z), s.gy(z), s.gz(z), kSide, kSide, kSlices, 1, prm.data(), z);
    });
    runVolume("boxblfilter3dal1", [&](int16_t* o) {
        boxblfilter3dal1(o, vol, s.guide.data(), s.gx(z), s.gy(z), s.gz(z), kSide, kSide, kSlices, 1, prm.data(), z);
    });
}

// ---- 16-bit stores ------------------------------------------------------------

// A result past the 16-bit range clamps to the end it overshot: a +30000
// edge enhanced, sharpened or interpolated beyond 32767 stays bright (wrapped,
// it would come out as a large negative value) and the -30000 side stays
// dark. Each case overshoots by thousands at the two named pixels. (A mean,
// as the along-edge filters store, can't leave the range, nor can the
// field-of-view fade.)
TEST(SixteenBitStores, OvershootClampsInsteadOfWrapping) {
    // Slice 1: +30000 left of column 256, -30000 from it on; slices 0 and 2
    // the other way round, so the edge runs along z too.
    std::vector<int16_t> step(3 * kSliceSize);
    for (int z = 0; z < 3; ++z)
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) step[at(x, y, z)] = (x < 256) == (z == 1) ? 30000 : -30000;
    const int16_t* middle = &step[at(0, 0, 1)];
    // Two pixels over four slices: Catmull-Rom through -30000, 30000, 30000,
    // -30000 gives 37500 halfway, and the negated column -37500.
    const std::vector<int16_t> ridge = {-30000, 30000, 30000, -30000, 30000, -30000, -30000, 30000};

    struct Case {
        std::string name;
        std::function<void(int16_t* out)> run;
        std::size_t high, low;  // where the result is above 32767 and below -32768
    };
    const std::size_t left = at(255, 100), right = at(256, 100);
    const Case cases[] = {
        {"boxfilter3dctms", [&](int16_t* o) { boxfilter3dctms(o, step.data(), 3, 1.2f, 1.2f, 3.5f, 1); }, left, right},
        {"boxfilter3dctzms", [&](int16_t* o) { boxfilter3dctzms(o, step.data(), 3, 1.2f, 3.5f, 1); }, left, right},
        {"boxfilter2dctms", [&](int16_t* o) { boxfilter2dctms(o, middle, 1.2f, 3.5f); }, left, right},
        // With enhance -2 the blend moves away from in, and in minus it overshoots.
        {"boxfilter2dctivms", [&](int16_t* o) { boxfilter2dctivms(o, middle, 1.2f, -2.0f); }, left, right},
        {"ctinr2dfilter", [&](int16_t* o) { ctinr2dfilter(o, middle, 0.7f, 0.5f, 1.0f, 0.05f, 3.0f); }, left, right},
        {"ctorgmul", [&](int16_t* o) { ctorgmul(o, middle, middle, 1.0f); }, left, right},
        {"zintp", [&](int16_t* o) { zintp(o, ridge.data(), 2, 1, 4, 1.0f, 1.5f); }, 0, 1},
    };
    for (const Case& c : cases) {
        std::vector<int16_t> out(kSliceSize, 7);
        c.run(out.data());
        EXPECT_EQ(out[c.high], 32767) << c.name;
        EXPECT_EQ(out[c.low], -32768) << c.name;
    }
}

}  // namespace
