// Tag search, the machine number, the side buffer, CRC-16 and the two
// one-value test exports.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "band_frame.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

// The number volumeget reports when no machine number can be read.
constexpr uint32_t kNoMachineNumber = 9999;

// 32-bit little-endian word at p, whatever the host's byte order.
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// FNV-1a over the visible characters of a machine-id file; nothing when the
// file can't be read or holds nothing but white space.
std::optional<uint32_t> hash_id_file(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return std::nullopt;
    uint32_t hash = 2166136261u;
    bool any = false;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c <= ' ') continue;
        hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
        any = true;
    }
    std::fclose(f);
    if (!any) return std::nullopt;
    return hash;
}

// The side buffer: one block of 16-bit values and its length in values.
int16_t* g_side = nullptr;
int64_t g_sideCount = 0;

// Start of slot k (a x b values each) of the side buffer, or nullptr when
// there is no buffer or the slot does not lie wholly inside it.
int16_t* side_slot(int32_t a, int32_t b, int32_t k, int64_t& count) {
    count = static_cast<int64_t>(a) * b;
    int64_t begin = 0;
    if (!g_side || count <= 0 || k < 0 || __builtin_mul_overflow(count, k, &begin)) return nullptr;
    if (begin > g_sideCount - count) return nullptr;
    return g_side + begin;
}

// CRC-16/ARC: polynomial 0x8005 reflected, one table lookup per byte.
constexpr std::array<uint16_t, 256> make_crc_table() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xA001u : crc >> 1;
        table[i] = static_cast<uint16_t>(crc);
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = make_crc_table();

}  // namespace

extern "C" {

// Examines the offsets start, start + 2, ... up to and including limit and
// returns the first that holds key, or the first offset past limit.
int32_t tagposis(const uint8_t* buf, int32_t key, int32_t start, int32_t limit) {
    int64_t pos = start;
    while (pos <= limit && le32(buf + pos) != static_cast<uint32_t>(key)) pos += 2;
    return static_cast<int32_t>(pos);
}

// DICOM data start after the 128-byte preamble.
int32_t tagposi(const uint8_t* buf, int32_t key, int32_t limit) { return tagposis(buf, key, 128, limit); }

// There are no drive letters here; the machine id identifies the machine
// just as stably. 9999 stays reserved for "nothing could be read".
void volumeget(uint32_t* machineNumber) {
    std::optional<uint32_t> id = hash_id_file("/etc/machine-id");
    if (!id) id = hash_id_file("/var/lib/dbus/machine-id");
    if (!id) {
        *machineNumber = kNoMachineNumber;
        return;
    }
    *machineNumber = *id == kNoMachineNumber ? *id + 1 : *id;
}

// Replaces the side buffer. The previous block is released (the caller no
// longer uses it), and a failed or empty request leaves no buffer at all.
int16_t* shortmalloc(int32_t width, int32_t height, int32_t slots) {
    std::free(g_side);
    g_side = nullptr;
    g_sideCount = 0;
    int64_t count = 0;
    if (__builtin_mul_overflow(static_cast<int64_t>(width) * height, slots, &count) || count <= 0) return nullptr;
    g_side = static_cast<int16_t*>(std::calloc(static_cast<size_t>(count), sizeof(int16_t)));
    if (g_side) g_sideCount = count;
    return g_side;
}

void shortfree(void) {
    std::free(g_side);
    g_side = nullptr;
    g_sideCount = 0;
}

void memtrn(const int16_t* src, int32_t width, int32_t height, int32_t slotIndex) {
    int64_t count = 0;
    if (int16_t* slot = side_slot(width, height, slotIndex, count))
        std::memmove(slot, src, static_cast<size_t>(count) * sizeof(int16_t));
}

void memdown(int16_t* dst, int32_t width, int32_t height, int32_t slotIndex) {
    int64_t count = 0;
    if (const int16_t* slot = side_slot(width, height, slotIndex, count))
        std::memmove(dst, slot, static_cast<size_t>(count) * sizeof(int16_t));
}

int32_t CRC16(const uint8_t* buf, int32_t n) {
    uint32_t crc = 0;
    for (int32_t i = 0; i < n; ++i) crc = (crc >> 8) ^ kCrcTable[(crc ^ buf[i]) & 0xFFu];
    return static_cast<int32_t>(crc);
}

void lumvektst(int32_t* out, const int32_t* in) { *out = *in; }

void lumvektst2(int16_t* out, const float* in) { *out = low16(trunc_to_int(*in)); }

}  // extern "C"
