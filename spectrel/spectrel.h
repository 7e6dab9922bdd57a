/* spectrel: Gaussian smoothing of 16-bit images in the frequency domain
 * (libspectrel.so, built on FFTW 3 in single precision).
 *
 * Images are width x height signed 16-bit values stored row by row: pixel
 * (x, y) is element y * width + x.
 *
 * The library keeps one prepared size per process: mklsmooth_tfset makes the
 * transfer function and the FFTW plans, mklsmooth_wotf uses them for as many
 * images as wanted, mklsmooth_tffree releases them. All three take a lock, so
 * any thread may call any of them at any time. FFTW's planner is not safe to
 * run on two threads at once, though, so a program that also plans FFTW
 * transforms of its own must not do so while mklsmooth_tfset runs.
 *
 * No function reports an error: a call it refuses returns having written
 * nothing, and nothing is thrown out of the library.
 */
#ifndef SPECTREL_H
#define SPECTREL_H

#include <stdint.h>

#define SPECTREL_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Prepares the smoothing of width x height images whose pixels are
 * pixelSize mm apart, replacing whatever an earlier call prepared.
 *
 * The transfer function is the Gaussian low-pass
 *   H(f) = exp(-(f k)^2), k = sqrt(ln 10) / cutoff,
 * so H(0) = 1 and H(cutoff) = 0.1, with f in cycles per mm. At FFT bin
 * (row r, column c) f = sqrt(fx^2 + fy^2), fx = fold(c, width) /
 * (width * pixelSize), fy = fold(r, height) / (height * pixelSize), where
 * fold(i, n) is i for i <= n / 2 and n - i above (the upper bins are the
 * negative frequencies).
 *
 * width, height: 2 .. 8192 pixels.
 * pixelSize: pixel spacing in mm, finite and > 0.
 * cutoff: frequency in cycles per mm where H falls to 0.1, finite and > 0.
 * transfer: null, or width * height floats that receive H in FFT order,
 *   element r * width + c for bin (r, c). Written only on success; the
 *   library keeps its own copy, so the array is free again on return.
 * flags: reserved, pass 0.
 *
 * Arguments out of range, or too little memory, leave nothing prepared (the
 * earlier preparation is released too) and transfer unwritten. */
SPECTREL_API void mklsmooth_tfset(int32_t width, int32_t height, float pixelSize, float cutoff, float* transfer,
                                  int32_t flags);

/* Smooths the image in into out (width * height values each) with the
 * prepared transfer function: 2D forward transform, each bin times H,
 * inverse transform divided by width * height, then rounded to the nearest
 * integer (halves away from zero) and clamped to -32768 .. 32767.
 *
 * in is only read; out is only written, after in has been read in full, so
 * out may be the same array as in. Does nothing, leaving out as it was, when
 * nothing is prepared, when width or height differ from the prepared size,
 * or when in or out is null. */
SPECTREL_API void mklsmooth_wotf(const int16_t* in, int16_t* out, int32_t width, int32_t height);

/* Releases what mklsmooth_tfset prepared; does nothing when nothing is. */
SPECTREL_API void mklsmooth_tffree(void);

#ifdef __cplusplus
}
#endif

#endif
