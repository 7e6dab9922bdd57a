// Fills, copies and byte-order swaps of voxel arrays.
//
// Every export does nothing for a count of zero or less. A destination that
// overlaps its source ends up as an ascending element-by-element copy would
// leave it, which is what callers that shift data inside one array rely on.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>

#include "band_frame.h"
#include "lumvek.h"

using namespace lumvek_detail;

namespace {

// Copies `bytes` bytes as an ascending element loop would. memmove gives the
// same result unless the destination starts inside the source: then the loop
// keeps re-reading what it has just written, so the first `gap` bytes of the
// source repeat over the whole destination. That case is built by doubling
// the already written, non-overlapping prefix.
void copy_ascending(void* dstp, const void* srcp, size_t bytes) {
    auto* dst = static_cast<unsigned char*>(dstp);
    const auto* src = static_cast<const unsigned char*>(srcp);
    const auto d = reinterpret_cast<uintptr_t>(dst);
    const auto s = reinterpret_cast<uintptr_t>(src);
    if (d <= s || d >= s + bytes) {
        std::memmove(dst, src, bytes);
        return;
    }
    const size_t gap = d - s;
    std::memcpy(dst, src, gap);
    for (size_t done = gap; done < bytes;) {
        const size_t chunk = std::min(done, bytes - done);
        std::memcpy(dst + done, dst, chunk);
        done += chunk;
    }
}

static_assert(sizeof(wchar_t) == sizeof(int32_t), "32-bit fills go through wmemset");

// Fills n 32-bit words. The C library's wmemset picks the widest stores the
// processor has at run time, which the generic build of our loops can't.
void fill32(void* a, uint32_t pattern, size_t n) {
    std::wmemset(static_cast<wchar_t*>(a), static_cast<wchar_t>(pattern), n);
}

}  // namespace

extern "C" {

// Two 16-bit values per 32-bit store: one element first when the array
// starts between two words, one last when an odd one is left.
void var2clr(int16_t* dst, int32_t value, int32_t n) {
    if (n <= 0) return;
    const int16_t v = low16(value);
    size_t left = static_cast<size_t>(n);
    if (reinterpret_cast<uintptr_t>(dst) % sizeof(int32_t) != 0) {
        *dst++ = v;
        --left;
    }
    const uint32_t bits = static_cast<uint16_t>(v);
    fill32(dst, bits | bits << 16, left / 2);
    if (left % 2 != 0) dst[left - 1] = v;
}

void var4clr(int32_t* dst, int32_t value, int32_t n) {
    if (n > 0) fill32(dst, static_cast<uint32_t>(value), static_cast<size_t>(n));
}

void varclr(uint8_t* dst, int32_t value, int32_t n) {
    if (n > 0) std::memset(dst, value & 0xFF, static_cast<size_t>(n));
}

void vartrn(uint8_t* dst, const uint8_t* src, int32_t nbytes) {
    if (nbytes > 0) copy_ascending(dst, src, static_cast<size_t>(nbytes));
}

void var2trn(int16_t* dst, const int16_t* src, int32_t n) {
    if (n > 0) copy_ascending(dst, src, static_cast<size_t>(n) * sizeof(int16_t));
}

void var4trn(int32_t* dst, const int32_t* src, int32_t n) {
    if (n > 0) copy_ascending(dst, src, static_cast<size_t>(n) * sizeof(int32_t));
}

void var4trn_sp(float* dst, const float* src, float factor, int32_t n) {
    for (int32_t i = 0; i < n; ++i) dst[i] = src[i] * factor;
}

void var4skiptrn(int32_t* dst, int32_t dstStride, const int32_t* src, int32_t srcStride, int32_t n) {
    for (int64_t i = 0; i < n; ++i) dst[i * dstStride] = src[i * srcStride];
}

// The swaps are one packed shift-and-merge per 16 bytes; unrolled, the loop
// keeps up with the stores instead of its own bookkeeping.
int32_t varswap(uint8_t* data, int32_t n) {
    if (n < 1) return 0;
#pragma GCC unroll 4
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
        uint16_t v;
        std::memcpy(&v, data + 2 * i, 2);
        v = static_cast<uint16_t>(v << 8 | v >> 8);
        std::memcpy(data + 2 * i, &v, 2);
    }
    return n;
}

void var4swap(uint8_t* data, int32_t n) {
#pragma GCC unroll 4
    for (size_t i = 0; i < static_cast<size_t>(std::max(n, 0)); ++i) {
        uint32_t v;
        std::memcpy(&v, data + 4 * i, 4);
        v = __builtin_bswap32(v);
        std::memcpy(data + 4 * i, &v, 4);
    }
}

}  // extern "C"
