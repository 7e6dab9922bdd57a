// The cross bilateral filters against a pixel-by-pixel loop on a CT-like
// phantom and the threaded members against their twins; the median's edge
// rules; the noise statistics and conversions; the calls that write nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <vector>

#include "filter_reference.h"
#include "lumvek.h"

namespace {

constexpr int kSide = filter_reference::kSide;
constexpr int kSliceSize = filter_reference::kSliceSize;
constexpr int kSlices = 4;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

using Image = std::vector<int16_t>;
using Call = std::function<void(int16_t* out)>;

// values in HU (air negative, so the roundings differ); guide the same scene
// with other noise; stored as HU + 1024, nothing negative.
struct Phantoms {
    Image values = filter_reference::phantom_volume(kSlices, 1, 0);
    Image guide = filter_reference::phantom_volume(kSlices, 2, 0);
    Image stored = filter_reference::phantom_volume(kSlices, 3, 1024);
};
const Phantoms& phantoms() {
    static const Phantoms p;
    return p;
}

Image slice(const Image& vol, int z) { return {vol.begin() + z * kSliceSize, vol.begin() + (z + 1) * kSliceSize}; }

float weight(int k, float s) { return k == 0 ? 1.0f : std::exp(-static_cast<float>(k * k) / (s * s)); }

struct Window {
    float sigmaR, sigmaS, sigmaZ;
    int rx, ry, rz;   // worked out by hand from the sigmas
    float minWeight;  // spatial weights up to this are left out
    bool halfUp = false;
};

// Pixel (x, y) of plane z of w x h x n volumes, every index clamped.
int reference_pixel(const int16_t* v, const int16_t* g, int w, int h, int n, int x, int y, int z, const Window& p) {
    auto at = [&](const int16_t* a, int dx, int dy, int dz) {
        return a[(static_cast<std::size_t>(std::clamp(z + dz, 0, n - 1)) * h + std::clamp(y + dy, 0, h - 1)) * w +
                 std::clamp(x + dx, 0, w - 1)];
    };
    float num = 0.0f, den = 0.0f;
    for (int dz = -p.rz; dz <= p.rz; ++dz)
        for (int dy = -p.ry; dy <= p.ry; ++dy)
            for (int dx = -p.rx; dx <= p.rx; ++dx) {
                const float ws = weight(dx, p.sigmaS) * weight(dy, p.sigmaS) * weight(dz, p.sigmaZ);
                if (!(ws > p.minWeight)) continue;
                const float gr = weight(std::min(std::abs(at(g, dx, dy, dz) - at(g, 0, 0, 0)), 4000), p.sigmaR);
                num += static_cast<float>(at(v, dx, dy, dz)) * ws * gr;
                den += ws * gr;
            }
    const float mean = num / den;
    return static_cast<int>(std::trunc(mean + (p.halfUp ? 0.5f : std::copysign(0.5f, mean))));
}

TEST(BilateralFilters, MatchAPixelByPixelLoop) {
    const int16_t *v = phantoms().values.data(), *g = phantoms().guide.data();
    struct Case {
        Call run;
        Window win;
        int z;
        bool clamped;  // else the border of rx columns and ry rows keeps its values
    } cases[] = {
        {[&](int16_t* o) { bilate3dctms(v, g, o, kSlices, 40, 0.9f, 2.4f, 3); }, {40, 0.9f, 2.4f, 1, 1, 4, 0.01f}, 3,
         true},
        {[&](int16_t* o) { bilate3dcti(v, g, o, kSlices, 25, 0.9f, 2.4f, 1); }, {25, 0.9f, 2.4f, 1, 1, 4, 0}, 1, true},
        {[&](int16_t* o) { bilate2dct(v, g, o, 25, 1.5f, 3.6f); }, {25, 1.5f, 0, 2, 6, 0, 0.01f}, 0, false},
        {[&](int16_t* o) { bilate2dcts(v, g, o, 25, 9.0f, 1.5f); }, {25, 1.5f, 0, 2, 2, 0, 0.01f}, 0, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        Image out(kSliceSize, 4321);
        c.run(out.data());
        for (int y : {0, 5, 6, 40, 63, 64, 150, 256, 300, 448, 505, 506, 511})
            for (int x = 0; x < kSide; ++x) {
                const bool border = !c.clamped && (std::min(x, kSide - 1 - x) < c.win.rx ||
                                                   std::min(y, kSide - 1 - y) < c.win.ry);
                const int want = border ? 4321 : reference_pixel(v, g, kSide, kSide, kSlices, x, y, c.z, c.win);
                ASSERT_EQ(out[y * kSide + x], want) << "case " << i << " at " << x << "," << y;
            }
    }

    // A crop across the air/water edge: height 29 gives the workers 3 rows
    // each and the last 8. In its last row, guide steps of 60000 weigh as
    // 4000 does (not 0, with a range sigma of 3000).
    constexpr int w = 37, h = 29;
    Image cv, cg, out(w * h);
    for (int y = 20; y < 20 + h; ++y) {
        cv.insert(cv.end(), v + y * kSide + 240, v + y * kSide + 240 + w);
        cg.insert(cg.end(), g + y * kSide + 240, g + y * kSide + 240 + w);
    }
    for (int x = 0; x < w; ++x) {
        cg[(h - 1) * w + x] = x % 2 ? 30000 : -30000;
        cv[(h - 1) * w + x] = x % 2 ? 1000 : -1000;
    }
    for (float sigmaR : {25.0f, 3000.0f}) {
        bilate2dms(cv.data(), cg.data(), out.data(), w, h, sigmaR, 1.5f);
        const Window win{sigmaR, 1.5f, 0, 2, 2, 0, 0, true};
        for (int i = 0; i < w * h; ++i)
            ASSERT_EQ(out[i], reference_pixel(cv.data(), cg.data(), w, h, 1, i % w, i / w, 0, win))
                << sigmaR << ", " << i;
    }
}

// sigma_z 0.3 (radius 0) leaves no weight in 0 ... 0.01, where the members'
// cuts differ; on values >= 0 half-up and nearest agree.
TEST(BilateralFilters, ThreadedMembersMatchTheirTwinsAndHugeRangeIsGaussian) {
    const int16_t *v = phantoms().stored.data(), *g = phantoms().guide.data();
    Image ms(kSliceSize), twin(kSliceSize);
    for (int z : {0, 2, kSlices - 1}) {
        bilate3dctms(v, g, ms.data(), kSlices, 25, 1.5f, 0.3f, z);
        bilate3dcti(v, g, twin.data(), kSlices, 25, 1.5f, 0.3f, z);
        EXPECT_EQ(ms, twin) << "z " << z;
    }
    bilate2dms(v, v, ms.data(), kSide, kSide, 25, 1.5f);
    bilate3dcti(v, v, twin.data(), 1, 25, 1.5f, 0, 0);
    EXPECT_EQ(ms, twin) << "2dms";
    // Every range weight is exactly 1: the Gaussian box filter's mean.
    bilate3dctms(v, v, ms.data(), kSlices, 1e9f, 1.5f, 0.3f, 1);
    boxfilter3dctms(twin.data(), v, kSlices, 1.5f, 0.3f, 0.0f, 1);
    EXPECT_EQ(ms, twin) << "huge range sigma";
}

// Root mean square over a square of water (mean 0) away from the rod and the block.
double rms_of_water(const Image& img) {
    double sum2 = 0;
    for (int y = 300; y < 360; ++y)
        for (int x = 300; x < 360; ++x) sum2 += std::pow(img[y * kSide + x], 2);
    return std::sqrt(sum2 / (60 * 60));
}

TEST(BilateralFilters, FlatWaterGetsSmootherWhileTheAirEdgeStays) {
    Image out(kSliceSize), gauss(kSliceSize);
    const int16_t* v = phantoms().values.data();
    bilate3dctms(v, v, out.data(), kSlices, 30, 1.5f, 1.5f, 1);
    bilate3dctms(v, v, gauss.data(), kSlices, 1e9f, 1.5f, 1.5f, 1);
    EXPECT_LT(rms_of_water(out), 0.5 * rms_of_water(slice(phantoms().values, 1)));
    const int16_t* row = &out[256 * kSide];  // enters the water disc at column 36
    for (int x = 30; x < 36; ++x) EXPECT_EQ(row[x], -1000) << x;
    for (int x = 36; x < 40; ++x) EXPECT_NEAR(row[x], 0, 15) << x;
    EXPECT_GT(gauss[256 * kSide + 35], -900);  // a plain Gaussian smears it
}

// Refused calls write nothing; negative sigmas give radius 0, only the
// centre. bilate2dcts ignores its fifth argument.
TEST(BilateralFilters, RefusedArgumentsWriteNothingAndRadiusZeroCopies) {
    const Image& vol = phantoms().stored;
    const int16_t* v = vol.data();
    const Image untouched(kSliceSize, 4321), slice0 = slice(vol, 0), slice1 = slice(vol, 1);
    const std::pair<Call, const Image&> cases[] = {
        {[&](int16_t* o) { bilate3dctms(v, v, o, kSlices, kNaN, 1.5f, 1.5f, 1); }, untouched},
        {[&](int16_t* o) { bilate3dctms(v, v, o, kSlices, 25, INFINITY, 1.5f, 1); }, untouched},
        {[&](int16_t* o) { bilate3dcti(v, v, o, kSlices, 25, 1.5f, kNaN, 1); }, untouched},
        {[&](int16_t* o) { bilate3dctms(v, v, o, kSlices, 25, 1.5f, 1.5f, -1); }, untouched},
        {[&](int16_t* o) { bilate3dcti(v, v, o, kSlices, 25, 1.5f, 1.5f, kSlices); }, untouched},
        {[&](int16_t* o) { bilate3dctms(v, v, o, 0, 25, 1.5f, 1.5f, 0); }, untouched},
        {[&](int16_t* o) { bilate3dctms(v, v, o, kSlices, 25, 1e4f, 1.5f, 1); }, untouched},  // radius 16666
        {[&](int16_t* o) { bilate2dms(v, v, o, kSide, kSide, 25, kNaN); }, untouched},
        {[&](int16_t* o) { bilate2dms(v, v, o, 0, kSide, 25, 1.5f); }, untouched},
        {[&](int16_t* o) { bilate2dct(v, v, o, 25, 1.5f, kNaN); }, untouched},
        {[&](int16_t* o) { bilate2dct(v, v, o, 25, 1.5f, 160.0f); }, untouched},  // all border
        {[&](int16_t* o) { bilate2dcts(v, v, o, kNaN, 1.5f, 1.5f); }, untouched},
        {[&](int16_t* o) { bilate3dctms(v, v, o, kSlices, 25, -2.0f, -2.0f, 1); }, slice1},
        {[&](int16_t* o) { bilate3dcti(v, v, o, kSlices, 25, -2.0f, -2.0f, 1); }, slice1},
        {[&](int16_t* o) { bilate2dms(v, v, o, kSide, kSide, 25, -2.0f); }, slice0},
        {[&](int16_t* o) { bilate2dct(v, v, o, 25, -2.0f, -2.0f); }, slice0},
        {[&](int16_t* o) { bilate2dcts(v, v, o, 25, kNaN, -2.0f); }, slice0},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Image out = untouched;
        cases[i].first(out.data());
        EXPECT_EQ(out, cases[i].second) << "case " << i;
    }
}

TEST(Mediantd, MedianOfThreeWithRepeatedEndsRowByRowAlsoInPlace) {
    const struct {
        int width, height;
        Image in, want;
    } cases[] = {
        {3, 1, {5, 1, 9}, {5, 5, 9}},
        {1, 1, {7}, {7}},
        {2, 1, {3, 8}, {3, 8}},
        {5, 1, {1, 9, 2, 8, 3}, {1, 2, 8, 3, 3}},
        {3, 2, {-32768, 32767, 0, 4, -4, 9}, {-32768, 0, 0, 4, 4, 9}},  // rows don't mix
        {3, 0, {1, 2, 3}, {1, 2, 3}},
        {0, 1, {1, 2, 3}, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        Image out = c.in, inPlace = c.in;
        mediantd(out.data(), Image(c.in).data(), c.width, c.height);
        mediantd(inPlace.data(), inPlace.data(), c.width, c.height);
        EXPECT_EQ(out, c.want) << c.width << " x " << c.height;
        EXPECT_EQ(inPlace, c.want) << c.width << " x " << c.height << " in place";
    }
}

// Mean 1000, SD 100 over 512 x 512: both within 1 % of the SD, and nothing
// beyond the sum's reach of 6 SD.
TEST(Noise, MeanAndSdWithinOnePercent) {
    constexpr int n = 512;
    randominit();
    std::vector<uint16_t> img(n * n);
    std::vector<float> imgf(n * n), added(n * n, 0.0f);
    Image addedsi(n * n, 1000);
    randomimg(img.data(), n, n, 100, 1000);
    randomimgf(imgf.data(), n, n, 0, n, 100, 1000);
    randomadd(added.data(), n, n, 100, 1000);
    randomaddsi(addedsi.data(), n, n, 100);
    const std::vector<double> draws[] = {{img.begin(), img.end()}, {imgf.begin(), imgf.end()},
                                         {added.begin(), added.end()}, {addedsi.begin(), addedsi.end()}};
    for (std::size_t i = 0; i < std::size(draws); ++i) {
        double sum = 0, sum2 = 0;
        for (double x : draws[i]) sum += x - 1000, sum2 += (x - 1000) * (x - 1000);
        const double bias = sum / (n * n);
        EXPECT_NEAR(bias, 0, 1.0) << "export " << i;
        EXPECT_NEAR(std::sqrt(sum2 / (n * n) - bias * bias), 100, 1.0) << "export " << i;
        const auto [lo, hi] = std::minmax_element(draws[i].begin(), draws[i].end());
        EXPECT_TRUE(*lo >= 399.5 && *hi <= 1600.5) << "export " << i;
    }
}

// NaN and out-of-range means go through the checked conversion, then wrap.
TEST(Noise, SdZeroStoresTheConvertedMean) {
    const struct {
        float mean;
        uint16_t want;
    } cases[] = {{100, 100}, {2.5f, 3}, {-2.5f, 65533}, {70000, 4464}, {kNaN, 0}, {1e10f, 65535}};
    for (const auto& c : cases) {
        std::vector<uint16_t> a(6, 7);
        randomimg(a.data(), 3, 2, 0, c.mean);
        EXPECT_EQ(a, std::vector<uint16_t>(6, c.want)) << c.mean;
    }
    std::vector<float> f = {0.25f, -1.0f};
    randomadd(f.data(), 2, 1, 0, -2.5f);
    EXPECT_EQ(f, (std::vector<float>{-2.75f, -4.0f}));
    Image s = {-3, 0, 5, 32767};
    randomaddsi(s.data(), 4, 1, 0);
    EXPECT_EQ(s, (Image{-2, 0, 5, 32767}));
    std::vector<float> region(20, -1.0f);  // rows 1 and 2, columns 1 to 3 of a 5-wide image
    randomimgf(region.data(), 5, 2, 6, 3, 0, 7.0f);
    for (int i = 0; i < 20; ++i) {
        const int row = i / 5, column = i % 5;
        EXPECT_EQ(region[i], row >= 1 && row <= 2 && column >= 1 && column <= 3 ? 7.0f : -1.0f) << i;
    }
}

}  // namespace
