#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "lumvek.h"

namespace {

constexpr int kSide = 512, kSlice = kSide * kSide;
constexpr int16_t kUnset = -7777;  // outputs start with it, so unwritten pixels show
constexpr float kNaN = NAN, kInf = INFINITY;

template <class T>
std::vector<T> image(int w, int h, const std::function<double(int, int)>& f) {
    std::vector<T> v;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) v.push_back(static_cast<T>(f(x, y)));
    return v;
}

// Stored CT numbers, never negative: half-up moves an exact negative value up by one.
std::vector<int16_t> noise(int w, int h) {
    std::mt19937 gen(7);
    return image<int16_t>(w, h, [&](int, int) { return gen() % 4001; });
}

template <class T>
std::vector<float> floats(const std::vector<T>& v) { return {v.begin(), v.end()}; }

TEST(Resampling, UnitScaleCopiesAndPixelsWithoutSourceStayUnwritten) {
    const std::vector<int16_t> in = noise(kSide, kSide);
    std::vector<float> outF(kSlice);
    ctbicubic(outF.data(), floats(in).data(), 1.0f, 0.0f, 0.0f);
    EXPECT_EQ(outF, floats(in));
    std::vector<int16_t> out(kSlice);
    ctbicubic2si(out.data(), in.data(), kSide, kSide);
    EXPECT_EQ(out, in);
    // Shifted 100 columns, columns 412 .. 511 sample 512 and beyond.
    out.assign(kSlice, kUnset);
    ctbicubicsi(out.data(), in.data(), 1.0f, 100.0f, 0.0f);
    for (int i = 0; i < kSlice; i += 7) ASSERT_EQ(out[i], i % kSide <= 411 ? in[i + 100] : kUnset) << i;
    // Positions truncate: row -0.5 still samples row 0, row -1 does not.
    for (float cy : {-0.5f, -1.0f}) {
        out.assign(kSlice, kUnset);
        ctbicubicsi(out.data(), in.data(), 1.0f, 0.0f, cy);
        EXPECT_EQ(out[5] != kUnset, cy > -1.0f);
    }
    // ctcubicmag, step 0.5: rows from 41 on lie past source row 20 and repeat output row 40.
    std::vector<float> tall(73 * 50);
    ctcubicmag(tall.data(), floats(noise(37, 21)).data(), 73, 50, 37, 21);
    for (int r = 41; r < 50; ++r) EXPECT_TRUE(std::equal(&tall[r * 73], &tall[r * 73 + 73], &tall[40 * 73])) << r;
}

TEST(Resampling, RampMagnifiedAboutAPointIsExact) {
    // The cubic reproduces a plane wherever no neighbour is clamped.
    const auto ramp = [](double x, double y) { return 3 * x - 2 * y + 0.25; };
    const std::vector<float> in = image<float>(kSide, kSide, ramp);
    std::vector<float> out(kSlice);
    ctbicubic(out.data(), in.data(), 2.0f, 10.5f, -20.0f);
    for (int i = 0; i < kSlice; i += 11)
        ASSERT_NEAR(out[i], ramp((i % kSide - 256) / 2.0 + 266.5, (i / kSide - 256) / 2.0 + 236), 1e-3) << i;
    // Half a pixel before column 0 the integer part is still 0: the cubic
    // through 0.25, 0.25, 3.25, 6.25 at t = -0.5 gives 0.25 + 3 / 16.
    ctbicubic(out.data(), in.data(), 1.0f, -0.5f, 0.0f);
    EXPECT_FLOAT_EQ(out[0], 0.4375f);
    // Half-up: x = 255.5 on the ramp x - 300 gives -44.5 -> -44.
    const std::vector<int16_t> ramp16 = image<int16_t>(kSide, kSide, [](int x, int) { return x - 300; });
    std::vector<int16_t> out16(kSlice);
    ctbicubicsi(out16.data(), ramp16.data(), 2.0f, 0.0f, 0.0f);
    EXPECT_EQ(out16[9 * kSide + 255], -44);
}

TEST(Resampling, CosineResizedMatchesTheAnalyticImage) {
    // Flat at the edges, past which the image repeats its edge; error with rounding below 2.
    const auto wave = [](double x, double y) {
        return 1000 + 800 * std::cos(x * M_PI / 23.5) * std::cos(y * M_PI / 23.5);
    };
    const std::vector<float> inF = image<float>(48, 48, wave);
    const std::vector<int16_t> in = image<int16_t>(48, 48, [&](int x, int y) { return std::lround(wave(x, y)); });
    std::vector<float> o(95 * 95);
    ctcubicmag(o.data(), inF.data(), 95, 95, 48, 48);
    std::vector<int16_t> o2(70 * 70), o3(120 * 120);
    ctbicubic2si(o2.data(), in.data(), 70, 48);
    imgcubicmag(o3.data(), in.data(), 48, 48, 2.5f);
    const struct { std::vector<float> out; int side; double step; } cases[] = {
        {o, 95, 0.5}, {floats(o2), 70, 47.0 / 69}, {floats(o3), 120, 1 / 2.5}};
    for (const auto& k : cases)
        for (int i = 0; i < k.side * k.side; ++i)
            ASSERT_NEAR(k.out[i], wave(std::min(i % k.side * k.step, 47.0), std::min(i / k.side * k.step, 47.0)), 2)
                << k.side << ' ' << i;
}

TEST(Resampling, DegenerateArgumentsStayInside) {
    const std::vector<int16_t> in = noise(kSide, kSide);
    const std::vector<float> inF = floats(in);
    std::vector<int16_t> out(kSlice, kUnset);
    std::vector<float> outF(kSlice, kUnset);
    for (float mag : {0.0f, kNaN}) ctbicubic(outF.data(), inF.data(), mag, 0.0f, 0.0f);
    for (float shift : {kNaN, kInf, 1e30f}) ctbicubicsi(out.data(), in.data(), 1.0f, shift, 0.0f);
    for (float mag : {0.0f, kNaN, -1.0f, 0.01f}) imgcubicmag(out.data(), in.data(), 64, 64, mag);
    for (int n : {0, -3}) {
        ctbicubic2si(out.data(), in.data(), n, 512);
        ctbicubic2si(out.data(), in.data(), 512, n);
        ctcubicmag(outF.data(), inF.data(), n, 8, 512, 512);
        ctcubicmag(outF.data(), inF.data(), 8, n, 512, 512);
        ctcubicmag(outF.data(), inF.data(), 8, 8, n, 512);
        ctcubicmag(outF.data(), inF.data(), 8, 8, 512, n);
    }
    imghalf(out.data(), in.data(), 1, 512);
    EXPECT_EQ(out, std::vector<int16_t>(kSlice, kUnset));
    EXPECT_EQ(outF, std::vector<float>(kSlice, kUnset));
    // One output pixel per row samples column 0: no step to divide.
    ctbicubic2si(out.data(), in.data(), 1, 512);
    ctcubicmag(outF.data(), inF.data(), 1, 3, 512, 512);
    EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 2), (std::vector<int16_t>{in[0], kUnset}));
    EXPECT_EQ(std::vector<float>(outF.begin(), outF.begin() + 4), (std::vector<float>{inF[0], inF[0], inF[0], kUnset}));
}

TEST(Resampling, SixteenBitStores) {
    // imghalf: 1 2 / 3 4 gives 2.5 -> 3, its negative -2.5 -> -2; the odd last column and row are left out.
    const std::vector<int16_t> in = {1, 2, -1, -2, 99, 3, 4, -3, -4, 99, 99, 99, 99, 99, 99};
    std::vector<int16_t> out(3, kUnset);
    imghalf(out.data(), in.data(), 5, 3);
    EXPECT_EQ(out, (std::vector<int16_t>{3, -2, kUnset}));
    // Past a step up to 32767 the cubic overshoots to 34814.94, stored as its
    // low 16 bits. The 4 x 1 image magnified by 2 is 8 x 2.
    const std::vector<int16_t> step = {0, 32767, 32767, 32767};
    std::vector<int16_t> mag(16);
    imgcubicmag(mag.data(), step.data(), 4, 1, 2.0f);
    EXPECT_EQ(mag[3], static_cast<int16_t>(34815 - 65536));
}

}  // namespace
