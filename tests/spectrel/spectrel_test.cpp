#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "spectrel.h"

namespace {

using Image = std::vector<int16_t>;

constexpr float kPixel = 0.5f;   // mm
constexpr float kCutoff = 0.2f;  // cycles per mm

Image smooth(const Image& in, int width, int height) {
    Image out(in.size(), -7);
    mklsmooth_wotf(in.data(), out.data(), width, height);
    return out;
}

// 1000 + 500 cos(2 pi (cx x / width + cy y / height)) has whole cycles across
// the image, so it sits on one FFT bin and must come out with its amplitude
// times H(f). A negative cy puts it in the upper, folded rows of the
// spectrum. Each case also smooths in place, which must give the same.
TEST(Spectrel, CosineIsScaledByTheTransferFunction) {
    struct Case { int width, height, cx, cy; double tolerance; };
    for (const Case c : {Case{512, 512, 20, 0, 1}, Case{512, 512, 20, 20, 1}, Case{256, 128, 10, -5, 1},
                         Case{256, 128, 0, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " cycles " << c.cx << "," << c.cy);
        const double f = std::hypot(c.cx / (c.width * kPixel), c.cy / (c.height * kPixel));
        const double gain = std::exp(-std::log(10.0) * std::pow(f / kCutoff, 2));
        Image in;
        std::vector<double> expected;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const double phase = double(c.cx) * x / c.width + double(c.cy) * y / c.height;
                const double wave = std::cos(2 * std::numbers::pi * phase);
                in.push_back(static_cast<int16_t>(std::lround(1000 + 500 * wave)));
                expected.push_back(1000 + 500 * gain * wave);
            }
        mklsmooth_tfset(c.width, c.height, kPixel, kCutoff, nullptr, 0);
        const Image original = in, out = smooth(in, c.width, c.height);
        double worst = 0;
        for (size_t i = 0; i < out.size(); ++i) worst = std::max(worst, std::abs(out[i] - expected[i]));
        EXPECT_LE(worst, c.tolerance);
        EXPECT_EQ(in, original);
        mklsmooth_wotf(in.data(), in.data(), c.width, c.height);
        EXPECT_EQ(in, out);
    }
}

// Sharp steps at both ends of the range overshoot it under a wide transfer
// function; by linearity the quarter-scale image shows by how much.
TEST(Spectrel, SaturatesInsteadOfWrapping) {
    mklsmooth_tfset(64, 64, kPixel, 1.5f, nullptr, 0);
    Image big, quarter;
    for (int i = 0; i < 64 * 64; ++i) {
        big.push_back(i % 64 < 32 ? 32764 : -32768);
        quarter.push_back(static_cast<int16_t>(big.back() / 4));
    }
    const Image out = smooth(big, 64, 64), reference = smooth(quarter, 64, 64);
    int clipped = 0, worst = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const int expected = std::clamp(4 * reference[i], -32768, 32767);
        clipped += expected != 4 * reference[i];
        worst = std::max(worst, std::abs(out[i] - expected));
    }
    EXPECT_GT(clipped, 0);
    EXPECT_LE(worst, 3);  // four times the reference's rounding, plus this one's
}

TEST(Spectrel, RefusedCallsLeaveOutputUntouched) {
    const Image in(64 * 64, 100), untouched(64 * 64, -7);
    mklsmooth_tffree();
    EXPECT_EQ(smooth(in, 64, 64), untouched);
    mklsmooth_tfset(64, 64, kPixel, kCutoff, nullptr, 0);
    EXPECT_EQ(smooth(in, 64, 32), untouched);
    Image out = untouched;
    mklsmooth_wotf(nullptr, out.data(), 64, 64);
    mklsmooth_wotf(in.data(), nullptr, 64, 64);
    EXPECT_EQ(out, untouched);
    mklsmooth_tffree();
    mklsmooth_tffree();
    EXPECT_EQ(smooth(in, 64, 64), untouched);

    // Invalid arguments write no transfer values and drop the earlier preparation.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Args { int width, height; float pixel, cutoff; };
    for (const Args a : {Args{1, 64, kPixel, kCutoff}, Args{64, 8193, kPixel, kCutoff}, Args{64, 64, 0, kCutoff},
                         Args{64, 64, nan, kCutoff}, Args{64, 64, kPixel, -1}, Args{64, 64, kPixel, inf}}) {
        mklsmooth_tfset(64, 64, kPixel, kCutoff, nullptr, 0);
        std::vector<float> transfer(64 * 64, -1);
        mklsmooth_tfset(a.width, a.height, a.pixel, a.cutoff, transfer.data(), 0);
        EXPECT_EQ(transfer, std::vector<float>(64 * 64, -1));
        EXPECT_EQ(smooth(in, 64, 64), untouched);
    }
}

// 256 x 128 at 0.5 mm: bin steps of 1/128 and 1/64 cycles per mm, so a
// cutoff of 0.25 falls on column 32 (and its mirror 224) and row 16 (and 112).
TEST(Spectrel, TransferArrayHoldsTheGaussianInFftOrder) {
    std::vector<float> h(256 * 128);
    mklsmooth_tfset(256, 128, kPixel, 0.25f, h.data(), 0);
    EXPECT_EQ(h[0], 1.0f);
    for (int i : {32, 224, 16 * 256, 112 * 256}) EXPECT_NEAR(h[i], 0.1f, 1e-4f) << i;
    EXPECT_NEAR(h[16 * 256 + 32], 0.01f, 1e-5f);
}

}  // namespace
