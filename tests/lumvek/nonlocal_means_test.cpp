// Non-local means: noise falls on flat areas while an edge keeps its width,
// degenerate settings give the input back, 3D candidates stay in their
// slice, and refused settings write nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "lumvek.h"

namespace {

constexpr int kSide = LUMVEK_SLICE_SIDE, kSlice = LUMVEK_SLICE_SIZE;
constexpr float kSd = 20.0f;
using Slice = std::vector<int16_t>;

// level + a vertical edge rising by 400 at x = 255.5, blurred by a Gaussian
// of SD 1.5 pixels, + Gaussian noise of SD sd, rounded.
Slice edge_slice(unsigned seed, float sd, float level = 0.0f) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, sd);
    Slice s(kSlice);
    for (int i = 0; i < kSlice; ++i) {
        const float edge = 200.0f * (1.0f + std::erf((i % kSide - 255.5f) / (1.5f * std::sqrt(2.0f))));
        s[i] = static_cast<int16_t>(std::lround(level + edge + (sd > 0 ? noise(rng) : 0.0f)));
    }
    return s;
}

// SD over columns [x0, x1) of rows 20 .. 491.
double sd_of(const Slice& s, int x0, int x1) {
    double sum = 0, sum2 = 0, n = 0;
    for (int y = 20; y < kSide - 20; ++y)
        for (int x = x0; x < x1; ++x, ++n) sum += s[y * kSide + x], sum2 += double(s[y * kSide + x]) * s[y * kSide + x];
    return std::sqrt(sum2 / n - (sum / n) * (sum / n));
}

// 10-90 % width of the edge in the column means.
double edge_width(const Slice& s) {
    std::vector<double> profile(kSide, 0.0);
    for (int i = 0; i < kSlice; ++i) profile[i % kSide] += s[i] / double(kSide);
    double lo = 0, hi = 0;
    for (int x = 100; x < 200; ++x) lo += profile[x] / 100, hi += profile[x + 212] / 100;
    const auto crossing = [&](double fraction) {
        const double level = lo + fraction * (hi - lo);
        int x = 200;
        while (profile[x + 1] < level) ++x;
        return x + (level - profile[x]) / (profile[x + 1] - profile[x]);
    };
    return crossing(0.9) - crossing(0.1);
}

TEST(NonLocalMeans, LowersNoiseOnFlatAreasAndKeepsTheEdgeWidth) {
    const Slice in = edge_slice(1, kSd);
    Slice out(kSlice);
    nlm2dct(out.data(), in.data(), 7, 1, 10.0f, kSd);
    EXPECT_LE(2.0 * sd_of(out, 20, 200), sd_of(in, 20, 200));
    EXPECT_LE(2.0 * sd_of(out, 312, 492), sd_of(in, 312, 492));
    const double sharp = edge_width(edge_slice(0, 0.0f));
    EXPECT_LT(edge_width(out), 1.1 * sharp);
    EXPECT_GT(edge_width(out), 0.9 * sharp);
}

TEST(NonLocalMeans, DegenerateSettingsReturnTheInput) {
    // Only the pixel itself, or patches that match exactly (on noise none
    // but its own; on a flat slice all, of equal value), take part.
    const Slice in = edge_slice(2, kSd), flat(kSlice, -1000);
    struct Case {
        const Slice& in;
        int search, patch;
        float h, sigma;
    };
    for (const Case& c :
         {Case{in, -3, 1, 50, 20}, Case{in, 5, 1, 0, 0}, Case{in, 5, 2, -4, -9}, Case{flat, 3, 2, 30, 10}}) {
        Slice out(kSlice, 7);
        nlm2dct(out.data(), c.in.data(), c.search, c.patch, c.h, c.sigma);
        EXPECT_EQ(out, c.in) << c.search << " " << c.patch << " " << c.h << " " << c.sigma;
    }
}

TEST(NonLocalMeans, ThreeDCandidatesStayInTheirSlice) {
    // Slice k lies 1000 k above the others: candidates from other slices
    // must weigh nothing, so each output keeps its slice's mean.
    Slice vol;
    for (int k = 0; k < 3; ++k) {
        const Slice s = edge_slice(10 + k, kSd, 1000.0f * k);
        vol.insert(vol.end(), s.begin(), s.end());
    }
    for (int z : {0, 1}) {
        Slice out(kSlice);
        nlm3dct(out.data(), vol.data(), 3, z, 2, 1, 20.0f);
        double change = 0;
        for (int i = 0; i < kSlice; ++i) change += (out[i] - vol[z * kSlice + i]) / double(kSlice);
        EXPECT_NEAR(change, 0.0, 1.0) << z;
        EXPECT_LE(2.0 * sd_of(out, 20, 200), kSd) << z;
    }
}

TEST(NonLocalMeans, RefusedSettingsWriteNothing) {
    const Slice in = edge_slice(3, kSd);
    constexpr float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const std::vector<std::function<void(int16_t*)>> calls = {
        [&](int16_t* o) { nlm2dct(o, in.data(), 3, 1, nan, 10); },
        [&](int16_t* o) { nlm2dct(o, in.data(), 3, 1, 10, inf); },
        [&](int16_t* o) { nlm2dct(o, in.data(), 17, 1, 10, 10); },  // radii above 16
        [&](int16_t* o) { nlm2dct(o, in.data(), 1, 17, 10, 10); },
        [&](int16_t* o) { nlm3dct(o, in.data(), 0, 0, 1, 1, 10); },   // no slices
        [&](int16_t* o) { nlm3dct(o, in.data(), 1, -1, 1, 1, 10); },  // z outside 0 .. n-1
        [&](int16_t* o) { nlm3dct(o, in.data(), 1, 0, 1, 1, nan); },
    };
    for (std::size_t k = 0; k < calls.size(); ++k) {
        Slice out(kSlice, 77);
        calls[k](out.data());
        EXPECT_EQ(out, Slice(kSlice, 77)) << "case " << k;
    }
}

}  // namespace
