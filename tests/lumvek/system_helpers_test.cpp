// Tag search, machine number, side buffer, CRC-16 and the test exports.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "lumvek.h"

namespace {

// A file image of exactly limit + 4 bytes: the word at offset `limit` is the
// last one the search may read.
std::vector<uint8_t> file_image(int limit) { return std::vector<uint8_t>(static_cast<size_t>(limit) + 4, 0); }

void put_le32(std::vector<uint8_t>& buf, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) buf[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

TEST(TagSearch, FindsAnElementRightAfterThePreamble) {
    std::vector<uint8_t> buf = file_image(9900);
    const uint8_t tag[] = {0x08, 0x00, 0x05, 0x00};  // (0008,0005)
    std::memcpy(&buf[128], tag, 4);
    EXPECT_EQ(tagposi(buf.data(), 0x00050008, 9900), 128);
    // The preamble is never searched.
    std::memcpy(&buf[126], tag, 4);
    std::memset(&buf[130], 0, 2);
    EXPECT_EQ(tagposi(buf.data(), 0x00050008, 9900), 9902);
}

TEST(TagSearch, ExaminesOnlyOffsetsOfTheStartsParity) {
    std::vector<uint8_t> buf = file_image(9900);
    put_le32(buf, 201, 0x00100010);
    EXPECT_EQ(tagposi(buf.data(), 0x00100010, 9900), 9902);
    EXPECT_EQ(tagposis(buf.data(), 0x00100010, 200, 9900), 9902);
    EXPECT_EQ(tagposis(buf.data(), 0x00100010, 129, 9900), 201);
    // The first of two matches wins.
    put_le32(buf, 4000, 0x00100010);
    put_le32(buf, 600, 0x00100010);
    EXPECT_EQ(tagposi(buf.data(), 0x00100010, 9900), 600);
}

TEST(TagSearch, LimitIsExaminedAndTheResultLiesJustPastIt) {
    std::vector<uint8_t> buf = file_image(1000);
    put_le32(buf, 1000, 0x7FE00010);
    EXPECT_EQ(tagposi(buf.data(), 0x7FE00010, 1000), 1000);
    EXPECT_EQ(tagposi(buf.data(), 0x7FE00010, 998), 1000);  // past 998: not found
    EXPECT_EQ(tagposi(buf.data(), 0x7FE00010, 999), 1000);  // 1000 > 999: not found either
    EXPECT_EQ(tagposis(buf.data(), 0x7FE00010, 131, 999), 1001);
    // A start above the limit examines nothing, even a match at start.
    EXPECT_EQ(tagposis(buf.data(), 0x7FE00010, 1000, 998), 1000);
    EXPECT_EQ(tagposis(buf.data(), 0x7FE00010, 5000, 400), 5000);
}

TEST(TagSearch, KeysWithTheTopBitSet) {
    // An item delimiter (FFFE,E00D) is the word 0xE00DFFFE: negative as int32.
    std::vector<uint8_t> buf = file_image(450000);
    put_le32(buf, 449998, 0xE00DFFFEu);
    EXPECT_EQ(tagposis(buf.data(), static_cast<int32_t>(0xE00DFFFEu), 100000, 450000), 449998);
    EXPECT_EQ(tagposis(buf.data(), static_cast<int32_t>(0xE00DFFFEu), 100001, 450000), 450001);
}

TEST(MachineNumber, StableAndNotTheFailureValue) {
    // This machine has a machine id, so a real number comes back.
    uint32_t first = 0;
    uint32_t second = 1;
    volumeget(&first);
    volumeget(&second);
    EXPECT_EQ(first, second);
    EXPECT_NE(first, 9999u);
}

TEST(SideBuffer, SlotsRoundTripAndLieWhereTheLayoutSays) {
    int16_t* block = shortmalloc(4, 3, 2);
    ASSERT_NE(block, nullptr);
    std::vector<int16_t> slot0(12), slot1(12);
    for (int i = 0; i < 12; ++i) {
        slot0[i] = static_cast<int16_t>(i - 100);
        slot1[i] = static_cast<int16_t>(i * 1000);
    }
    memtrn(slot1.data(), 4, 3, 1);
    memtrn(slot0.data(), 4, 3, 0);
    EXPECT_EQ(std::vector<int16_t>(block + 12, block + 24), slot1);

    std::vector<int16_t> back(14, 5);
    memdown(back.data() + 1, 4, 3, 1);
    EXPECT_EQ(std::vector<int16_t>(back.begin() + 1, back.end() - 1), slot1);
    EXPECT_EQ(back.front(), 5);
    EXPECT_EQ(back.back(), 5);
    memdown(back.data() + 1, 4, 3, 0);
    EXPECT_EQ(std::vector<int16_t>(back.begin() + 1, back.end() - 1), slot0);
    shortfree();
}

TEST(SideBuffer, NothingHappensWithoutAFittingBuffer) {
    std::vector<int16_t> dst(12, 5);
    const std::vector<int16_t> src(12, 9);
    shortfree();
    memtrn(src.data(), 4, 3, 0);
    memdown(dst.data(), 4, 3, 0);
    EXPECT_EQ(dst, std::vector<int16_t>(12, 5));

    // Empty, negative and overflowing sizes give no buffer.
    EXPECT_EQ(shortmalloc(0, 5, 5), nullptr);
    EXPECT_EQ(shortmalloc(4, -3, 2), nullptr);
    EXPECT_EQ(shortmalloc(INT_MAX, INT_MAX, INT_MAX), nullptr);
    memdown(dst.data(), 1, 1, 0);
    EXPECT_EQ(dst, std::vector<int16_t>(12, 5));

    // A slot outside the buffer is left alone.
    ASSERT_NE(shortmalloc(4, 3, 2), nullptr);
    memtrn(src.data(), 4, 3, 0);
    memdown(dst.data(), 4, 3, 2);
    memdown(dst.data(), 4, 3, -1);
    memdown(dst.data(), 6, 3, 1);  // 18 values from element 18 of 24
    memdown(dst.data(), 0, 3, 0);
    EXPECT_EQ(dst, std::vector<int16_t>(12, 5));

    // A new request replaces the buffer; the old slots are gone.
    ASSERT_NE(shortmalloc(2, 2, 1), nullptr);
    memdown(dst.data(), 4, 3, 0);
    EXPECT_EQ(dst, std::vector<int16_t>(12, 5));
    memtrn(src.data(), 2, 2, 0);
    memdown(dst.data(), 2, 2, 0);
    EXPECT_EQ(dst, (std::vector<int16_t>{9, 9, 9, 9, 5, 5, 5, 5, 5, 5, 5, 5}));
    shortfree();
    shortfree();  // twice is harmless
}

TEST(Crc16, KnownChecksums) {
    const char* digits = "123456789";
    EXPECT_EQ(CRC16(reinterpret_cast<const uint8_t*>(digits), 9), 0xBB3D);
    const uint8_t a = 'A';
    EXPECT_EQ(CRC16(&a, 1), 0x30C0);
    EXPECT_EQ(CRC16(&a, 0), 0);
    EXPECT_EQ(CRC16(&a, -4), 0);
}

TEST(Crc16, AppendingTheChecksumGivesZero) {
    // A reflected CRC without final XOR: the message followed by its CRC,
    // low byte first, checks to 0.
    std::mt19937 rng(42);
    for (int len : {1, 2, 7, 100, 4099}) {
        std::vector<uint8_t> msg(static_cast<size_t>(len) + 2);
        for (int i = 0; i < len; ++i) msg[i] = static_cast<uint8_t>(rng());
        const int32_t crc = CRC16(msg.data(), len);
        EXPECT_EQ(crc & ~0xFFFF, 0);
        msg[len] = static_cast<uint8_t>(crc);
        msg[len + 1] = static_cast<uint8_t>(crc >> 8);
        EXPECT_EQ(CRC16(msg.data(), len + 2), 0) << len;
    }
}

TEST(TestExports, CopyAndTruncate) {
    int32_t out = 0;
    const int32_t in = -123456;
    lumvektst(&out, &in);
    EXPECT_EQ(out, -123456);

    int16_t s = 0;
    const std::pair<float, int> cases[] = {{-2.7f, -2}, {2.7f, 2}, {-0.9f, 0}, {32767.9f, 32767}};
    for (auto [value, want] : cases) {
        lumvektst2(&s, &value);
        EXPECT_EQ(s, want) << value;
    }
}
