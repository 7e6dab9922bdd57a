// Display conversion: windowing to 8-bit grey, bottom-up rows, the 2x views
// and the resampled bitmap. Expected grey levels are worked out by hand from
// g = trunc((v - lo) / (hi - lo) * 255 + 0.5).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "lumvek.h"

namespace {

constexpr int kSide = 512;
constexpr int kSlice = kSide * kSide;
constexpr uint8_t kGuardByte = 0xAB;
constexpr int kGuard = 16;

// A byte destination with guard bytes on both sides.
struct Dest {
    explicit Dest(size_t n) : all(n + 2 * kGuard, kGuardByte) {}
    uint8_t* p() { return all.data() + kGuard; }
    uint8_t at(size_t i) const { return all[kGuard + i]; }
    bool guards_intact() const {
        for (int i = 0; i < kGuard; ++i)
            if (all[i] != kGuardByte || all[all.size() - 1 - i] != kGuardByte) return false;
        return true;
    }
    std::vector<uint8_t> all;
};

// Byte of image pixel (column c, row r) in a bottom-up bitmap.
size_t bmp(int c, int r, int rows = kSide, int stride = kSide) { return static_cast<size_t>(rows - 1 - r) * stride + c; }

std::vector<int16_t> slice_of(int16_t v) { return std::vector<int16_t>(kSlice, v); }

uint8_t ct2trn_one(int16_t stored, int32_t ww, int32_t wc, int32_t intercept) {
    std::vector<int16_t> src = slice_of(stored);
    Dest d(kSlice);
    ct2trn(src.data(), d.p(), ww, wc, intercept);
    EXPECT_TRUE(d.guards_intact());
    return d.at(0);
}

TEST(DisplayWindow, WorkedExampleWithIntercept) {
    // WW 400, WC 40, intercept -1024: lo = -160, hi = 240 in CT numbers.
    EXPECT_EQ(ct2trn_one(1224, 400, 40, -1024), 230);  // (200 + 160) / 400 * 255 + 0.5 = 230.0
    EXPECT_EQ(ct2trn_one(1264, 400, 40, -1024), 255);  // exactly hi
    EXPECT_EQ(ct2trn_one(1263, 400, 40, -1024), 254);  // 254.36 + 0.5
    EXPECT_EQ(ct2trn_one(864, 400, 40, -1024), 0);     // exactly lo
    EXPECT_EQ(ct2trn_one(865, 400, 40, -1024), 1);     // 0.6375 + 0.5
    EXPECT_EQ(ct2trn_one(1064, 400, 40, -1024), 128);  // centre: 127.5 + 0.5
    EXPECT_EQ(ct2trn_one(-32768, 400, 40, -1024), 0);
    EXPECT_EQ(ct2trn_one(32767, 400, 40, -1024), 255);
}

TEST(DisplayWindow, SixteenBitArgumentsUseTheLowHalfOfTheirWord) {
    // 0x10190 carries 400 and 0xFC00 carries -1024 in their low 16 bits.
    EXPECT_EQ(ct2trn_one(1224, 0x10190, 40 + 0x30000, 0xFC00), 230);
}

TEST(DisplayWindow, NarrowWindowsGiveTwoLevels) {
    // WW 1: the half width truncates to 0, so hi = lo = WC and ">= hi" wins.
    EXPECT_EQ(ct2trn_one(0, 1, 0, 0), 255);
    EXPECT_EQ(ct2trn_one(1, 1, 0, 0), 255);
    EXPECT_EQ(ct2trn_one(32767, 1, 0, 0), 255);
    EXPECT_EQ(ct2trn_one(-1, 1, 0, 0), 0);
    EXPECT_EQ(ct2trn_one(-32768, 1, 0, 0), 0);
    // WW 0 around WC 100.
    EXPECT_EQ(ct2trn_one(100, 0, 100, 0), 255);
    EXPECT_EQ(ct2trn_one(99, 0, 100, 0), 0);
    // A negative width (hi below lo) still never divides: at or above hi white.
    EXPECT_EQ(ct2trn_one(-200, -400, 0, 0), 255);  // hi -200, lo 200
    EXPECT_EQ(ct2trn_one(-201, -400, 0, 0), 0);
}

TEST(DisplayWindow, IntegerHalfWidthTruncates) {
    // WW 401 has the limits of WW 400 (half width 200).
    std::vector<int16_t> src(kSlice);
    for (int i = 0; i < kSlice; ++i) src[i] = static_cast<int16_t>(i % 600 - 300);
    Dest a(kSlice), b(kSlice);
    ct2trn(src.data(), a.p(), 401, 0, 0);
    ct2trn(src.data(), b.p(), 400, 0, 0);
    EXPECT_EQ(a.all, b.all);
    EXPECT_EQ(ct2trn_one(199, 401, 0, 0), 254);  // 399 / 400 * 255 + 0.5 = 254.86; a float half would give 255
    EXPECT_EQ(ct2trn_one(200, 401, 0, 0), 255);
    EXPECT_EQ(ct2trn_one(-200, 401, 0, 0), 0);
}

TEST(DisplayWindow, TopLeftSourcePixelIsFirstByteOfLastRow) {
    std::vector<int16_t> src(kSlice, 0);
    src[0] = 1000;          // top-left: white
    src[kSide - 1] = -500;  // top-right: black
    src[kSlice - kSide] = 100;  // bottom-left: 300 / 400 * 255 + 0.5 = 191.75
    Dest d(kSlice);
    ct2trn(src.data(), d.p(), 400, 0, 0);  // lo -200, hi 200: zero is grey 128
    EXPECT_EQ(d.at(static_cast<size_t>(kSide - 1) * kSide), 255);
    EXPECT_EQ(d.at(static_cast<size_t>(kSide) * kSide - 1), 0);
    EXPECT_EQ(d.at(0), 191);  // the last source row comes first
    EXPECT_EQ(d.at(1), 128);
    EXPECT_TRUE(d.guards_intact());
}

// Every 16-bit stored value four times over one slice.
std::vector<int16_t> all_stored_values() {
    std::vector<int16_t> src(kSlice);
    for (int i = 0; i < kSlice; ++i) src[i] = static_cast<int16_t>(static_cast<uint16_t>(i));
    return src;
}

TEST(DisplayWindow, TableAndDirectConversionsAgreeOnEveryStoredValue) {
    // ct2trn converts through a table of all stored values; ct4trn, ct2bgtrn
    // and dr2trn convert each pixel. With an even width the float half width
    // of dr2trn equals the integer one, and dr2trn has no intercept.
    const std::vector<int16_t> src = all_stored_values();
    const std::vector<float> srcf(src.begin(), src.end());
    struct Case {
        int32_t ww, wc, intercept;
    };
    for (const Case& k : {Case{400, 40, -1024}, Case{2000, 0, 0}, Case{1, 0, -1}, Case{0, -7, 3},
                          Case{32766, -32768, -32768}, Case{-100, 0, 0}, Case{7, 3, 1000}}) {
        SCOPED_TRACE(testing::Message() << "WW " << k.ww << " WC " << k.wc << " intercept " << k.intercept);
        Dest table(kSlice), fromFloat(kSlice), square(kSlice);
        ct2trn(src.data(), table.p(), k.ww, k.wc, k.intercept);
        ct4trn(srcf.data(), fromFloat.p(), k.ww, k.wc, k.intercept);
        ct2bgtrn(square.p(), src.data(), kSide, k.ww, k.wc, k.intercept);
        EXPECT_EQ(table.all, fromFloat.all);
        EXPECT_EQ(table.all, square.all);
        if (k.intercept == 0 && k.ww % 2 == 0) {
            Dest plain(kSlice);
            dr2trn(plain.p(), src.data(), kSide, kSide, k.ww, k.wc);
            EXPECT_EQ(table.all, plain.all);
        }
        // Grey never falls as the stored value rises.
        for (int s = -32768; s < 32767; ++s) {
            const size_t i = static_cast<uint16_t>(s), j = static_cast<uint16_t>(s + 1);
            ASSERT_LE(table.at(bmp(i % kSide, i / kSide)), table.at(bmp(j % kSide, j / kSide))) << s;
        }
    }
}

TEST(DisplayWindow, FloatSourceKeepsFractions) {
    std::vector<float> src(kSlice, 0.0f);
    src[0] = 1224.0f;
    src[1] = 1064.3f;  // CT 40.3: 200.3 / 400 * 255 + 0.5 = 128.19
    src[2] = 1063.0f;  // CT 39:   199 / 400 * 255 + 0.5 = 127.36
    src[3] = std::numeric_limits<float>::infinity();
    src[4] = -std::numeric_limits<float>::infinity();
    src[5] = std::numeric_limits<float>::quiet_NaN();  // no test holds; taken as black
    Dest d(kSlice);
    ct4trn(src.data(), d.p(), 400, 40, -1024);
    EXPECT_EQ(d.at(bmp(0, 0)), 230);
    EXPECT_EQ(d.at(bmp(1, 0)), 128);
    EXPECT_EQ(d.at(bmp(2, 0)), 127);
    EXPECT_EQ(d.at(bmp(3, 0)), 255);
    EXPECT_EQ(d.at(bmp(4, 0)), 0);
    EXPECT_EQ(d.at(bmp(5, 0)), 0);
    EXPECT_TRUE(d.guards_intact());
}

TEST(DisplayWindow, SquareExportsTakeWholeWordsAndWriteNByN) {
    // 4 x 4, row r holds r * 1000 + column; bottom-up, nothing beyond 16 bytes.
    // WW 70000 keeps all 32 bits: half 35000, so 3000 gives 38000 / 70000 *
    // 255 + 0.5 = 138.9 (its low 16 bits, 4464, would make it white).
    std::vector<int16_t> src(16);
    for (int i = 0; i < 16; ++i) src[i] = static_cast<int16_t>(i / 4 * 1000 + i % 4);
    const std::vector<float> srcf(src.begin(), src.end());
    Dest d2(16), d4(16);
    ct2bgtrn(d2.p(), src.data(), 4, 70000, 0, 0);
    ct4bgtrn(d4.p(), srcf.data(), 4, 70000, 0, 0);
    EXPECT_EQ(d2.at(0), 138);                // row 3 is the first output row
    EXPECT_EQ(d2.at(bmp(0, 0, 4, 4)), 128);  // 0 sits at the centre
    EXPECT_EQ(d2.all, d4.all);
    EXPECT_TRUE(d2.guards_intact());

    // The intercept is a whole word too: 64512 (not its low half, -1024).
    Dest withIntercept(16);
    ct2bgtrn(withIntercept.p(), src.data(), 4, 400, 40, 64512);
    EXPECT_EQ(withIntercept.at(bmp(0, 0, 4, 4)), 255);

    Dest untouched(16);
    ct2bgtrn(untouched.p(), src.data(), 0, 400, 40, 0);
    ct4bgtrn(untouched.p(), srcf.data(), -3, 400, 40, 0);
    EXPECT_EQ(untouched.all, Dest(16).all);
}

TEST(DisplayWindow, PlainBitmapsUseFloatHalfWidth) {
    // WW 9, WC 0: lo -4.5, hi 4.5 (an integer half width would give -4 .. 4).
    const std::vector<int16_t> src = {-5, -4, 0, 1, 4, 5};  // width 3, height 2
    const std::vector<float> srcf(src.begin(), src.end());
    Dest d2(6), d4(6);
    dr2trn(d2.p(), src.data(), 3, 2, 9, 0);
    dr4trn(d4.p(), srcf.data(), 3, 2, 9, 0);
    // Row 1 {1, 4, 5} first, then row 0 {-5, -4, 0}.
    // 1: 5.5 / 9 * 255 + 0.5 = 156.3; 4: 8.5 / 9 * 255 + 0.5 = 241.3; -4: 0.5 / 9 * 255 + 0.5 = 14.7.
    const std::vector<uint8_t> expected = {156, 241, 255, 0, 14, 128};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(d2.at(i), expected[i]) << i;
        EXPECT_EQ(d4.at(i), expected[i]) << i;
    }
    EXPECT_TRUE(d2.guards_intact());
    EXPECT_TRUE(d4.guards_intact());

    Dest untouched(6);
    dr2trn(untouched.p(), src.data(), 0, 2, 9, 0);
    dr4trn(untouched.p(), srcf.data(), 3, 0, 9, 0);
    EXPECT_EQ(untouched.all, Dest(6).all);
}

TEST(DisplayWindow, HalvedBitmapTakesEverySecondColumn) {
    // Width 5 (odd) gives 2 output columns from source columns 0 and 2.
    // WW 8, WC 0: lo -4, hi 4; source columns 1, 3 and 4 are white if read.
    const std::vector<int16_t> src = {-4, 99, 0, 99, 99,  //
                                      2, 99, -1, 99, 99};
    Dest d(4);
    dr2strn(d.p(), src.data(), 5, 2, 8, 0);
    // Row 1 {2, -1} first: 6/8*255+0.5 = 191.75, 3/8*255+0.5 = 96.1; row 0 {-4, 0}.
    EXPECT_EQ(d.at(0), 191);
    EXPECT_EQ(d.at(1), 96);
    EXPECT_EQ(d.at(2), 0);
    EXPECT_EQ(d.at(3), 128);
    EXPECT_TRUE(d.guards_intact());
}

// The window WW 510, WC 255 (lo 0, hi 510) maps v to trunc(v / 2 + 0.5).
constexpr int32_t kHalfWW = 510, kHalfWC = 255;

TEST(DisplayZoom, FirstQuarterPixelsAndMeans) {
    std::vector<int16_t> src = slice_of(0);
    src[0] = 100;
    src[1] = 200;
    src[kSide] = 300;
    src[kSide + 1] = 402;
    Dest d(kSlice);
    ct2trn2x(src.data(), d.p(), kHalfWW, kHalfWC, 0, 0, 0);
    EXPECT_EQ(d.at(bmp(0, 0)), 50);   // on source (0, 0): 100
    EXPECT_EQ(d.at(bmp(1, 0)), 75);   // mean of (0, 0) and (1, 0): 150
    EXPECT_EQ(d.at(bmp(0, 1)), 100);  // mean of (0, 0) and (0, 1): 200
    EXPECT_EQ(d.at(bmp(1, 1)), 125);  // mean of all four: 250.5 -> 125.75
    EXPECT_EQ(d.at(bmp(2, 2)), 201);  // on source (1, 1): 402 -> 201.5
    EXPECT_TRUE(d.guards_intact());
}

TEST(DisplayZoom, OriginAndInterceptShiftTheSamples) {
    // Origin (10, 20); stored values carry 1000 that the intercept removes.
    std::vector<int16_t> src = slice_of(1000);
    auto at = [&](int x, int y) -> int16_t& { return src[y * kSide + x]; };
    at(11, 22) = 1100;
    at(12, 22) = 1200;
    at(11, 23) = 1300;
    at(12, 23) = 1410;
    Dest d(kSlice);
    ct2trn2x(src.data(), d.p(), kHalfWW, kHalfWC, -1000, 10, 20);
    EXPECT_EQ(d.at(bmp(2, 4)), 50);  // x = 11, y = 22: 100
    // x = 11.5, y = 22.5: top 150, bottom 355, value 252.5 -> 126.75.
    EXPECT_EQ(d.at(bmp(3, 5)), 126);
    EXPECT_EQ(d.at(bmp(3, 4)), 75);  // x = 11.5, y = 22: 150
    EXPECT_EQ(d.at(bmp(0, 0)), 0);   // (10, 20) holds CT 0
}

TEST(DisplayZoom, OriginIsKeptInsideTheSlice) {
    // Source the exact size of a slice: an origin beyond 255 must not read
    // past its end (the sanitizer build checks this).
    std::vector<int16_t> src(kSlice);
    for (int i = 0; i < kSlice; ++i) src[i] = static_cast<int16_t>((i % kSide + i / kSide) % 250 * 2);
    Dest corner(kSlice), far(kSlice), below(kSlice), zero(kSlice), wrapped(kSlice), ten(kSlice);
    ct2trn2x(src.data(), corner.p(), kHalfWW, kHalfWC, 0, 255, 255);
    ct2trn2x(src.data(), far.p(), kHalfWW, kHalfWC, 0, 300, 30000);
    ct2trn2x(src.data(), below.p(), kHalfWW, kHalfWC, 0, -5, -1);
    ct2trn2x(src.data(), zero.p(), kHalfWW, kHalfWC, 0, 0, 0);
    ct2trn2x(src.data(), wrapped.p(), kHalfWW, kHalfWC, 0, 0x1000A, 0x2000A);
    ct2trn2x(src.data(), ten.p(), kHalfWW, kHalfWC, 0, 10, 10);
    EXPECT_EQ(far.all, corner.all);
    EXPECT_EQ(below.all, zero.all);
    EXPECT_EQ(wrapped.all, ten.all);
    // Last output pixel of the corner view: mean of (510..511, 510..511) =
    // (40 + 42 + 42 + 44) / 4 = 42 -> 21.5.
    EXPECT_EQ(corner.at(bmp(511, 511)), 21);
    EXPECT_TRUE(corner.guards_intact());
}

TEST(DisplayZoom, CubicReproducesAPlaneAwayFromTheBorder) {
    // On a plane both interpolations are exact, so the views agree byte for byte.
    std::vector<int16_t> src(kSlice);
    for (int i = 0; i < kSlice; ++i) src[i] = static_cast<int16_t>(3 * (i % kSide) + 5 * (i / kSide) + 7);
    Dest cubic(kSlice), linear(kSlice);
    ct2trn2xcubic(src.data(), cubic.p(), 8000, 4000, 0, 100, 50);
    ct2trn2x(src.data(), linear.p(), 8000, 4000, 0, 100, 50);
    EXPECT_EQ(cubic.all, linear.all);
    EXPECT_TRUE(cubic.guards_intact());
}

TEST(DisplayZoom, CubicRepeatsTheEdgePixelAtTheBorder) {
    // Ramp 16 x along every row.
    std::vector<int16_t> src(kSlice);
    for (int i = 0; i < kSlice; ++i) src[i] = static_cast<int16_t>(16 * (i % kSide));
    Dest left(kSlice);
    ct2trn2xcubic(src.data(), left.p(), 32, 16, 0, 0, 0);  // lo 0, hi 32
    // x = 0.5 with samples 0, 0, 16, 32 (column -1 repeats column 0): 7, where
    // the ramp would be 8: 7 / 32 * 255 + 0.5 = 56.3.
    EXPECT_EQ(left.at(bmp(1, 0)), 56);
    EXPECT_EQ(left.at(bmp(2, 0)), 128);  // x = 1: 16
    EXPECT_EQ(left.at(bmp(3, 0)), 191);  // x = 1.5, inside: 24 -> 191.75

    Dest right(kSlice);
    ct2trn2xcubic(src.data(), right.p(), 32, 8160, 0, 255, 255);  // lo 8144, hi 8176
    // x = 510.5 with samples 8144, 8160, 8176, 8176: 8169 (the ramp: 8168):
    // 25 / 32 * 255 + 0.5 = 199.7.
    EXPECT_EQ(right.at(bmp(511, 511)), 199);
    EXPECT_EQ(right.at(bmp(510, 511)), 128);  // x = 510: 8160
    EXPECT_TRUE(right.guards_intact());
}

// li2bmp reads a region of a larger array; everything around the region
// holds a value that would show as white if it were read.
constexpr int16_t kOutside = 30000;

TEST(DisplayResample, RowsArePaddedAndTheLastColumnBlendsAtPointNineNine) {
    // Region 3 x 2 at (1, 1) of a 5-wide array, both rows {0, 0, 800}.
    // WW 1000, WC 410: lo -90, hi 910, g = (v + 90) * 0.255 + 0.5.
    std::vector<int16_t> src(5 * 4, kOutside);
    for (int y = 1; y <= 2; ++y) {
        src[y * 5 + 1] = 0;
        src[y * 5 + 2] = 0;
        src[y * 5 + 3] = 800;
    }
    // outW 5 -> stride 8: x = 0, 0.5, 1, 1.5, 2; the last becomes column 1
    // with fraction 0.99: 792 -> 225.4 (column 2 alone would give 227).
    // 0 -> 23.45, 400 -> 125.45.
    Dest d(8 * 3);
    li2bmp(d.p(), src.data(), 5, 12345, 3, 2, 1, 1, 5, 3, 1000, 410);
    const std::vector<uint8_t> row = {23, 23, 23, 125, 225};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 8; ++c) EXPECT_EQ(d.at(r * 8 + c), c < 5 ? row[c] : kGuardByte) << r << ", " << c;
    EXPECT_TRUE(d.guards_intact());
}

TEST(DisplayResample, LastRowBlendsAndASingleColumnSamplesTheRegionStart) {
    // Region 2 x 3 at (1, 0) of a 4-wide array, column 0 of the region
    // {0, 0, 800} from top to bottom, column 1 white. outW 1 samples the
    // region's first column only; outH 5: y = 0, 0.5, 1, 1.5, 2 (the last
    // from row 1 with fraction 0.99).
    std::vector<int16_t> src(4 * 3, kOutside);
    src[0 * 4 + 1] = 0;
    src[1 * 4 + 1] = 0;
    src[2 * 4 + 1] = 800;
    Dest d(4 * 5);
    li2bmp(d.p(), src.data(), 4, 0, 2, 3, 1, 0, 1, 5, 1000, 410);
    const std::vector<uint8_t> column = {23, 23, 23, 125, 225};  // image rows 0..4
    for (int r = 0; r < 5; ++r) {
        EXPECT_EQ(d.at(bmp(0, r, 5, 4)), column[r]) << r;
        for (int c = 1; c < 4; ++c) EXPECT_EQ(d.at(bmp(c, r, 5, 4)), kGuardByte);
    }
    EXPECT_TRUE(d.guards_intact());
}

TEST(DisplayResample, OnePixelRegionStaysInside) {
    // The region is the last element of the array: a neighbour to its right
    // or below would be read past the end (the sanitizer build checks this).
    std::vector<int16_t> src(3 * 3, kOutside);
    src[8] = 0;
    Dest d(4 * 2);
    li2bmp(d.p(), src.data(), 3, 0, 1, 1, 2, 2, 3, 2, 1000, 410);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(d.at(r * 4 + c), c < 3 ? 23 : kGuardByte);
    EXPECT_TRUE(d.guards_intact());
}

TEST(DisplayResample, NothingWrittenWithoutOutputRowsOrColumns) {
    std::vector<int16_t> src(16, 0);
    Dest d(64);
    li2bmp(d.p(), src.data(), 4, 0, 4, 4, 0, 0, 4, 0, 1000, 410);
    li2bmp(d.p(), src.data(), 4, 0, 4, 4, 0, 0, 4, -3, 1000, 410);
    li2bmp(d.p(), src.data(), 4, 0, 4, 4, 0, 0, 0, 4, 1000, 410);
    li2bmp(d.p(), src.data(), 4, 0, 0, 4, 0, 0, 4, 4, 1000, 410);
    EXPECT_EQ(d.all, Dest(64).all);
}

}  // namespace
