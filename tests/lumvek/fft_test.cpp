#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "lumvek.h"

namespace {

constexpr int kSide = 512;
constexpr int kSlice = kSide * kSide;
constexpr double kPi = 3.14159265358979323846;

using Floats = std::vector<float>;

Floats random_floats(int n, unsigned seed, float scale = 1000.0f) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-scale, scale);
    Floats v(n);
    for (float& x : v) x = dist(gen);
    return v;
}

std::vector<int16_t> random_slice(unsigned seed, int lo = -1500, int hi = 2500) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> dist(lo, hi);
    std::vector<int16_t> v(kSlice);
    for (int16_t& x : v) x = static_cast<int16_t>(dist(gen));
    return v;
}

// The transform written the plain way: in-place radix-2 decimation in
// frequency over blocks, then the bit-reversal permutation, then 1/n for the
// inverse. The library must give these results bit for bit.
void reference_cfft(float* re, float* im, int n, int dir) {
    Floats sine(n / 2 + 1), cosine(n / 2 + 1);
    for (int i = 0; i <= n / 2; ++i) {
        const float angle = 6.2831855f * static_cast<float>(i) / static_cast<float>(n);
        sine[i] = std::sin(angle);
        cosine[i] = std::cos(angle);
    }
    const float d = static_cast<float>(dir);
    const int stages = static_cast<int>(std::log2(static_cast<float>(n)));
    int half = n, blocks = 1;
    for (int stage = 0; stage < stages; ++stage) {
        half /= 2;
        for (int b = 0; b < blocks; ++b) {
            for (int j = 0; j < half; ++j) {
                const int a = 2 * half * b + j, p = a + half;
                const float dr = re[a] - re[p], di = im[a] - im[p];
                re[a] = re[a] + re[p];
                im[a] = im[a] + im[p];
                const int k = j * blocks;
                if (k == 0) {
                    re[p] = dr;
                    im[p] = di;
                } else {
                    re[p] = cosine[k] * dr + sine[k] * di * d;
                    im[p] = cosine[k] * di - sine[k] * dr * d;
                }
            }
        }
        blocks *= 2;
    }
    for (int i = 0; i < n; ++i) {
        int r = 0;
        for (int bit = 0; bit < stages; ++bit) r |= ((i >> bit) & 1) << (stages - 1 - bit);
        if (i < r) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
    if (dir == -1) {
        const float f = 1.0f / static_cast<float>(n);
        for (int i = 0; i < n; ++i) {
            re[i] *= f;
            im[i] *= f;
        }
    }
}

bool bitwise_equal(const Floats& a, const Floats& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Relative distance of (re, im) from a double-precision reference.
double relative_error(const Floats& re, const Floats& im, const std::vector<double>& refRe,
                      const std::vector<double>& refIm) {
    double diff = 0.0, norm = 0.0;
    for (size_t i = 0; i < re.size(); ++i) {
        diff += std::pow(re[i] - refRe[i], 2) + std::pow(im[i] - refIm[i], 2);
        norm += refRe[i] * refRe[i] + refIm[i] * refIm[i];
    }
    return std::sqrt(diff / norm);
}

// X[k] = sum_m x[m] exp(-2 pi i k m / n) over `count` points `step` apart.
void direct_dft(const double* re, const double* im, int count, size_t step, double* outRe, double* outIm) {
    for (int k = 0; k < count; ++k) {
        double sr = 0.0, si = 0.0;
        for (int m = 0; m < count; ++m) {
            const double angle = -2.0 * kPi * static_cast<double>((static_cast<long>(k) * m) % count) / count;
            const double c = std::cos(angle), s = std::sin(angle);
            sr += re[m * step] * c - im[m * step] * s;
            si += re[m * step] * s + im[m * step] * c;
        }
        outRe[k * step] = sr;
        outIm[k * step] = si;
    }
}

TEST(Cfft, ImpulseGivesFlatSpectrumAndComesBack) {
    Floats re(8, 0.0f), im(8, 0.0f);
    re[0] = 1.0f;
    cfft(re.data(), im.data(), 8, 1, 1);
    EXPECT_EQ(re, Floats(8, 1.0f));
    EXPECT_EQ(im, Floats(8, 0.0f));
    cfft(re.data(), im.data(), 8, -1, 1);
    EXPECT_EQ(re, (Floats{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(im, Floats(8, 0.0f));
}

TEST(Cfft, CosineLandsInBinsOneAndNMinusOne) {
    Floats re(8), im(8, 0.0f);
    for (int m = 0; m < 8; ++m) re[m] = static_cast<float>(std::cos(2.0 * kPi * m / 8));
    cfft(re.data(), im.data(), 8, 1, 1);
    for (int k = 0; k < 8; ++k) {
        EXPECT_NEAR(re[k], (k == 1 || k == 7) ? 4.0f : 0.0f, 1e-5f) << k;
        EXPECT_NEAR(im[k], 0.0f, 1e-5f) << k;
    }
}

TEST(Cfft, ForwardMatchesDirectDftInDoublePrecision) {
    for (int n : {256, 512}) {
        Floats re = random_floats(n, 1), im = random_floats(n, 2);
        std::vector<double> inRe(re.begin(), re.end()), inIm(im.begin(), im.end()), refRe(n), refIm(n);
        direct_dft(inRe.data(), inIm.data(), n, 1, refRe.data(), refIm.data());
        cfft(re.data(), im.data(), n, 1, 1);
        EXPECT_LT(relative_error(re, im, refRe, refIm), 1e-5) << n;
    }
}

TEST(Cfft, InverseUndoesForward) {
    const Floats re0 = random_floats(512, 3), im0 = random_floats(512, 4);
    Floats re = re0, im = im0;
    cfft(re.data(), im.data(), 512, 1, 1);
    cfft(re.data(), im.data(), 512, -1, 1);
    for (int i = 0; i < 512; ++i) {
        EXPECT_NEAR(re[i], re0[i], 1e-3f);
        EXPECT_NEAR(im[i], im0[i], 1e-3f);
    }
}

// Every length the vector passes and the short-line path handle, both
// directions: same float operations in the same order as the plain form.
TEST(Cfft, BitIdenticalToThePlainInPlaceForm) {
    for (int n = 1; n <= 4096; n *= 2) {
        for (int dir : {1, -1}) {
            Floats re = random_floats(n, 10 + n), im = random_floats(n, 20 + n);
            Floats refRe = re, refIm = im;
            reference_cfft(refRe.data(), refIm.data(), n, dir);
            cfft(re.data(), im.data(), n, dir, 1);
            EXPECT_TRUE(bitwise_equal(re, refRe)) << "n " << n << " dir " << dir;
            EXPECT_TRUE(bitwise_equal(im, refIm)) << "n " << n << " dir " << dir;
        }
    }
}

TEST(Cfft, PreparedTablesGiveTheSameResultsAndMissingOnesAreBuilt) {
    const Floats re0 = random_floats(256, 5), im0 = random_floats(256, 6);
    Floats refRe = re0, refIm = im0;
    reference_cfft(refRe.data(), refIm.data(), 256, 1);

    const auto own0 = [&] {
        Floats re = re0, im = im0;
        cfft(re.data(), im.data(), 256, 1, 0);
        return bitwise_equal(re, refRe) && bitwise_equal(im, refIm);
    };
    cfftprep(256);
    EXPECT_TRUE(own0());
    EXPECT_TRUE(own0());  // the tables stay for any number of calls
    cfftprep(512);        // prepared for another length
    EXPECT_TRUE(own0());
    cfftfree();
    EXPECT_TRUE(own0());  // nothing prepared at all
    cfftfree();           // releasing twice does no harm
    cfftprep(256);
    Floats re(8, 0.0f), im(8, 0.0f);
    cfft(re.data(), im.data(), 8, 1, 1);  // a self-contained call in between
    EXPECT_TRUE(own0());
    cfftfree();
}

TEST(Cfft, UsesTheLow16BitsOfItsWordsAndIgnoresOtherLengths) {
    Floats re = random_floats(16, 7), im = random_floats(16, 8);
    Floats refRe = re, refIm = im;
    reference_cfft(refRe.data(), refIm.data(), 16, -1);
    cfft(re.data(), im.data(), 0x10000 | 16, 0x7fff0000 | 0xffff, 0x10000 | 1);
    EXPECT_TRUE(bitwise_equal(re, refRe));
    EXPECT_TRUE(bitwise_equal(im, refIm));

    const Floats before = random_floats(12, 9);
    Floats a = before, b = before;
    for (int n : {0, -8, 12}) {
        cfft(a.data(), b.data(), n, 1, 1);
        EXPECT_EQ(a, before) << n;
        EXPECT_EQ(b, before) << n;
    }
}

TEST(Cfft2d, MatchesSeparableDirectDft) {
    const int n = 16;
    std::vector<int16_t> src(n * n);
    std::mt19937 gen(11);
    for (int16_t& v : src) v = static_cast<int16_t>(gen() % 4000) - 2000;
    Floats re(n * n, 7.0f), im(n * n, 7.0f);  // im must be cleared by the call
    cfft2d(src.data(), re.data(), im.data(), n, 1);

    std::vector<double> dRe(src.begin(), src.end()), dIm(n * n, 0.0), rowRe(n * n), rowIm(n * n), refRe(n * n),
        refIm(n * n);
    for (int r = 0; r < n; ++r) direct_dft(&dRe[r * n], &dIm[r * n], n, 1, &rowRe[r * n], &rowIm[r * n]);
    for (int c = 0; c < n; ++c) direct_dft(&rowRe[c], &rowIm[c], n, n, &refRe[c], &refIm[c]);
    EXPECT_LT(relative_error(re, im, refRe, refIm), 1e-6);
}

// Rows first, then columns, each exactly as the plain 1D form: the column
// batches must not change a single bit.
TEST(Cfft2d, BitIdenticalToRowsThenColumnsOfThePlainForm) {
    for (int n : {4, 8, 512}) {
        for (int dir : {1, -1}) {
            Floats re = random_floats(n * n, 14), im = random_floats(n * n, 15);
            Floats refRe = re, refIm = im;
            Floats lineRe(n), lineIm(n);
            for (int r = 0; r < n; ++r) reference_cfft(&refRe[r * n], &refIm[r * n], n, dir);
            for (int c = 0; c < n; ++c) {
                for (int r = 0; r < n; ++r) lineRe[r] = refRe[r * n + c], lineIm[r] = refIm[r * n + c];
                reference_cfft(lineRe.data(), lineIm.data(), n, dir);
                for (int r = 0; r < n; ++r) refRe[r * n + c] = lineRe[r], refIm[r * n + c] = lineIm[r];
            }
            cfft2df(re.data(), im.data(), n, dir);
            EXPECT_TRUE(bitwise_equal(re, refRe)) << n << " " << dir;
            EXPECT_TRUE(bitwise_equal(im, refIm)) << n << " " << dir;
        }
    }
}

TEST(Cfft2d, RoundTripOfASlice) {
    const std::vector<int16_t> src = random_slice(16);
    Floats re(kSlice), im(kSlice);
    cfft2d(src.data(), re.data(), im.data(), kSide, 1);
    cfft2d(nullptr, re.data(), im.data(), kSide, -1);  // the inverse doesn't read src
    float worst = 0.0f;
    for (int i = 0; i < kSlice; ++i) {
        worst = std::max(worst, std::abs(re[i] - src[i]));
        worst = std::max(worst, std::abs(im[i]));
    }
    EXPECT_LT(worst, 0.01f);
}

float at(const Floats& tf, int r, int c) { return tf[r * kSide + c]; }

TEST(Cttf, ShapesAtTheCutOffAndAtZeroFrequency) {
    Floats tf(kSlice);
    // Pixel 1 mm: column 256 is 0.5 cycles per mm, exactly the cut-off.
    cttf(tf.data(), 1.0f, 0.5f, 2.0f, 0);
    EXPECT_EQ(at(tf, 0, 0), 1.0f);
    EXPECT_NEAR(at(tf, 0, 256), 0.1f, 1e-6f);
    EXPECT_NEAR(at(tf, 256, 0), 0.1f, 1e-6f);
    EXPECT_EQ(at(tf, 0, 511), at(tf, 0, 1));  // indices above 256 are negative frequencies
    EXPECT_EQ(at(tf, 300, 0), at(tf, 212, 0));
    cttf(tf.data(), 1.0f, 0.5f, 3.0f, 0);  // any order meets 0.1 at the cut-off
    EXPECT_NEAR(at(tf, 0, 256), 0.1f, 1e-6f);

    // Element (3, 4) has radial frequency 5/512 with pixel 1.
    cttf(tf.data(), 1.0f, 5.0f / 512.0f, 2.0f, 1);
    EXPECT_NEAR(at(tf, 3, 4), 0.5f, 1e-6f);
    EXPECT_EQ(at(tf, 0, 0), 1.0f);
    cttf(tf.data(), 0.5f, 1.0f, 4.0f, 1);  // pixel 0.5: column 256 is 1 cycle per mm
    EXPECT_EQ(at(tf, 0, 256), 0.5f);

    cttf(tf.data(), 0.7f, 0.3f, 2.0f, 2);
    EXPECT_EQ(tf, Floats(kSlice, 1.0f));

    cttf(tf.data(), 1.0f, 0.5f, 2.0f, 3);
    EXPECT_EQ(at(tf, 0, 0), 0.0f);
    EXPECT_NEAR(at(tf, 0, 256), 0.9f, 1e-6f);
}

TEST(Cttf, RadialCurveIsInterpolatedEveryHundredthCycle) {
    std::vector<float> curve(80);
    for (size_t i = 0; i < curve.size(); ++i) curve[i] = 10.0f + 10.0f * static_cast<float>(i * i);
    Floats tf(kSlice);
    cttf1d2d(tf.data(), 1.0f, curve.data());
    EXPECT_EQ(at(tf, 0, 0), 10.0f);
    // Column 1: f = 1/512, x = 0.1953125 between samples 0 and 1.
    EXPECT_FLOAT_EQ(at(tf, 0, 1), 10.0f * (1.0f - 0.1953125f) + 20.0f * 0.1953125f);
    // Column 256: f = 0.5, x = 50 exactly on sample 50.
    EXPECT_FLOAT_EQ(at(tf, 0, 256), 25010.0f);
}

TEST(CtSmooth, AllPassFunctionReturnsTheSlice) {
    const std::vector<int16_t> src = random_slice(17);
    std::vector<int16_t> dst(kSlice, 0);
    ctsmooth_wtf(src.data(), dst.data(), 0.7f, 0.5f, 2.0f, 2);
    EXPECT_EQ(dst, src);
    std::vector<int16_t> same = src;
    ctsmooth_wtf(same.data(), same.data(), 0.7f, 0.5f, 2.0f, 2);
    EXPECT_EQ(same, src);
}

TEST(CtSmooth, ProcessFunctionMatchesPerCallFunction) {
    const std::vector<int16_t> src = random_slice(18);
    std::vector<int16_t> perCall(kSlice), kept(kSlice, 0);
    ctsmooth_wtf(src.data(), perCall.data(), 0.5f, 0.4f, 2.0f, 0);
    ctsmooth_tfset(0.5f, 0.4f, 2.0f, 0);
    ctsmooth_wotf(src.data(), kept.data());
    EXPECT_EQ(kept, perCall);
    kept.assign(kSlice, 0);
    ctsmooth_wotf(src.data(), kept.data());  // any number of calls
    EXPECT_EQ(kept, perCall);
    EXPECT_NE(perCall, src);  // and it did smooth

    std::vector<float> ones(200, 1.0f);
    ctsmooth_tf1dset(0.5f, ones.data());  // replaces the function
    ctsmooth_wotf(src.data(), kept.data());
    EXPECT_EQ(kept, src);
    ctsmooth_tffree();
    ctsmooth_tffree();  // twice does no harm

    std::vector<int16_t> untouched(kSlice, 77);
    ctsmooth_wotf(src.data(), untouched.data());  // nothing set up: dst stays
    EXPECT_EQ(untouched, std::vector<int16_t>(kSlice, 77));
}

}  // namespace
