// Projection and streak kernels: fpj and bpj as exact adjoints, a disc's
// chord lengths and a metal disc's streak risk against geometry, and the log,
// weighted sum and z weighting against their formulas, the four-worker ones
// covering their count exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "lumvek.h"

namespace {

constexpr int kSide = LUMVEK_SLICE_SIDE, kSlice = LUMVEK_SLICE_SIZE;
constexpr float kNan = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();
using Slice = std::vector<int16_t>;

Slice random_slices(unsigned seed, int lo, int hi, int slices = 1) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(lo, hi);
    Slice s(static_cast<std::size_t>(slices) * kSlice);
    for (int16_t& v : s) v = static_cast<int16_t>(dist(rng));
    return s;
}

std::vector<float> random_floats(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (float& x : v) x = dist(rng);
    return v;
}

TEST(Projection, ForwardAndBackAreAdjoint) {
    for (int views : {7, 60}) {  // 60 views meet 45, 90 and 135 degrees exactly
        const Slice x = random_slices(static_cast<unsigned>(views), -1000, 3000);
        const std::vector<float> y = random_floats(static_cast<std::size_t>(views) * kSide, 2);
        std::vector<float> ax(y.size()), aty(kSlice);
        fpj(ax.data(), x.data(), views, 0.7f);
        bpj(aty.data(), y.data(), views, 0.7f);
        double lhs = 0, rhs = 0;
        for (std::size_t i = 0; i < y.size(); ++i) lhs += double(ax[i]) * y[i];
        for (int i = 0; i < kSlice; ++i) rhs += double(x[i]) * aty[i];
        EXPECT_NEAR(lhs, rhs, 1e-4 * std::fabs(lhs)) << views;
    }
}

TEST(Projection, DiscGivesItsChordLengths) {
    // Off the centre, so that the angle's direction shows too. Each pixel
    // holds 1000 times its share inside the disc (16 x 16 subsamples).
    // Linear interpolation rounds the chord's steep ends, so the rim (3
    // pixels in, 2 out) is left out; elsewhere the chord is met to a pixel,
    // 0.5 % of the diameter.
    constexpr double cx = 230.5, cy = 290.5, radius = 100.0;
    Slice in(kSlice);
    for (int i = 0; i < kSlice; ++i) {
        int inside = 0;
        for (int sub = 0; sub < 256; ++sub)
            inside += std::hypot(i % kSide - cx + (sub % 16 + 0.5) / 16 - 0.5,
                                 i / kSide - cy + (sub / 16 + 0.5) / 16 - 0.5) <= radius;
        in[i] = static_cast<int16_t>(std::lround(1000.0 * inside / 256));
    }
    std::vector<float> coarse(12 * kSide), fine(720 * kSide);
    fpj(coarse.data(), in.data(), 12, 0.5f);
    fpjbig(fine.data(), in.data(), 0.5f);
    for (const auto& [sino, views] : {std::pair{&coarse, 12}, std::pair{&fine, 720}})
        for (int v = 0; v < views; v += views / 12) {
            const double theta = std::numbers::pi * v / views;
            const double centre = (cx - 255.5) * std::cos(theta) + (cy - 255.5) * std::sin(theta) + 255.5;
            for (int i = 0; i < kSide; ++i) {
                const double s = std::fabs(i - centre);
                const double chord = s < radius ? 2 * std::sqrt(radius * radius - s * s) : 0.0;
                if (s <= radius - 3 || s >= radius + 2) {
                    ASSERT_NEAR((*sino)[v * kSide + i] / 500.0, chord, 1.0) << views << " " << v << " " << i;
                }
            }
        }
}

TEST(Projection, StreakRiskFollowsTheShadowOfAMetalDisc) {
    constexpr float radius = 20.0f;
    constexpr int views = 180;
    Slice in(kSlice, 0);
    for (int i = 0; i < kSlice; ++i) in[i] = std::hypot(i % kSide - 255.5f, i / kSide - 255.5f) <= radius ? 3000 : 0;
    std::vector<float> mask(views * kSide), risk(kSlice);
    strkfpj(mask.data(), in.data(), views, 2000, 1.0f);
    // A step at one pixel of metal path: the share of views whose ray
    // through the pixel meets the disc, 1 - (2/pi) arccos(R/d) outside it.
    strkrmap(risk.data(), mask.data(), views, 1.0f, 0.0f, 1.0f);
    for (float d : {0.0f, 10.0f, 30.0f, 120.0f}) {
        const float expected = d <= radius ? 1.0f : 1.0f - 2.0f / std::numbers::pi_v<float> * std::acos(radius / d);
        EXPECT_NEAR(risk[256 * kSide + static_cast<int>(256 + d)], expected, 0.03f) << d;
    }
    // A ramp over 80 pixels of path, scaled by 100: the 40-pixel chord
    // through the centre gives half of it in every view.
    strkrmap(risk.data(), mask.data(), views, 0.0f, 80.0f, 100.0f);
    EXPECT_NEAR(risk[256 * kSide + 256], 50.0f, 2.0f);
}

// The four-worker kernels must write [0, count) and nothing past it.
void expect_fills_exactly(const std::function<void(float* out, int count)>& call) {
    for (int count : {1, 3, 10, 4099}) {
        std::vector<float> out(count + 1, -123.0f);
        call(out.data(), count);
        for (int i = 0; i < count; ++i) ASSERT_NE(out[i], -123.0f) << count << " " << i;
        EXPECT_EQ(out[count], -123.0f) << count;
    }
}

TEST(Projection, LogTransformOfIntensities) {
    const float i0 = 50000.0f, e = std::numbers::e_v<float>, starved = std::log(i0 / 5.0f);
    const std::vector<float> in = {i0, i0 / e, i0 * e, 1.0f, -3.0f, kNan, 5.0f};
    const std::vector<float> expected = {0.0f,           2.5f,           -2.5f,         starved * 2.5f,
                                         starved * 2.5f, starved * 2.5f, starved * 2.5f};
    std::vector<float> out(in.size());
    fpdlogms(out.data(), in.data(), static_cast<int>(in.size()), i0, 5.0f, 2.5f);
    EXPECT_EQ(out[0], 0.0f);
    for (std::size_t i = 0; i < in.size(); ++i) EXPECT_NEAR(out[i], expected[i], 1e-5f) << i;
    const std::vector<float> counts(4099, 100.0f);
    expect_fills_exactly([&](float* o, int n) { fpdlogms(o, counts.data(), n, i0, 5.0f, 1.0f); });
}

TEST(Projection, WeightedSumOnFourWorkersEqualsTheLoop) {
    constexpr int n = 100003;
    const std::vector<float> a = random_floats(n, 4), b = random_floats(n, 5), c = random_floats(n, 6),
                             d = random_floats(n, 7);
    std::vector<float> out(n);
    strkwaitsum(out.data(), n, a.data(), 0.5f, b.data(), -1.25f, c.data(), 3.0f, d.data(), 0.1f);
    for (int i = 0; i < n; ++i) ASSERT_FLOAT_EQ(out[i], 0.5f * a[i] - 1.25f * b[i] + 3.0f * c[i] + 0.1f * d[i]) << i;
    // NULL sources are left out, NaN weights and all; out may be a source.
    std::vector<float> acc = a;
    strkwaitsum(acc.data(), n, acc.data(), 2.0f, nullptr, kNan, c.data(), 1.0f, nullptr, 0.0f);
    for (int i = 0; i < n; ++i) ASSERT_FLOAT_EQ(acc[i], 2.0f * a[i] + c[i]) << i;
    expect_fills_exactly([&](float* o, int k) { strkwaitsum(o, k, a.data(), 1, nullptr, 0, nullptr, 0, nullptr, 0); });
}

TEST(Projection, ZWeightingIsATriangleAboutTheMiddle) {
    const Slice four = random_slices(10, -2000, 2000, 4);
    struct Case {
        int n;
        float fwhm;
        std::vector<double> weights;  // the triangle before normalising; fwhm below 1 counts as 1
    };
    for (const Case& c : {Case{3, 2.0f, {0.5, 1, 0.5}}, Case{3, -4.0f, {0, 1, 0}}, Case{4, 0.3f, {0, 0.5, 0.5, 0}},
                          Case{4, 3.0f, {0.5, 5.0 / 6, 5.0 / 6, 0.5}}}) {
        Slice out(kSlice);
        ctzwait(out.data(), four.data(), c.n, c.fwhm);
        double total = 0;
        for (double w : c.weights) total += w;
        for (int i = 0; i < kSlice; ++i) {
            double v = 0;
            for (int k = 0; k < c.n; ++k) v += c.weights[k] * four[k * kSlice + i];
            ASSERT_NEAR(out[i], v / total, 0.501) << c.n << " " << c.fwhm << " at " << i;
        }
    }
}

TEST(Projection, RefusedArgumentsWriteNothing) {
    const Slice slice = random_slices(20, 0, 1000);
    const std::vector<float> sino(720 * kSide, 1.0f);
    const float* s = sino.data();
    const int16_t* img = slice.data();
    const std::vector<std::function<void(float*)>> calls = {
        [&](float* o) { fpj(o, img, 0, 1); },  // views, counts and sizes <= 0
        [&](float* o) { fpj(o, img, 4, 0); },
        [&](float* o) { fpj(o, img, 4, kNan); },
        [&](float* o) { fpjbig(o, img, kInf); },
        [&](float* o) { bpj(o, s, 0, 1); },
        [&](float* o) { bpj(o, s, 4, kNan); },
        [&](float* o) { strkfpj(o, img, 0, 100, 1); },
        [&](float* o) { strkrmap(o, s, -1, 0, 1, 1); },
        [&](float* o) { strkrmap(o, s, 4, kNan, 1, 1); },
        [&](float* o) { strkrmap(o, s, 4, 0, 1, kNan); },
        [&](float* o) { strkwaitsum(o, 0, s, 1, nullptr, 0, nullptr, 0, nullptr, 0); },
        [&](float* o) { strkwaitsum(o, 9, s, kNan, nullptr, 0, nullptr, 0, nullptr, 0); },
        [&](float* o) { fpdlogms(o, s, 0, 10, 1, 1); },
        [&](float* o) { fpdlogms(o, s, 9, 0, 1, 1); },  // i0 <= 0 or infinite, floor <= 0
        [&](float* o) { fpdlogms(o, s, 9, kInf, 1, 1); },
        [&](float* o) { fpdlogms(o, s, 9, 10, 0, 1); },
        [&](float* o) { fpdlogms(o, s, 9, 10, 1, kNan); },
    };
    for (std::size_t k = 0; k < calls.size(); ++k) {
        std::vector<float> out(720 * kSide, -9.0f);
        calls[k](out.data());
        EXPECT_EQ(out, std::vector<float>(720 * kSide, -9.0f)) << "case " << k;
    }
    for (const auto& [n, fwhm] : {std::pair{0, 2.0f}, {1, kNan}, {1, kInf}}) {
        Slice out(kSlice, 77);
        ctzwait(out.data(), img, n, fwhm);
        EXPECT_EQ(out, Slice(kSlice, 77)) << n << " " << fwhm;
    }
}

}  // namespace
