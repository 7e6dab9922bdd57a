// Affine resampling, rotation and disc blur: exact pixel moves, linear
// images reproduced under any matrix, discs of the right area, and refused
// arguments that write nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "lumvek.h"

namespace {

constexpr int kSide = LUMVEK_SLICE_SIDE, kSlice = LUMVEK_SLICE_SIZE;
constexpr float kNan = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();
using Slice = std::vector<int16_t>;

Slice random_slice(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    Slice s(kSlice);
    for (int16_t& v : s) v = static_cast<int16_t>(dist(rng));
    return s;
}

int16_t at(const Slice& s, int x, int y) { return s[std::clamp(y, 0, 511) * kSide + std::clamp(x, 0, 511)]; }

TEST(GeometryBlur, MatrixMapsOutputPixelsToInputPositions) {
    const Slice in = random_slice(1);
    Slice out(kSlice);
    ctmatrixmag(out.data(), in.data(), kSide, 1, 0, 0, 0, 1, 0);
    EXPECT_EQ(out, in);
    // Bilinear sampling reproduces a linear image exactly: out(x, y) is the
    // image at (a x + b y + c, d x + e y + f), clamped into the slice.
    // Quarter-pixel positions put many values on halves (away from zero).
    Slice ramp(kSlice);
    for (int i = 0; i < kSlice; ++i) ramp[i] = static_cast<int16_t>(i % kSide + 2 * (i / kSide) - 600);
    constexpr int size = 300;
    Slice zoom(size * size);
    ctmatrixmag(zoom.data(), ramp.data(), size, 0.5f, 0.25f, 10.0f, -0.25f, 0.5f, 200.0f);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double px = std::clamp(0.5 * x + 0.25 * y + 10, 0.0, 511.0);
            const double py = std::clamp(-0.25 * x + 0.5 * y + 200, 0.0, 511.0);
            ASSERT_EQ(zoom[y * size + x], std::round(px + 2 * py - 600)) << x << " " << y;
        }
    // A zero magnification samples one point everywhere.
    ctmatrixmag(zoom.data(), ramp.data(), size, 0, 0, 7, 0, 0, 9);
    EXPECT_EQ(zoom, Slice(size * size, at(ramp, 7, 9)));
    // Huge coefficients: at (1, 0) both coordinates are 3e38, the far
    // corner; at (2, 2) x is inf - inf, a NaN that counts as 0, y is inf.
    ctmatrixmag(zoom.data(), ramp.data(), 3, 3e38f, -3e38f, 0, 3e38f, 3e38f, 0);
    EXPECT_EQ(zoom[1], at(ramp, 511, 511));
    EXPECT_EQ(zoom[2 * 3 + 2], at(ramp, 0, 511));
}

TEST(GeometryBlur, QuarterTurnsMovePixelsExactly) {
    const Slice in = random_slice(2);
    struct Case {
        float degrees, cx, cy;
        std::function<int16_t(int x, int y)> expected;
    };
    const std::vector<Case> cases = {
        {90, 255.5f, 255.5f, [&](int x, int y) { return at(in, 511 - y, x); }},  // transposed, flipped top to bottom
        {-270, 255.5f, 255.5f, [&](int x, int y) { return at(in, 511 - y, x); }},
        {180, 255.5f, 255.5f, [&](int x, int y) { return at(in, 511 - x, 511 - y); }},
        {90, 200, 300, [&](int x, int y) { return at(in, 500 - y, x + 100); }},  // about another centre, clamped
    };
    for (const Case& c : cases) {
        Slice out(kSlice);
        imgrota(out.data(), in.data(), c.degrees, c.cx, c.cy);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                ASSERT_EQ(at(out, x, y), c.expected(x, y)) << c.degrees << " " << x << " " << y;
    }
}

TEST(GeometryBlur, DiscBlurKeepsConstantsAndSpreadsAnImpulseOverTheDisc) {
    for (float radius : {0.0f, 2.5f, 40.0f})
        for (float enhance : {0.0f, 2.0f}) {
            const Slice flat(kSlice, -1234);
            Slice out(kSlice);
            ctcircleblur(out.data(), flat.data(), radius, enhance);
            EXPECT_EQ(out, flat) << radius << " " << enhance;
        }
    // Radius 2 holds the 13 offsets with dx^2 + dy^2 <= 4.
    Slice impulse(kSlice, 0), out(kSlice);
    impulse[200 * kSide + 300] = 13000;
    ctcircleblur(out.data(), impulse.data(), 2.0f, 0.0f);
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx)
            EXPECT_EQ(at(out, 300 + dx, 200 + dy), dx * dx + dy * dy <= 4 ? 1000 : 0) << dx << " " << dy;
    // A negative radius leaves the centre alone, also in place.
    Slice img = random_slice(3);
    const Slice before = img;
    ctcircleblur(img.data(), img.data(), -3.0f, 0.0f);
    EXPECT_EQ(img, before);
    // Sharpening past the 16-bit range clamps instead of wrapping.
    Slice step(kSlice);
    for (int i = 0; i < kSlice; ++i) step[i] = i % kSide < 256 ? -30000 : 30000;
    ctcircleblur(out.data(), step.data(), 3.0f, 3.0f);
    EXPECT_EQ(at(out, 255, 100), -32768);
    EXPECT_EQ(at(out, 256, 100), 32767);
}

TEST(GeometryBlur, RefusedArgumentsWriteNothing) {
    const Slice in = random_slice(4);
    const int16_t* i = in.data();
    const std::vector<std::function<void(int16_t*)>> calls = {
        [&](int16_t* o) { ctmatrixmag(o, i, 0, 1, 0, 0, 0, 1, 0); },  // sizes <= 0
        [&](int16_t* o) { ctmatrixmag(o, i, 8, 1, 0, 0, 0, kNan, 0); },
        [&](int16_t* o) { ctmatrixmag(o, i, 8, 1, 0, kInf, 0, 1, 0); },
        [&](int16_t* o) { imgrota(o, i, kNan, 255.5f, 255.5f); },
        [&](int16_t* o) { imgrota(o, i, 10, kInf, 255.5f); },
        [&](int16_t* o) { ctcircleblur(o, i, kNan, 0); },
        [&](int16_t* o) { ctcircleblur(o, i, 5000, 0); },  // radius above 4096
        [&](int16_t* o) { ctcircleblur(o, i, 2, kNan); },
    };
    for (std::size_t k = 0; k < calls.size(); ++k) {
        Slice out(kSlice, 77);
        calls[k](out.data());
        EXPECT_EQ(out, Slice(kSlice, 77)) << "case " << k;
    }
}

}  // namespace
