#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "lumvek.h"

namespace {

constexpr int kSide = 512;
constexpr int kSlice = kSide * kSide;

using Slice = std::vector<int16_t>;

Slice random_slice(unsigned seed, int lo = -1500, int hi = 2500) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> dist(lo, hi);
    Slice v(kSlice);
    for (int16_t& x : v) x = static_cast<int16_t>(dist(gen));
    return v;
}

// A 5 x 3 volume of 4 slices; voxel (x, y, k) holds base[k] + 10 y + x, so
// every column along z follows the same four values.
struct SmallVolume {
    static constexpr int width = 5, height = 3, slices = 4;
    std::vector<int16_t> voxels;
    explicit SmallVolume(std::vector<int> base) {
        for (int k = 0; k < slices; ++k)
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) voxels.push_back(static_cast<int16_t>(base[k] + 10 * y + x));
    }
    std::vector<int16_t> slice(int k) const {
        return {voxels.begin() + k * width * height, voxels.begin() + (k + 1) * width * height};
    }
    std::vector<int16_t> at(float dz, float z) const {
        std::vector<int16_t> out(width * height, -7);
        zintp(out.data(), voxels.data(), width, height, slices, dz, z);
        return out;
    }
};

TEST(Zintp, HitsSlicesExactlyAndClampsBeyondTheEnds) {
    const SmallVolume vol({100, 200, 400, 300});
    EXPECT_EQ(vol.at(0.7f, 0.0f), vol.slice(0));
    for (int k = 0; k < 4; ++k) EXPECT_EQ(vol.at(0.7f, 0.7f * k), vol.slice(k)) << k;
    EXPECT_EQ(vol.at(0.7f, 4 * 0.7f), vol.slice(3));
    EXPECT_EQ(vol.at(0.7f, 1e9f), vol.slice(3));
    EXPECT_EQ(vol.at(1e-30f, 1e9f), vol.slice(3));  // index far beyond int range
}

TEST(Zintp, CatmullRomBetweenSlices) {
    // z = 3 with dz = 2: between slices 1 and 2 at f = 0.5, samples
    // 100, 200, 400, 300: ((-100 + 250) / 2 + 150) / 2 + 200 = 312.5 -> 313.
    const SmallVolume vol({100, 200, 400, 300});
    std::vector<int16_t> out = vol.at(2.0f, 3.0f);
    EXPECT_EQ(out[0], 313);
    EXPECT_EQ(out[2 * 5 + 4], 313 + 24);  // row 2, column 4 offsets every sample by 24

    const SmallVolume neg({-100, -200, -400, -300});  // halves away from zero
    EXPECT_EQ(neg.at(2.0f, 3.0f)[0], -313);

    // f = 0.25 in the same interval: ((-50 + 250) / 4 + 150) / 4 + 200 = 250.
    EXPECT_EQ(vol.at(2.0f, 2.5f)[0], 250);

    // Before slice 1 the first sample clamps to slice 0: samples 100, 100,
    // 200, 400 at f = 0.5 give (50 / 2 + 50) / 2 + 100 = 137.5 -> 138.
    EXPECT_EQ(vol.at(2.0f, 1.0f)[0], 138);
}

TEST(Circleblur2dct, CentreKeptCornersToAirWidthBelowOneActsAsOne) {
    Slice img(kSlice, 1500);
    circleblur2dct(img.data(), 1, 4.0f);
    EXPECT_EQ(img[255 * kSide + 255], 1500);
    EXPECT_EQ(img[256 * kSide + 256], 1500);
    for (int corner : {0, kSide - 1, (kSide - 1) * kSide, kSlice - 1}) EXPECT_EQ(img[corner], 0);
    // Column 255, row 2 lies 1.9995 pixels inside the edge: d = 0.49988,
    // w = 3u^2 - 2u^3 = 0.50018 with u = 1 - d, so 1500 becomes 749.7 -> 750.
    EXPECT_EQ(img[2 * kSide + 255], 750);

    Slice ct(kSlice, 40);
    circleblur2dct(ct.data(), 0, 4.0f);
    EXPECT_EQ(ct[255 * kSide + 255], 40);
    for (int corner : {0, kSide - 1, (kSide - 1) * kSide, kSlice - 1}) EXPECT_EQ(ct[corner], -1000);

    const Slice src = random_slice(1);
    Slice narrow = src, one = src;
    circleblur2dct(narrow.data(), 0, 0.25f);
    circleblur2dct(one.data(), 0, 1.0f);
    EXPECT_EQ(narrow, one);
    EXPECT_NE(one, src);
}

TEST(Ctinr2dfilter, UnitTransferReturnsTheInputAlsoInPlace) {
    const Slice src = random_slice(2);
    Slice out(kSlice, 0);
    ctinr2dfilter(out.data(), src.data(), 0.7f, 0.5f, 1.0f, 0.5f, 0.0f);
    EXPECT_EQ(out, src);

    // A sharpening filter, once into a separate slice and once in place.
    Slice separate(kSlice), inPlace = src;
    ctinr2dfilter(separate.data(), src.data(), 0.7f, 0.5f, 0.3f, 0.5f, 0.5f);
    ctinr2dfilter(inPlace.data(), inPlace.data(), 0.7f, 0.5f, 0.3f, 0.5f, 0.5f);
    EXPECT_EQ(inPlace, separate);
    EXPECT_NE(separate, src);
}

TEST(Ctinr2dfilter, FlatSliceStaysFlat) {
    // Only zero frequency is present, where H is 1 whatever low and high are.
    const Slice flat(kSlice, 1000);
    Slice out(kSlice);
    ctinr2dfilter(out.data(), flat.data(), 0.7f, 0.5f, 0.2f, 0.5f, 0.3f);
    EXPECT_EQ(out, flat);
}

TEST(Ctorgmul, RatioZeroKeepsImageRatioOneAddsTheParts) {
    const Slice hp = random_slice(3, -300, 300), lp = random_slice(4);
    const Slice img0 = random_slice(5);
    Slice img = img0;
    ctorgmul(img.data(), hp.data(), lp.data(), 0.0f);
    EXPECT_EQ(img, img0);
    ctorgmul(img.data(), hp.data(), lp.data(), 1.0f);
    for (int i = 0; i < kSlice; ++i) ASSERT_EQ(img[i], hp[i] + lp[i]) << i;

    // 30 * 0.5 + 100 * 0.5 + 51 * 0.5 = 90.5 -> 91; negated -> -91. (A sum
    // past 16 bits clamps: see the 16-bit store test with the filters.)
    Slice a(kSlice, 100), h(kSlice, 30), l(kSlice, 51);
    a[1] = -100, h[1] = -30, l[1] = -51;
    a[2] = 0, h[2] = 30000, l[2] = 30000;
    ctorgmul(a.data(), h.data(), l.data(), 0.5f);
    EXPECT_EQ(a[0], 91);
    EXPECT_EQ(a[1], -91);
    EXPECT_EQ(a[2], 30000);
}

TEST(Ctorgmix, BlendsOnlyInsideTheSoftTissueBand) {
    Slice dst(kSlice, 100), src(kSlice, 1100), ref(kSlice, 0);
    const int refs[] = {-5000, 0, 624, 1624, 2000, 800, 1000, 1224};
    for (int i = 0; i < 8; ++i) ref[i] = static_cast<int16_t>(refs[i]);
    ctorgmix(dst.data(), src.data(), ref.data());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(dst[i], 100) << refs[i];
    // ref 800: w = 176 * 0.0028571428 = 0.50286; 49.714 + 553.143 = 602.86 -> 603.
    EXPECT_EQ(dst[5], 603);
    EXPECT_EQ(dst[6], 1100);  // full weight between 974 and 1224
    EXPECT_EQ(dst[7], 1100);
}

}  // namespace
