// What the 2D smoothing kernels share with the FFT family. Internal to the
// library.
#pragma once

#include <cstdint>

namespace lumvek_detail {

// The 2D transform behind cfft2d/cfft2df, in place on re/im (n x n, n a power
// of two). When src is given and dir is 1, re is first loaded from it and im
// cleared. dir -1 is the inverse (divided by n per line), anything else the
// forward transform. It builds and releases its own twiddle tables, so the
// process tables are gone afterwards, as after any self-contained transform.
// Throws std::bad_alloc before anything is written.
void transform_2d(const int16_t* src, float* re, float* im, int n, int dir);

// Frequency in cycles per mm of index i on one axis of a 512-point transform
// with the given pixel size: indices above 256 stand for negative frequencies.
float axis_frequency(int i, float pixel) noexcept;

// How a result beyond 16 bits is stored: its low 16 bits, or clamped to
// -32768 ... 32767.
enum class Overflow { Wrap, Clamp };

// Multiplies the 512 x 512 spectrum of src by the transfer function H and
// stores the real part of the result in dst, rounded half away from zero.
// All of src is read before dst is written, so they may be the same slice.
// Throws std::bad_alloc before anything is written.
void filter_slice(const int16_t* src, int16_t* dst, const float* transfer, Overflow overflow);

}  // namespace lumvek_detail
