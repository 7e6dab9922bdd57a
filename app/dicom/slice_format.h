// The one slice form the program knows: 512 x 512 signed 16-bit values,
// row-major, first row at the top.
#pragma once

namespace halvex {

inline constexpr int kSide = 512;
inline constexpr int kSlicePixels = kSide * kSide;    // 262144
inline constexpr int kSliceBytes = kSlicePixels * 2;  // 524288

}  // namespace halvex
