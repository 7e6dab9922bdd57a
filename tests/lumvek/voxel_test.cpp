// Fill, copy, byte-order, arithmetic and conversion exports.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <random>
#include <vector>

#include "lumvek.h"

namespace {

constexpr int kGuard = 9;

// An array with guard elements on both sides; kernels get p() = the first
// element after the leading guards, as callers pass an element in the middle
// of their own arrays.
template <class T>
struct Guarded {
    explicit Guarded(std::vector<T> values, T guard = T(77)) : guard(guard), all(values.size() + 2 * kGuard, guard) {
        std::copy(values.begin(), values.end(), all.begin() + kGuard);
    }
    T* p() { return all.data() + kGuard; }
    std::vector<T> body() const { return {all.begin() + kGuard, all.end() - kGuard}; }
    bool guards_intact() const {
        for (int i = 0; i < kGuard; ++i)
            if (all[i] != guard || all[all.size() - 1 - i] != guard) return false;
        return true;
    }
    T guard;
    std::vector<T> all;
};

template <class T>
std::vector<T> random_values(size_t n, unsigned seed, int lo, int hi) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(lo, hi);
    std::vector<T> v(n);
    for (auto& x : v) x = static_cast<T>(dist(rng));
    return v;
}

// Floats on a quarter grid, so that halves (rounding ties) are frequent.
std::vector<float> random_quarters(size_t n, unsigned seed, int lo, int hi) {
    std::vector<float> v = random_values<float>(n, seed, 4 * lo, 4 * hi);
    for (auto& x : v) x *= 0.25f;
    return v;
}

// Odd length, odd start: packed steps, their tail and an unaligned start all
// run. The result over the whole run must equal calling the export one
// element at a time, which is its definition.
constexpr int kRun = 262144 + 37;
constexpr int kOff = 3;

template <class T, class Call>
void expect_packed_equals_single(std::vector<T> data, Call call) {
    std::vector<T> packed = data;
    call(packed.data() + kOff, 0, kRun);
    std::vector<T> single = data;
    for (int i = 0; i < kRun; ++i) call(single.data() + kOff, i, 1);
    ASSERT_EQ(0, std::memcmp(packed.data(), single.data(), packed.size() * sizeof(T)));
}

}  // namespace

// ---- fills ------------------------------------------------------------------

TEST(VoxelFill, FillsOnlyTheGivenElementsWithTheLowBitsOfTheValue) {
    Guarded<int16_t> s(std::vector<int16_t>(13, 5));
    var2clr(s.p(), -500, 13);
    EXPECT_EQ(s.body(), std::vector<int16_t>(13, -500));
    var2clr(s.p() + 2, 0x12345, 1);  // low 16 bits: 0x2345
    EXPECT_EQ(s.body()[1], -500);
    EXPECT_EQ(s.body()[2], 0x2345);
    EXPECT_EQ(s.body()[3], -500);
    EXPECT_TRUE(s.guards_intact());

    Guarded<int32_t> w(std::vector<int32_t>(7, 5));
    var4clr(w.p(), std::bit_cast<int32_t>(1.5f), 7);
    for (int32_t v : w.body()) EXPECT_EQ(std::bit_cast<float>(v), 1.5f);
    EXPECT_TRUE(w.guards_intact());

    Guarded<uint8_t> b(std::vector<uint8_t>(31, 5));
    varclr(b.p(), 0x1AB, 31);
    EXPECT_EQ(b.body(), std::vector<uint8_t>(31, 0xAB));
    EXPECT_TRUE(b.guards_intact());
}

TEST(VoxelFill, EveryStartAndLengthFillsExactlyItsElements) {
    // Paired 16-bit stores need a lone first or last element at some starts
    // and lengths; none may reach a neighbour.
    for (int start = 0; start < 4; ++start) {
        for (int n = 1; n <= 11; ++n) {
            std::vector<int16_t> v(20, 3);
            var2clr(v.data() + start, -500, n);
            for (int i = 0; i < 20; ++i)
                ASSERT_EQ(v[i], i >= start && i < start + n ? -500 : 3) << start << " " << n << " " << i;
        }
    }
}

// ---- copies -----------------------------------------------------------------

TEST(VoxelCopy, CopiesIntoTheMiddleOfAnArray) {
    const std::vector<int16_t> src16 = random_values<int16_t>(21, 1, -32768, 32767);
    Guarded<int16_t> d16(std::vector<int16_t>(21, 0));
    var2trn(d16.p(), src16.data(), 21);
    EXPECT_EQ(d16.body(), src16);
    EXPECT_TRUE(d16.guards_intact());

    const std::vector<int32_t> src32 = random_values<int32_t>(11, 2, -100000, 100000);
    Guarded<int32_t> d32(std::vector<int32_t>(11, 0));
    var4trn(d32.p(), src32.data(), 11);
    EXPECT_EQ(d32.body(), src32);
    EXPECT_TRUE(d32.guards_intact());

    // vartrn moves single DICOM values as 2, 4 or 8 bytes.
    const double value = -1234.5;
    Guarded<uint8_t> bytes(std::vector<uint8_t>(8, 0));
    vartrn(bytes.p(), reinterpret_cast<const uint8_t*>(&value), 8);
    double back = 0;
    vartrn(reinterpret_cast<uint8_t*>(&back), bytes.p(), 8);
    EXPECT_EQ(back, value);
    EXPECT_TRUE(bytes.guards_intact());
}

TEST(VoxelCopy, OverlapBehavesLikeAnAscendingElementCopy) {
    // Destination 3 elements above the source: an ascending copy keeps
    // re-reading what it wrote, so the first 3 values repeat.
    std::vector<int16_t> up{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    var2trn(up.data() + 3, up.data(), 7);
    EXPECT_EQ(up, (std::vector<int16_t>{1, 2, 3, 1, 2, 3, 1, 2, 3, 1}));

    // Destination below the source: a plain shift.
    std::vector<int32_t> down{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    var4trn(down.data(), down.data() + 3, 7);
    EXPECT_EQ(down, (std::vector<int32_t>{4, 5, 6, 7, 8, 9, 10, 8, 9, 10}));

    std::vector<uint8_t> same{1, 2, 3};
    vartrn(same.data(), same.data(), 3);
    EXPECT_EQ(same, (std::vector<uint8_t>{1, 2, 3}));
}

TEST(VoxelCopy, OverlappingCopiesOfAnyGapMatchTheElementLoop) {
    const std::vector<int32_t> start = random_values<int32_t>(4200, 3, -1000000, 1000000);
    for (int gap : {-700, -17, -1, 1, 2, 5, 64, 333, 999, 1001}) {
        for (int n : {1, 999, 1000, 1001, 2000}) {
            std::vector<int32_t> got = start;
            std::vector<int32_t> want = start;
            const int src = 1000;
            var4trn(got.data() + src + gap, got.data() + src, n);
            for (int i = 0; i < n; ++i) want[src + gap + i] = want[src + i];
            ASSERT_EQ(got, want) << "gap " << gap << " n " << n;
        }
    }
}

TEST(VoxelCopy, ScaledCopyMultipliesEachElement) {
    Guarded<float> d(std::vector<float>(5, 0.0f));
    const std::vector<float> src{1.0f, -2.5f, 0.0f, 3.0f, -0.125f};
    var4trn_sp(d.p(), src.data(), -2.0f, 5);
    EXPECT_EQ(d.body(), (std::vector<float>{-2.0f, 5.0f, -0.0f, -6.0f, 0.25f}));
    EXPECT_TRUE(d.guards_intact());
}

TEST(VoxelCopy, StridedCopyWritesOneColumnAndGathersOneRow) {
    std::vector<int32_t> image(512 * 512, -1);
    std::vector<int32_t> line(512);
    for (int i = 0; i < 512; ++i) line[i] = i * 10;
    var4skiptrn(image.data() + 7, 512, line.data(), 1, 512);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) ASSERT_EQ(image[y * 512 + x], x == 7 ? y * 10 : -1);

    std::vector<int32_t> gathered(6, 0);
    var4skiptrn(gathered.data() + 1, 1, image.data() + 7 + 512 * 100, 512 * 2, 4);
    EXPECT_EQ(gathered, (std::vector<int32_t>{0, 1000, 1020, 1040, 1060, 0}));
}

// ---- byte order -------------------------------------------------------------

TEST(VoxelByteOrder, SwapsBytesAtAnyAddressAndReportsTheCount) {
    Guarded<uint8_t> b({1, 2, 3, 4, 5, 6, 7});  // starts at an odd address
    EXPECT_EQ(varswap(b.p() + 1, 3), 3);
    EXPECT_EQ(b.body(), (std::vector<uint8_t>{1, 3, 2, 5, 4, 7, 6}));
    EXPECT_TRUE(b.guards_intact());
    EXPECT_EQ(varswap(b.p(), 0), 0);
    EXPECT_EQ(varswap(b.p(), -4), 0);
    EXPECT_EQ(b.body(), (std::vector<uint8_t>{1, 3, 2, 5, 4, 7, 6}));

    Guarded<uint8_t> w({9, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    var4swap(w.p() + 1, 2);
    EXPECT_EQ(w.body(), (std::vector<uint8_t>{9, 4, 3, 2, 1, 8, 7, 6, 5, 9}));
    var4swap(w.p() + 1, 0);
    var4swap(w.p() + 1, -1);
    EXPECT_EQ(w.body(), (std::vector<uint8_t>{9, 4, 3, 2, 1, 8, 7, 6, 5, 9}));
    EXPECT_TRUE(w.guards_intact());
}

TEST(VoxelByteOrder, SwappingASliceTwiceRestoresIt) {
    const std::vector<uint8_t> start = random_values<uint8_t>(2 * kRun + 8, 4, 0, 255);
    std::vector<uint8_t> data = start;
    EXPECT_EQ(varswap(data.data() + 1, kRun), kRun);
    for (int i = 0; i < kRun; ++i) {
        ASSERT_EQ(data[1 + 2 * i], start[2 + 2 * i]);
        ASSERT_EQ(data[2 + 2 * i], start[1 + 2 * i]);
    }
    varswap(data.data() + 1, kRun);
    EXPECT_EQ(data, start);

    var4swap(data.data() + 1, kRun / 2);
    EXPECT_EQ(data[1], start[4]);
    EXPECT_EQ(data[4], start[1]);
    var4swap(data.data() + 1, kRun / 2);
    EXPECT_EQ(data, start);
}

// ---- float arithmetic -------------------------------------------------------

TEST(VoxelFloat, ElementWiseOperations) {
    const std::vector<float> a{1.5f, -2.0f, 4.0f, -0.5f, 3.0f};
    const std::vector<float> b{0.5f, 1.0f, -6.0f, 0.5f, -0.25f};
    auto run = [&](auto fn) {
        Guarded<float> d(a);
        fn(d.p(), b.data(), 5);
        EXPECT_TRUE(d.guards_intact());
        return d.body();
    };
    EXPECT_EQ(run(var4add), (std::vector<float>{2.0f, -1.0f, -2.0f, 0.0f, 2.75f}));
    EXPECT_EQ(run(var4sub), (std::vector<float>{1.0f, -3.0f, 10.0f, -1.0f, 3.25f}));
    EXPECT_EQ(run(var4addnz), (std::vector<float>{2.0f, 0.0f, 0.0f, 0.0f, 2.75f}));
    EXPECT_EQ(run(var4mul), (std::vector<float>{0.75f, -2.0f, -24.0f, -0.25f, -0.75f}));

    Guarded<float> c(a);
    var4addconst(c.p(), 0.5f, 5);
    EXPECT_EQ(c.body(), (std::vector<float>{2.0f, -1.5f, 4.5f, 0.0f, 3.5f}));
    var4mulconst(c.p(), -2.0f, 4);
    EXPECT_EQ(c.body(), (std::vector<float>{-4.0f, 3.0f, -9.0f, -0.0f, 3.5f}));
    EXPECT_TRUE(c.guards_intact());

    Guarded<float> ave(std::vector<float>(5, 0.0f));
    vartwosingleave(ave.p(), a.data(), b.data(), 5);
    EXPECT_EQ(ave.body(), (std::vector<float>{1.0f, -0.5f, -1.0f, 0.0f, 1.375f}));
    EXPECT_TRUE(ave.guards_intact());
}

TEST(VoxelFloat, InPlaceOverlapFollowsAscendingOrder) {
    // dst one element above src: each sum already contains the previous
    // one, giving running sums.
    std::vector<float> v(8, 1.0f);
    var4add(v.data() + 1, v.data(), 7);
    EXPECT_EQ(v, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(VoxelFloat, PackedStepsEqualTheElementDefinition) {
    const std::vector<float> src = random_quarters(kRun + kOff, 5, -1000, 1000);
    const std::vector<float> start = random_quarters(kRun + kOff, 6, -1000, 1000);
    const float* s = src.data() + kOff;
    expect_packed_equals_single(start, [&](float* d, int i, int n) { var4add(d + i, s + i, n); });
    expect_packed_equals_single(start, [&](float* d, int i, int n) { var4sub(d + i, s + i, n); });
    expect_packed_equals_single(start, [&](float* d, int i, int n) { var4addnz(d + i, s + i, n); });
    expect_packed_equals_single(start, [&](float* d, int i, int n) { var4mul(d + i, s + i, n); });
    expect_packed_equals_single(start, [&](float* d, int i, int n) { var4addconst(d + i, 0.3f, n); });
    expect_packed_equals_single(start, [&](float* d, int i, int n) { var4mulconst(d + i, 0.3f, n); });
    expect_packed_equals_single(start, [&](float* d, int i, int n) { var4trn_sp(d + i, s + i, 0.3f, n); });
    expect_packed_equals_single(start, [&](float* d, int i, int n) { vartwosingleave(d + i, s + i, d + i, n); });
}

TEST(VoxelFloat, CentredAverage) {
    const std::vector<float> v{100.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 100.0f};
    const float* centre = v.data() + 3;
    EXPECT_EQ(var4ave(centre, 5), 3.0f);
    EXPECT_EQ(var4ave(centre, 1), 3.0f);
    EXPECT_EQ(var4ave(centre, 3), 3.0f);
    // n / 2 values on each side: an even count still sums n + 1 values.
    EXPECT_EQ(var4ave(centre, 4), 15.0f / 4.0f);
    EXPECT_EQ(var4ave(centre, 0), 0.0f);
    EXPECT_EQ(var4ave(centre, -3), 0.0f);
}

TEST(VoxelFloat, MovingAverageReadsOnlyTheUnsmoothedCopy) {
    // A ramp p[j] = j: a window of w / 2 values on each side plus j itself,
    // times 1 / w. With w = 4 that is 5 j / 4.
    std::vector<float> ramp(129 + 2 * kGuard);
    float* p = ramp.data() + kGuard + 64;
    for (int j = -64 - kGuard; j <= 64 + kGuard; ++j) p[j] = static_cast<float>(j);
    var4moveave(p, 8, 4);
    for (int j = -4; j <= 4; ++j) EXPECT_EQ(p[j], 1.25f * static_cast<float>(j)) << j;
    EXPECT_EQ(p[-5], -5.0f);
    EXPECT_EQ(p[5], 5.0f);

    // A single spike: smoothing in place would carry it further on.
    std::vector<float> spike(21, 0.0f);
    spike[10] = 3.0f;
    var4moveave(spike.data() + 10, 4, 3);
    std::vector<float> want(21, 0.0f);
    want[9] = want[10] = want[11] = 3.0f * (1.0f / 3.0f);
    EXPECT_EQ(spike, want);
}

TEST(VoxelFloat, MovingAverageStaysWithinItsReachOf64) {
    std::vector<float> v(2 * 64 + 1 + 2 * kGuard, 2.0f);
    float* p = v.data() + kGuard + 64;
    // Reach exactly 64 on each side: p[-64] ... p[64] are read, nothing beyond.
    p[-65] = p[65] = 1000.0f;
    var4moveave(p, 100, 29);  // 50 + 14 = 64
    for (int j = -50; j <= 50; ++j) EXPECT_FLOAT_EQ(p[j], 2.0f) << j;
    var4moveave(p, 128, 1);   // 64 + 0 = 64
    EXPECT_FLOAT_EQ(p[64], 2.0f);

    // A larger reach, a zero or negative span or width: nothing happens.
    const std::vector<float> before = v;
    var4moveave(p, 100, 30);  // 50 + 15 = 65
    var4moveave(p, 0, 3);
    var4moveave(p, -4, 3);
    var4moveave(p, 4, 0);
    var4moveave(p, 4, -3);
    EXPECT_EQ(v, before);
}

// ---- 16-bit arithmetic ------------------------------------------------------

TEST(Voxel16, AddConstantWrapsAndTheNonNegativeVariantCutsAfterWrapping) {
    Guarded<int16_t> a({32767, -32768, -150, -50, 0});
    var2addconst(a.p(), 1, 5);
    EXPECT_EQ(a.body(), (std::vector<int16_t>{-32768, -32767, -149, -49, 1}));
    var2addconst(a.p(), 0x10000 - 1, 5);  // only the low 16 bits count: -1
    EXPECT_EQ(a.body(), (std::vector<int16_t>{32767, -32768, -150, -50, 0}));
    EXPECT_TRUE(a.guards_intact());

    Guarded<int16_t> nz({-150, -50, 32700, 0, 1000});
    var2addconstnz(nz.p(), 100, 5);
    EXPECT_EQ(nz.body(), (std::vector<int16_t>{0, 50, 0, 100, 1100}));
    EXPECT_TRUE(nz.guards_intact());
}

TEST(Voxel16, MultiplyByConstantHalfUpWithClampOrNearestWithWrap) {
    Guarded<int16_t> clamped({20000, -20000, 3, -3, -5, 5});
    var2mulconst(clamped.p(), 2.0f, 2);
    var2mulconst(clamped.p() + 2, 0.5f, 4);
    // half-up: 1.5 -> 2, -1.5 -> -1, -2.5 -> -2, 2.5 -> 3
    EXPECT_EQ(clamped.body(), (std::vector<int16_t>{32000, -32000, 2, -1, -2, 3}));
    EXPECT_TRUE(clamped.guards_intact());

    Guarded<int16_t> wrapped({20000, -20000, 3, -3, -5, 5});
    var2ismulconst(wrapped.p(), 2.0f, 2);
    var2ismulconst(wrapped.p() + 2, 0.5f, 4);
    // nearest: 1.5 -> 2, -1.5 -> -2, -2.5 -> -3, 2.5 -> 3; 40000 keeps its low 16 bits
    EXPECT_EQ(wrapped.body(), (std::vector<int16_t>{-25536, 25536, 2, -2, -3, 3}));
    EXPECT_TRUE(wrapped.guards_intact());
}

TEST(Voxel16, SingleValueMultiplyRoundsHalfUp) {
    const uint16_t in[] = {65535, 3, 5};
    int16_t out[3] = {7, 7, 7};
    var2imul(&out[0], &in[0], 0.5f);   // 32768 -> low 16 bits
    var2imul(&out[1], &in[1], -0.5f);  // -1.5 -> -1
    var2imul(&out[2], &in[2], -0.5f);  // -2.5 -> -2
    EXPECT_EQ(out[0], -32768);
    EXPECT_EQ(out[1], -1);
    EXPECT_EQ(out[2], -2);
}

TEST(Voxel16, DivisionReadsUnsignedAndTruncates) {
    Guarded<uint16_t> a({65535, 7, 10, 1});
    var2idiv(a.p(), 2, 2);
    EXPECT_EQ(a.body(), (std::vector<uint16_t>{32767, 3, 10, 1}));
    var2idiv(a.p() + 2, -3, 2);  // -3 and -0, stored as 16 bits
    EXPECT_EQ(a.body(), (std::vector<uint16_t>{32767, 3, 65533, 0}));
    // A zero divisor is refused rather than faulting.
    var2idiv(a.p(), 0, 4);
    EXPECT_EQ(a.body(), (std::vector<uint16_t>{32767, 3, 65533, 0}));
    EXPECT_TRUE(a.guards_intact());
}

TEST(Voxel16, LogarithmAndItsInverse) {
    Guarded<int16_t> a({0, -5, 1, 10, 100, 2, 32767});
    var2log(a.p(), 7);
    // log10(2) * 1000 = 301.03, log10(32767) * 1000 = 4515.4
    EXPECT_EQ(a.body(), (std::vector<int16_t>{0, 0, 0, 1000, 2000, 301, 4515}));
    EXPECT_TRUE(a.guards_intact());

    Guarded<int16_t> b({3000, 5000, 0, 0, 1000, -32768});
    var2lin(b.p(), 1000.0f, 1.0f, 2);      // 1000; 100000 is cut to 32000
    var2lin(b.p() + 2, 1000.0f, 2.5f, 1);  // 2.5 -> 3
    var2lin(b.p() + 3, 1000.0f, -2.5f, 1); // -2.5 -> -3
    var2lin(b.p() + 4, 1000.0f, 3.25f, 1); // 32.5 -> 33
    var2lin(b.p() + 5, -1000.0f, 1.0f, 1); // 10^32.768, cut to 32000
    EXPECT_EQ(b.body(), (std::vector<int16_t>{1000, 32000, 3, -3, 33, 32000}));
    EXPECT_TRUE(b.guards_intact());
}

TEST(Voxel16, PackedStepsEqualTheElementDefinition) {
    const std::vector<int16_t> start = random_values<int16_t>(kRun + kOff, 7, -32768, 32767);
    expect_packed_equals_single(start, [](int16_t* a, int i, int n) { var2addconst(a + i, 1234, n); });
    expect_packed_equals_single(start, [](int16_t* a, int i, int n) { var2addconstnz(a + i, -1234, n); });
    expect_packed_equals_single(start, [](int16_t* a, int i, int n) { var2mulconst(a + i, 1.5f, n); });
    expect_packed_equals_single(start, [](int16_t* a, int i, int n) { var2mulconst(a + i, -0.5f, n); });
    expect_packed_equals_single(start, [](int16_t* a, int i, int n) { var2ismulconst(a + i, 1.5f, n); });
    expect_packed_equals_single(start, [](int16_t* a, int i, int n) { var2ismulconst(a + i, -0.5f, n); });
    expect_packed_equals_single(start, [](int16_t* a, int i, int n) { var2log(a + i, n); });
    expect_packed_equals_single(start, [](int16_t* a, int i, int n) { var2lin(a + i, 8000.0f, 3.0f, n); });
    const std::vector<uint16_t> unsignedStart = random_values<uint16_t>(kRun + kOff, 8, 0, 65535);
    expect_packed_equals_single(unsignedStart, [](uint16_t* a, int i, int n) { var2idiv(a + i, 7, n); });
    expect_packed_equals_single(unsignedStart, [](uint16_t* a, int i, int n) { var2idiv(a + i, -300, n); });
}

// ---- conversions ------------------------------------------------------------

TEST(VoxelConvert, SixteenBitToWideReadSignedOrUnsigned) {
    const std::vector<uint16_t> u{0, 1, 9999, 10000, 32768, 65535};
    const std::vector<int16_t> s{0, 1, -1, -32768, 32767, -500};

    Guarded<int32_t> wide(std::vector<int32_t>(6, 0));
    EXPECT_EQ(var2ito4i(wide.p(), u.data(), 6), 6);
    EXPECT_EQ(wide.body(), (std::vector<int32_t>{0, 1, 9999, 10000, 32768, 65535}));
    EXPECT_TRUE(wide.guards_intact());

    Guarded<float> f(std::vector<float>(6, 0.0f));
    var2tofloat(f.p(), s.data(), 6);
    EXPECT_EQ(f.body(), (std::vector<float>{0, 1, -1, -32768, 32767, -500}));
    var2itofloat(f.p(), u.data(), 6);
    EXPECT_EQ(f.body(), (std::vector<float>{0, 1, 9999, 10000, 32768, 65535}));
    var2tosinglect(f.p(), u.data(), 6);  // below 10000: + 65536
    EXPECT_EQ(f.body(), (std::vector<float>{65536, 65537, 75535, 10000, 32768, 65535}));
    EXPECT_TRUE(f.guards_intact());

    Guarded<float> acc(std::vector<float>(6, 1.0f));
    var2tofloat_sp(acc.p(), s.data(), 0.5f, 6);
    var2tofloat_sp(acc.p(), s.data(), 0.25f, 6);
    EXPECT_EQ(acc.body(), (std::vector<float>{1, 1.75f, 0.25f, -24575, 24576.25f, -374}));
    EXPECT_TRUE(acc.guards_intact());
}

TEST(VoxelConvert, FloatToSixteenBitRoundsOrTruncates) {
    const std::vector<float> v{-2.5f, 2.5f, -2.49f, 2.49f, -0.5f, 40000.0f, 70000.9f, -32768.4f};
    Guarded<int16_t> nearest(std::vector<int16_t>(8, 0));
    varfloatto2(nearest.p(), v.data(), 8);
    EXPECT_EQ(nearest.body(), (std::vector<int16_t>{-3, 3, -2, 2, -1, -25536, 4465, -32768}));
    EXPECT_TRUE(nearest.guards_intact());

    Guarded<int16_t> truncated(std::vector<int16_t>(8, 0));
    varsingleto2ct(truncated.p(), v.data(), 8);
    EXPECT_EQ(truncated.body(), (std::vector<int16_t>{-2, 2, -2, 2, 0, -25536, 4464, -32768}));
    EXPECT_TRUE(truncated.guards_intact());
}

TEST(VoxelConvert, TwoSourceAverages) {
    const std::vector<uint16_t> ua{3, 65535, 3, 65535, 0};
    const std::vector<uint16_t> ub{4, 1, 4, 65535, 1};
    const std::vector<int16_t> sa{3, -3, -3, 32767, -32768};
    const std::vector<int16_t> sb{4, 4, -4, 32767, -32768};

    Guarded<float> f(std::vector<float>(5, 0.0f));
    vartwo2itofloat(f.p(), ua.data(), ub.data(), 5);
    EXPECT_EQ(f.body(), (std::vector<float>{3.5f, 32768, 3.5f, 65535, 0.5f}));
    vartwo2istofloat(f.p(), sa.data(), sb.data(), 5);
    EXPECT_EQ(f.body(), (std::vector<float>{3.5f, 0.5f, -3.5f, 32767, -32768}));
    EXPECT_TRUE(f.guards_intact());

    Guarded<uint16_t> u(std::vector<uint16_t>(5, 0));
    vartwo2ito2imulconst(u.p(), ua.data(), ub.data(), 1.0f, 2);
    vartwo2ito2imulconst(u.p() + 2, ua.data() + 2, ub.data() + 2, -1.0f, 3);
    // half-up: 3.5 -> 4, -3.5 -> -3 (stored as 65533), -65535 + 0.5 -> -65534, -0.5 -> 0
    EXPECT_EQ(u.body(), (std::vector<uint16_t>{4, 32768, 65533, 2, 0}));
    EXPECT_TRUE(u.guards_intact());

    Guarded<int16_t> s(std::vector<int16_t>(5, 0));
    vartwo2isto2imulconst(s.p(), sa.data(), sb.data(), 1.0f, 3);
    vartwo2isto2imulconst(s.p() + 3, sa.data() + 3, sb.data() + 3, 2.0f, 2);
    // nearest: 3.5 -> 4, 0.5 -> 1, -3.5 -> -4; 65534 and -65536 keep their low 16 bits
    EXPECT_EQ(s.body(), (std::vector<int16_t>{4, 1, -4, -2, 0}));
    EXPECT_TRUE(s.guards_intact());
}

TEST(VoxelConvert, PackedStepsEqualTheElementDefinition) {
    const std::vector<int16_t> s1 = random_values<int16_t>(kRun + kOff, 9, -32768, 32767);
    const std::vector<int16_t> s2 = random_values<int16_t>(kRun + kOff, 10, -32768, 32767);
    const std::vector<uint16_t> u1 = random_values<uint16_t>(kRun + kOff, 11, 0, 65535);
    const std::vector<uint16_t> u2 = random_values<uint16_t>(kRun + kOff, 12, 0, 65535);
    std::vector<float> fsrc = random_quarters(kRun + kOff, 13, -40000, 40000);
    const std::vector<float> f0 = random_quarters(kRun + kOff, 14, -100, 100);
    const int16_t* a = s1.data() + kOff;
    const int16_t* b = s2.data() + kOff;
    const uint16_t* ua = u1.data() + kOff;
    const uint16_t* ub = u2.data() + kOff;
    const float* fs = fsrc.data() + kOff;

    expect_packed_equals_single(f0, [&](float* d, int i, int n) { var2tofloat(d + i, a + i, n); });
    expect_packed_equals_single(f0, [&](float* d, int i, int n) { var2itofloat(d + i, ua + i, n); });
    expect_packed_equals_single(f0, [&](float* d, int i, int n) { var2tosinglect(d + i, ua + i, n); });
    expect_packed_equals_single(f0, [&](float* d, int i, int n) { var2tofloat_sp(d + i, a + i, 0.3f, n); });
    expect_packed_equals_single(f0, [&](float* d, int i, int n) { vartwo2itofloat(d + i, ua + i, ub + i, n); });
    expect_packed_equals_single(f0, [&](float* d, int i, int n) { vartwo2istofloat(d + i, a + i, b + i, n); });
    expect_packed_equals_single(s1, [&](int16_t* d, int i, int n) { varfloatto2(d + i, fs + i, n); });
    expect_packed_equals_single(s1, [&](int16_t* d, int i, int n) { varsingleto2ct(d + i, fs + i, n); });
    expect_packed_equals_single(s1, [&](int16_t* d, int i, int n) { vartwo2isto2imulconst(d + i, a + i, b + i, 0.7f, n); });
    expect_packed_equals_single(u1, [&](uint16_t* d, int i, int n) {
        vartwo2ito2imulconst(d + i, ua + i, ub + i, -0.7f, n);
    });
    std::vector<int32_t> w0(kRun + kOff, -1);
    expect_packed_equals_single(w0, [&](int32_t* d, int i, int n) { var2ito4i(d + i, ua + i, n); });
}

// ---- counts -----------------------------------------------------------------

TEST(VoxelCounts, ZeroAndNegativeCountsWriteNothing) {
    const int16_t s16[] = {5, 6};
    const uint16_t u16[] = {5, 6};
    const int32_t s32[] = {5, 6};
    const float f32[] = {5.0f, 6.0f};
    const uint8_t u8[] = {5, 6, 7, 8, 9, 10, 11, 12};
    for (int n : {0, -1, -262144}) {
        Guarded<int16_t> d16({1, -2});
        Guarded<uint16_t> du16({1, 2});
        Guarded<int32_t> d32({1, -2});
        Guarded<float> df({1.0f, -2.0f});
        Guarded<uint8_t> d8({1, 2, 3, 4, 5, 6, 7, 8});

        var2clr(d16.p(), 9, n);
        var2trn(d16.p(), s16, n);
        var2addconst(d16.p(), 9, n);
        var2addconstnz(d16.p(), 9, n);
        var2mulconst(d16.p(), 3.0f, n);
        var2ismulconst(d16.p(), 3.0f, n);
        var2log(d16.p(), n);
        var2lin(d16.p(), 1.0f, 1.0f, n);
        varfloatto2(d16.p(), f32, n);
        varsingleto2ct(d16.p(), f32, n);
        vartwo2isto2imulconst(d16.p(), s16, s16, 1.0f, n);
        var2idiv(du16.p(), 3, n);
        vartwo2ito2imulconst(du16.p(), u16, u16, 1.0f, n);

        var4clr(d32.p(), 9, n);
        var4trn(d32.p(), s32, n);
        var4skiptrn(d32.p(), 1, s32, 1, n);
        EXPECT_EQ(var2ito4i(d32.p(), u16, n), n);

        var4trn_sp(df.p(), f32, 2.0f, n);
        var4add(df.p(), f32, n);
        var4sub(df.p(), f32, n);
        var4addnz(df.p(), f32, n);
        var4mul(df.p(), f32, n);
        var4addconst(df.p(), 9.0f, n);
        var4mulconst(df.p(), 9.0f, n);
        vartwosingleave(df.p(), f32, f32, n);
        var2tofloat(df.p(), s16, n);
        var2itofloat(df.p(), u16, n);
        var2tosinglect(df.p(), u16, n);
        var2tofloat_sp(df.p(), s16, 1.0f, n);
        vartwo2itofloat(df.p(), u16, u16, n);
        vartwo2istofloat(df.p(), s16, s16, n);

        varclr(d8.p(), 9, n);
        vartrn(d8.p(), u8, n);
        varswap(d8.p(), n);
        var4swap(d8.p(), n);

        EXPECT_EQ(d16.body(), (std::vector<int16_t>{1, -2}));
        EXPECT_EQ(du16.body(), (std::vector<uint16_t>{1, 2}));
        EXPECT_EQ(d32.body(), (std::vector<int32_t>{1, -2}));
        EXPECT_EQ(df.body(), (std::vector<float>{1.0f, -2.0f}));
        EXPECT_EQ(d8.body(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    }
}
