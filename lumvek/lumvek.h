/* lumvek: the numeric kernels behind halvex (liblumvek.so).
 *
 * This header is the library's manual: the comment above each export is its
 * contract, and the comment at the head of each family holds the rules its
 * members share.
 *
 * Calling. Plain C functions in the platform's C calling convention. Every
 * argument is one 32-bit value (an int32_t or a float, never a double) or a
 * pointer to the first element to process inside an array the caller owns;
 * to start inside a larger array, pass the address of that element.
 * Arguments documented as 16-bit travel in a 32-bit word whose low 16 bits
 * are used, read as a signed value. Counts are element counts, not bytes,
 * unless named nbytes. The library allocates nothing the caller must free,
 * keeps no image between calls and needs no initialisation call.
 *
 * Sizes and errors. No export reports an error. The caller passes arrays at
 * least as large as what a call reads and writes, as each contract says.
 * Where a contract names values that a call refuses, the call returns having
 * written nothing; so does a call that can't get the memory or the worker
 * threads it needs. Nothing is thrown or raised out of the library.
 *
 * Slices and volumes. A slice is 512 x 512 signed 16-bit values stored row
 * by row: pixel (x, y) is element y * 512 + x. A volume of n slices is n
 * slices one after the other: voxel (x, y, z) is element
 * (z * 512 + y) * 512 + x, so slice z starts at element z * 262144.
 *
 * Float results stored into integer elements are converted by one of:
 *   nearest   add 0.5 to a value >= 0, subtract 0.5 from a negative one, then
 *             truncate (halves away from zero: 2.5 -> 3, -2.5 -> -3);
 *   half-up   add 0.5, then truncate (2.5 -> 3, -2.5 -> -2);
 *   truncate  toward zero (-2.7 -> -2).
 * All three saturate to the int32 range and turn NaN into 0. A 16-bit store
 * then keeps the low 16 bits (it wraps) unless the contract names a clamp.
 *
 * Threads. Exports marked "8 workers" split their output rows over eight
 * threads (the 512-row slices: worker k writing rows 64k .. 64k + 63;
 * bilate2dms: its height in eighths, the last worker taking the rest), and
 * exports marked "4 workers" over four; each returns only after all of them
 * have finished; if a thread can't be started or a worker can't get its
 * memory, no worker writes anything. All other exports run on the calling
 * thread only.
 *
 * Process-wide state. Four pieces exist once per process: the FFT tables
 * (cfftprep .. cfftfree), the smoothing transfer function (ctsmooth_tfset ..
 * ctsmooth_tffree), the side buffer (shortmalloc .. shortfree) and the noise
 * generator (randominit and the random... exports, on the C library's rand
 * state). They are not locked: no two threads may set up, use or release the
 * same piece at once. Besides cfftprep, cfft and cfftfree, the exports whose contract says
 * they release the FFT tables (cfft2d, cfft2df, ctsmooth_wotf, ctsmooth_wtf,
 * ctinr2dfilter) count as using them. Any other export may run on several
 * threads at once, on outputs that don't overlap.
 */
#ifndef LUMVEK_H
#define LUMVEK_H

#include <stdint.h>

#if defined(LUMVEK_BUILDING)
#define LUMVEK_API __attribute__((visibility("default")))
#else
#define LUMVEK_API
#endif

/* Slice geometry: 512 columns, 512 rows, 262144 elements. */
#define LUMVEK_SLICE_SIDE 512
#define LUMVEK_SLICE_SIZE 262144

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Fill, copy, byte order, arithmetic and type conversion ------------
 * Destination first, element count n last. A count of zero or less reads
 * and writes nothing. Unless a contract says otherwise a call reads
 * src[0 .. n-1] (each of src1, src2 likewise) and writes dst[0 .. n-1], or
 * reads and writes data[0 .. n-1] in place. Where a destination overlaps a
 * source, the result is what an ascending element-by-element loop leaves.
 * In names, 2 stands for 16-bit, 4 for 32-bit, none for bytes; i marks
 * 16-bit sources read unsigned. All run on the calling thread. */

/* dst[i] = value (its low 16 bits). */
LUMVEK_API void var2clr(int16_t* dst, int32_t value, int32_t n);

/* dst[i] = value, all 32 bits (a float array takes the bits of a float). */
LUMVEK_API void var4clr(int32_t* dst, int32_t value, int32_t n);

/* dst[i] = value & 0xFF, over n bytes. */
LUMVEK_API void varclr(uint8_t* dst, int32_t value, int32_t n);

/* Copies nbytes bytes from src[0 .. nbytes-1] to dst[0 .. nbytes-1]. */
LUMVEK_API void vartrn(uint8_t* dst, const uint8_t* src, int32_t nbytes);

/* Copies n 16-bit values. */
LUMVEK_API void var2trn(int16_t* dst, const int16_t* src, int32_t n);

/* Copies n 32-bit values (integers or floats alike). */
LUMVEK_API void var4trn(int32_t* dst, const int32_t* src, int32_t n);

/* dst[i] = src[i] * factor. */
LUMVEK_API void var4trn_sp(float* dst, const float* src, float factor, int32_t n);

/* dst[i * dstStride] = src[i * srcStride] for i = 0 .. n-1; strides count
 * 32-bit elements and may have any sign (a row into a column and back). */
LUMVEK_API void var4skiptrn(int32_t* dst, int32_t dstStride, const int32_t* src, int32_t srcStride, int32_t n);

/* Exchanges the two bytes of each of the n 16-bit values at data (2n bytes,
 * any alignment). Returns n, or 0 when n < 1. */
LUMVEK_API int32_t varswap(uint8_t* data, int32_t n);

/* Reverses the four bytes of each of the n 32-bit values at data (4n bytes,
 * any alignment): b0 b1 b2 b3 becomes b3 b2 b1 b0. */
LUMVEK_API void var4swap(uint8_t* data, int32_t n);

/* dst[i] += src[i]. */
LUMVEK_API void var4add(float* dst, const float* src, int32_t n);

/* dst[i] -= src[i]. */
LUMVEK_API void var4sub(float* dst, const float* src, int32_t n);

/* dst[i] = dst[i] + src[i], a negative sum stored as 0 (NaN stays NaN). */
LUMVEK_API void var4addnz(float* dst, const float* src, int32_t n);

/* dst[i] *= src[i]. */
LUMVEK_API void var4mul(float* dst, const float* src, int32_t n);

/* data[i] += addend. */
LUMVEK_API void var4addconst(float* data, float addend, int32_t n);

/* data[i] *= factor. */
LUMVEK_API void var4mulconst(float* data, float factor, int32_t n);

/* data[i] += addend (16-bit), wrapping: with addend 1, 32767 becomes -32768. */
LUMVEK_API void var2addconst(int16_t* data, int32_t addend, int32_t n);

/* As var2addconst; a negative result (after wrapping) is stored as 0. */
LUMVEK_API void var2addconstnz(int16_t* data, int32_t addend, int32_t n);

/* data[i] = half-up(data[i] * factor), clamped to -32000 .. 32000. */
LUMVEK_API void var2mulconst(int16_t* data, float factor, int32_t n);

/* data[i] = data[i] / divisor, read unsigned, the quotient truncated toward
 * zero and stored as its low 16 bits. A divisor of 0 leaves data as it is. */
LUMVEK_API void var2idiv(uint16_t* data, int32_t divisor, int32_t n);

/* One value, not an array: *out = half-up(*in * factor), *in read unsigned. */
LUMVEK_API void var2imul(int16_t* out, const uint16_t* in, float factor);

/* data[i] = nearest(data[i] * factor), low 16 bits (no clamp). */
LUMVEK_API void var2ismulconst(int16_t* data, float factor, int32_t n);

/* dst[i] = src[i] read unsigned. Returns n, whatever its value. */
LUMVEK_API int32_t var2ito4i(int32_t* dst, const uint16_t* src, int32_t n);

/* dst[i] = src[i] read unsigned, plus 65536 when below 10000 (taken as having
 * wrapped past 65535): 9999 gives 75535, 10000 gives 10000. */
LUMVEK_API void var2tosinglect(float* dst, const uint16_t* src, int32_t n);

/* dst[i] = truncate(src[i]), low 16 bits. */
LUMVEK_API void varsingleto2ct(int16_t* dst, const float* src, int32_t n);

/* dst[i] = src[i] read signed. */
LUMVEK_API void var2tofloat(float* dst, const int16_t* src, int32_t n);

/* Accumulates: dst[i] += src[i] * factor, src read signed. */
LUMVEK_API void var2tofloat_sp(float* dst, const int16_t* src, float factor, int32_t n);

/* dst[i] = src[i] read unsigned. */
LUMVEK_API void var2itofloat(float* dst, const uint16_t* src, int32_t n);

/* dst[i] = nearest(src[i]), low 16 bits. */
LUMVEK_API void varfloatto2(int16_t* dst, const float* src, int32_t n);

/* dst[i] = (src1[i] + src2[i]) * 0.5. */
LUMVEK_API void vartwosingleave(float* dst, const float* src1, const float* src2, int32_t n);

/* dst[i] = src1[i] * 0.5 + src2[i] * 0.5, sources read unsigned. */
LUMVEK_API void vartwo2itofloat(float* dst, const uint16_t* src1, const uint16_t* src2, int32_t n);

/* dst[i] = src1[i] * 0.5 + src2[i] * 0.5, sources read signed. */
LUMVEK_API void vartwo2istofloat(float* dst, const int16_t* src1, const int16_t* src2, int32_t n);

/* dst[i] = half-up((src1[i] + src2[i]) * 0.5 * factor), sources read
 * unsigned, the result stored as its low 16 bits. */
LUMVEK_API void vartwo2ito2imulconst(uint16_t* dst, const uint16_t* src1, const uint16_t* src2, float factor,
                                     int32_t n);

/* dst[i] = nearest((src1[i] + src2[i]) * 0.5 * factor), read signed, low 16 bits. */
LUMVEK_API void vartwo2isto2imulconst(int16_t* dst, const int16_t* src1, const int16_t* src2, float factor,
                                      int32_t n);

/* data[i] = nearest(log10(max(data[i], 1)) * 1000): values below 1 give 0,
 * 10 gives 1000, 100 gives 2000. */
LUMVEK_API void var2log(int16_t* data, int32_t n);

/* data[i] = 10^(data[i] / logScale) * factor; a result above 32000 is stored
 * as 32000, any other nearest with its low 16 bits (no lower clamp).
 * logScale 1000 with factor 1 undoes var2log. */
LUMVEK_API void var2lin(int16_t* data, float logScale, float factor, int32_t n);

/* Returns (centre[-(n/2)] + ... + centre[n/2]) / n, n/2 truncated: for odd n
 * the mean of the n values centred on centre; an even n sums n + 1 values and
 * still divides by n. Reads centre[-(n/2) .. n/2]; returns 0 for n <= 0. */
LUMVEK_API float var4ave(const float* centre, int32_t n);

/* Running mean in place: for j = -(span/2) .. span/2, centre[j] becomes the
 * sum of centre[j - window/2 .. j + window/2] as they were before the call,
 * times 1 / window (halves truncated). Reads centre[-reach .. reach] with
 * reach = span/2 + window/2, writes centre[-(span/2) .. span/2]. Does nothing
 * when span or window is <= 0 or reach exceeds 64. */
LUMVEK_API void var4moveave(float* centre, int32_t span, int32_t window);

/* ---- Display conversion: CT numbers to bottom-up 8-bit bitmaps ---------
 * Output rows are stored bottom-up, as a device-independent bitmap body:
 * source row 0 lands in the last output row. Output rows follow each other
 * without a gap (row stride = output width) except in li2bmp.
 * ww and wc are the window width and centre, in the units of the values
 * after the intercept (the slice's rescale intercept, where the export takes
 * one) is added to every source value. Integer-window exports (ct...) use
 * lo = wc - ww/2, hi = wc + ww/2 with ww/2 truncated (ww 401 acts as 400);
 * float-window ones (dr..., li2bmp) use ww * 0.5. A value v becomes
 *   255 if v >= hi, else 0 if v <= lo, else trunc((v - lo) / (hi - lo) * 255 + 0.5),
 * tested in that order, so a window with hi <= lo (ww 0, 1 or negative) gives
 * two levels; a NaN value gives 0. Note the argument order: ct2trn, ct4trn
 * and the zooms take the source first. All run on the calling thread. */

/* The 512 x 512 slice src to 512 x 512 bytes at dst: reads src[0 .. 262143],
 * writes dst[0 .. 262143]. ww, wc and intercept are 16-bit. */
LUMVEK_API void ct2trn(const int16_t* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept);

/* As ct2trn from a 512 x 512 float slice. */
LUMVEK_API void ct4trn(const float* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept);

/* n x n values at src to n x n bytes at dst (src[0 .. n*n-1], dst[0 .. n*n-1]);
 * ww, wc and intercept use all 32 bits. Nothing for n < 1. */
LUMVEK_API void ct2bgtrn(uint8_t* dst, const int16_t* src, int32_t n, int32_t ww, int32_t wc, int32_t intercept);

/* As ct2bgtrn from n x n floats. */
LUMVEK_API void ct4bgtrn(uint8_t* dst, const float* src, int32_t n, int32_t ww, int32_t wc, int32_t intercept);

/* width x height values at src (rows width apart) to width x height bytes at
 * dst; float window, no intercept. Nothing when width or height is < 1. */
LUMVEK_API void dr2trn(uint8_t* dst, const int16_t* src, int32_t width, int32_t height, int32_t ww, int32_t wc);

/* As dr2trn from floats. */
LUMVEK_API void dr4trn(uint8_t* dst, const float* src, int32_t width, int32_t height, int32_t ww, int32_t wc);

/* Half width: columns 0, 2, 4 ... of the width x height values at src (rows
 * width apart) to (width/2) x height bytes at dst; float window, no
 * intercept. Nothing when width < 2 or height < 1. */
LUMVEK_API void dr2strn(uint8_t* dst, const int16_t* src, int32_t width, int32_t height, int32_t ww, int32_t wc);

/* 2x magnified view of the 256 x 256 quarter of the slice src from column x0,
 * row y0, as 512 x 512 bytes at dst. Output pixel (c, r) samples the source
 * at (x0 + c/2, y0 + r/2): even c on a source column, odd c halfway to the
 * next (rows alike), blended bilinearly from the four neighbours, each plus
 * intercept. All arguments after dst are 16-bit; x0 and y0 are clamped to
 * 0 .. 255, so only rows y0 .. y0+256, columns x0 .. x0+256 are read. */
LUMVEK_API void ct2trn2x(const int16_t* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept, int32_t x0,
                         int32_t y0);

/* As ct2trn2x, but interpolated with the Catmull-Rom cubic over the 4 x 4
 * neighbours (indices clamped to 0 .. 511), along the rows first: for samples
 * p0 .. p3 and fraction t, ((a t + b) t + c) t + p1 with
 * a = -0.5 p0 + 1.5 p1 - 1.5 p2 + 0.5 p3, b = p0 - 2.5 p1 + 2 p2 - 0.5 p3, c = 0.5 (p2 - p0). */
LUMVEK_API void ct2trn2xcubic(const int16_t* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept, int32_t x0,
                              int32_t y0);

/* Resamples the width x height region of src from column x0, row y0 (src rows
 * srcStride elements apart) bilinearly to outW x outH bytes at dst; float
 * window, no intercept. Output rows are outW rounded up to a multiple of 4
 * bytes apart (padding not written). Output (c, r) samples the region at
 * (c (width-1)/(outW-1), r (height-1)/(outH-1)); the last column blends
 * width-2 and width-1 at 0.99 (rows alike); a 1-pixel side or a single output
 * column (row) samples position 0. Reads only the region, which x0, y0 must
 * keep inside src. srcHeight is ignored. Nothing when outW, outH, width or
 * height is < 1. */
LUMVEK_API void li2bmp(uint8_t* dst, const int16_t* src, int32_t srcStride, int32_t srcHeight, int32_t width,
                       int32_t height, int32_t x0, int32_t y0, int32_t outW, int32_t outH, int32_t ww, int32_t wc);

/* ---- FFT and FFT smoothing ---------------------------------------------
 * Complex data are two float arrays, real parts re and imaginary parts im,
 * not interleaved. n is a transform length: 16-bit, a power of two from 1 to
 * 16384; any other n makes the call do nothing.
 *   forward  X[k] = sum over m of x[m] e^(-2 pi i k m / n), not normalised;
 *   inverse  the same sum with e^(+2 pi i k m / n), divided by n,
 * so an inverse after a forward gives the data back.
 * FFT tables: the sines and cosines of one length, built by cfftprep and
 * released by cfftfree. cfft builds tables of its own when told to or when
 * none are prepared for its n. After completing a transform, cfft with own
 * tables, cfft2d, cfft2df, ctsmooth_wotf, ctsmooth_wtf and ctinr2dfilter
 * leave no tables prepared.
 * Transfer functions H: 512 x 512 floats, row-major, in FFT order: element
 * (row r, column c) belongs to fy = fold(r) / (512 pixelSize) and
 * fx = fold(c) / (512 pixelSize) in cycles per mm, where fold(i) = i up to
 * 256 and 512 - i above, and pixelSize is in mm; f = sqrt(fx^2 + fy^2).
 * Smoothing a 512 x 512 slice: dst = nearest(real part of the 2D inverse of
 * (2D forward of src) * H), low 16 bits; src is read whole before dst is
 * written, so they may be the same slice.
 * All run on the calling thread. */

/* Direction of cfft, cfft2d and cfft2df. The value names the direction, not
 * the sign of the exponent: lumvek's forward (1) uses e^(-2 pi i k m / n), so
 * where other FFT libraries pass -1 for forward, lumvek passes 1, and its
 * inverse (-1) divides by n. */
#define LUMVEK_FFT_FORWARD 1
#define LUMVEK_FFT_INVERSE (-1)

/* Tables of cfft: the ones of cfftprep, or its own for this call. */
#define LUMVEK_FFT_PREPARED_TABLES 0
#define LUMVEK_FFT_OWN_TABLES 1

/* Shapes of cttf, ctsmooth_tfset and ctsmooth_wtf, with cutoff in cycles
 * per mm, order the steepness, K = (-ln 0.1)^(1/order) / cutoff and
 * g = f^2 K^2 when order is exactly 2, (f K)^order otherwise. */
#define LUMVEK_TF_LOW_PASS 0    /* exp(-g): 1 at f = 0, 0.1 at cutoff; Gaussian for order 2 */
#define LUMVEK_TF_BUTTERWORTH 1 /* 1 / (1 + (f / cutoff)^order) */
#define LUMVEK_TF_ALL_PASS 2    /* 1 everywhere */
#define LUMVEK_TF_HIGH_PASS 3   /* 1 - exp(-g) */

/* Builds the FFT tables for length n, replacing any earlier set. An n that
 * isn't a power of two, or a lack of memory, keeps the earlier set. */
LUMVEK_API void cfftprep(int32_t n);

/* Transforms re[0 .. n-1], im[0 .. n-1] in place. direction (16-bit):
 * LUMVEK_FFT_INVERSE for the inverse, any other value the forward transform.
 * ownTables (16-bit): LUMVEK_FFT_OWN_TABLES builds tables for this call and
 * afterwards releases the prepared ones too; any other value uses the
 * prepared tables when they are for this n, else builds tables for this
 * call and keeps the prepared ones. n = 1 leaves the data as they are. */
LUMVEK_API void cfft(float* re, float* im, int32_t n, int32_t direction, int32_t ownTables);

/* Releases the FFT tables; nothing to do when there are none. */
LUMVEK_API void cfftfree(void);

/* 2D transform in place of the n x n image in re and im (row-major, n*n
 * floats each): every row, then every column; the inverse divides by n per
 * line, n*n in all. direction (16-bit) LUMVEK_FFT_FORWARD first loads
 * re = src[0 .. n*n-1] and im = 0; LUMVEK_FFT_INVERSE transforms re/im back;
 * any other value transforms re/im forward as they are. Only the forward
 * direction reads src. Leaves no FFT tables prepared. */
LUMVEK_API void cfft2d(const int16_t* src, float* re, float* im, int32_t n, int32_t direction);

/* As cfft2d on re/im as they are: LUMVEK_FFT_INVERSE the inverse, any other
 * direction the forward transform. Leaves no FFT tables prepared. */
LUMVEK_API void cfft2df(float* re, float* im, int32_t n, int32_t direction);

/* Fills transfer[0 .. 262143] with the shape type (16-bit, LUMVEK_TF_...) for
 * pixels of pixelSize mm. A type outside 0 .. 3 writes nothing. */
LUMVEK_API void cttf(float* transfer, float pixelSize, float cutoff, float order, int32_t type);

/* Fills transfer[0 .. 262143] from a radial curve sampled every 0.01 cycles
 * per mm from 0: with x = 100 f, i = trunc(x), t = x - i,
 * H = curve[i] (1 - t) + curve[i + 1] t. The highest f is
 * 0.7071 / pixelSize, so curve must hold 70.72 / pixelSize + 2 floats. */
LUMVEK_API void cttf1d2d(float* transfer, float pixelSize, const float* curve);

/* Sets the process transfer function to what cttf fills, replacing any
 * earlier one. A type outside 0 .. 3 makes it all zero; without memory the
 * earlier one stays. */
LUMVEK_API void ctsmooth_tfset(float pixelSize, float cutoff, float order, int32_t type);

/* Sets the process transfer function to what cttf1d2d fills from curve,
 * replacing any earlier one. */
LUMVEK_API void ctsmooth_tf1dset(float pixelSize, const float* curve);

/* Smooths the slice src into the slice dst with the process transfer
 * function (src[0 .. 262143] to dst[0 .. 262143]). Without one, dst is left
 * as it is. Leaves no FFT tables prepared. */
LUMVEK_API void ctsmooth_wotf(const int16_t* src, int16_t* dst);

/* As ctsmooth_wotf with a transfer function made by cttf for this call only;
 * a type outside 0 .. 3 gives 0 everywhere. Leaves no FFT tables prepared. */
LUMVEK_API void ctsmooth_wtf(const int16_t* src, int16_t* dst, float pixelSize, float cutoff, float order,
                             int32_t type);

/* Releases the process transfer function; nothing to do when there is none. */
LUMVEK_API void ctsmooth_tffree(void);

/* ---- Tag search and system helpers -------------------------------------
 * All run on the calling thread. */

/* Returns the first offset pos = start, start + 2, ... up to and including
 * limit at which the bytes buf[pos .. pos+3], read as a little-endian 32-bit
 * word, equal key; when there is none, the first such offset past limit
 * (limit + 1 or limit + 2). Reads up to buf[limit + 3]; a start above limit
 * is returned at once, reading nothing. */
LUMVEK_API int32_t tagposis(const uint8_t* buf, int32_t key, int32_t start, int32_t limit);

/* tagposis from offset 128, where DICOM data start after the preamble. */
LUMVEK_API int32_t tagposi(const uint8_t* buf, int32_t key, int32_t limit);

/* Writes a number identifying this machine to *machineNumber, the same in
 * every call and run: a 32-bit hash of /etc/machine-id (else of
 * /var/lib/dbus/machine-id). 9999 means neither could be read. */
LUMVEK_API void volumeget(uint32_t* machineNumber);

/* The side buffer: one block of 16-bit values kept by the library, seen as
 * slots of width x height values, slot k starting at element
 * width * height * k. */

/* Replaces the side buffer by a zero-filled one of width * height * slots
 * values, releasing the earlier one first, and returns its address (valid
 * until the next shortmalloc or shortfree; not for the caller to free). A
 * product of zero or less, one too large, or a failed allocation returns
 * NULL and leaves no buffer. */
LUMVEK_API int16_t* shortmalloc(int32_t width, int32_t height, int32_t slots);

/* Releases the side buffer; nothing to do when there is none. */
LUMVEK_API void shortfree(void);

/* Copies src[0 .. width*height-1] into slot slotIndex of the side buffer.
 * Nothing happens without a buffer, when width * height <= 0 or
 * slotIndex < 0, or when the slot doesn't lie wholly inside the buffer. */
LUMVEK_API void memtrn(const int16_t* src, int32_t width, int32_t height, int32_t slotIndex);

/* Copies slot slotIndex of the side buffer into dst[0 .. width*height-1];
 * the same cases as in memtrn do nothing. */
LUMVEK_API void memdown(int16_t* dst, int32_t width, int32_t height, int32_t slotIndex);

/* CRC-16/ARC of buf[0 .. n-1] (reflected polynomial 0xA001, initial value 0,
 * no final xor), 0 .. 65535; n <= 0 gives 0. "123456789" gives 0xBB3D. */
LUMVEK_API int32_t CRC16(const uint8_t* buf, int32_t n);

/* *out = *in. */
LUMVEK_API void lumvektst(int32_t* out, const int32_t* in);

/* *out = truncate(*in), low 16 bits. */
LUMVEK_API void lumvektst2(int16_t* out, const float* in);

/* ---- 3D and 2D box, along-edge and vector-analysis filters -------------
 * Each call computes one 512 x 512 output slice; the caller loops over z.
 * Volume arguments (in, guide, vol) point at slice 0 of n slices and z is
 * the slice to compute; 2D members take single slices. Every neighbour
 * index clamps (columns and rows to 0 .. 511, slices to 0 .. n-1), so
 * border voxels reuse the edge voxel. Outputs must not overlap any input.
 * Gaussian radius: radius(sigma) = trunc(sigma * 1.6666666 + 0.499), so 1.2
 * gives 2, 1.8 gives 3, anything below about 0.3 (also negative or NaN)
 * gives 0. Gaussian weights are exp(-d^2 / sigma^2) per axis (no factor 2),
 * multiplied over the axes, with the centre weight exactly 1 even for sigma
 * 0, so a weight sum is never 0. A radius below 0 counts as 0; above 4096,
 * the call writes nothing. */

/* Gaussian enhancement on the calling thread: with avg the Gaussian mean of
 * in over radius(sigmaXY) in x and y and rz = radius(sigmaZ) in z around
 * (x, y, z), out = nearest(in(x, y, z) * enhance - avg * (1 - enhance)), low
 * 16 bits. Reads slices z-rz .. z+rz of in, writes the slice at out. */
LUMVEK_API void boxfilter3dct(int16_t* out, const int16_t* in, int32_t n, float sigmaXY, float sigmaZ, float enhance,
                              int32_t z);

/* 8 workers. As boxfilter3dct, but out = nearest(avg * (1 - enhance) +
 * in(x, y, z) * enhance) clamped to -32768 .. 32767: 0 smooths, 1 returns
 * the input, above 1 sharpens (an edge sharpened past the 16-bit range
 * stays at the end it overshot). With both radii 0, out is a copy of slice
 * z. */
LUMVEK_API void boxfilter3dctms(int16_t* out, const int16_t* in, int32_t n, float sigmaXY, float sigmaZ, float enhance,
                                int32_t z);

/* 8 workers. As boxfilter3dctms along z only (radius(sigmaZ)); weights of
 * 0.005 or less are left out of both sums. */
LUMVEK_API void boxfilter3dctzms(int16_t* out, const int16_t* in, int32_t n, float sigmaZ, float enhance, int32_t z);

/* 8 workers. As boxfilter3dctms in 2D (radius(sigma) in x and y) on the
 * slice in: reads in[0 .. 262143], writes out[0 .. 262143]. */
LUMVEK_API void boxfilter2dctms(int16_t* out, const int16_t* in, float sigma, float enhance);

/* 8 workers. out = in - (the boxfilter2dctms result), clamped to
 * -32768 .. 32767: enhance 0 gives the high-pass in - avg; radius 0 gives 0. */
LUMVEK_API void boxfilter2dctivms(int16_t* out, const int16_t* in, float sigma, float enhance);

/* 8 workers, two batches; img in place. With t1 = boxfilter2dctms(img,
 * sigma1, enhance) (clamped as that export is) and t2 = img -
 * boxfilter2dctms(img, sigma2, 0):
 * img = truncate(t1 (1 - enhance) + img enhance + t2 gain), low 16 bits.
 * Only the original img is read. */
LUMVEK_API void boxfilter2dctneoms(int16_t* img, float sigma1, float sigma2, float enhance, float gain);

/* Smoothed gradient of slice z of vol, on the calling thread. With weights
 * W(a, b) = exp(-a^2/s^2) exp(-b^2/s^2), s = 0.6 radius, a, b = -radius ..
 * radius, scaled to add up to 1, and d = distance:
 *   gx = sum W(dz, dy) vol(x+d, y+dy, z+dz) - sum W(dz, dy) vol(x-d, y+dy, z+dz)
 *   gy = sum W(dz, dx) vol(x+dx, y+d, z+dz) - sum W(dz, dx) vol(x+dx, y-d, z+dz)
 *   gz = sum W(dy, dx) vol(x+dx, y+dy, z+d) - sum W(dy, dx) vol(x+dx, y+dy, z-d)
 * not divided by 2d (a ramp of 1 per column gives gx = 4 for d = 2). Writes
 * gx, gy, gz[0 .. 262143] at y * 512 + x; reads slices z-radius .. z+radius
 * and z-d, z+d of vol. width and height are ignored (512). */
LUMVEK_API void vecana3d(float* gx, float* gy, float* gz, const int16_t* vol, int32_t width, int32_t height, int32_t n,
                         int32_t distance, int32_t radius, int32_t z);

/* 8 workers. As vecana3d. */
LUMVEK_API void vecana3dms(float* gx, float* gy, float* gz, const int16_t* vol, int32_t width, int32_t height,
                           int32_t n, int32_t distance, int32_t radius, int32_t z);

/* Along-edge filters. out, in and guide are volumes of n slices; only slice
 * z of out is written (out[z*262144 .. z*262144 + 262143]); slices
 * z-radius .. z+radius of in and guide are read. gx, gy, gz are the gradient
 * of slice z as vecana3dms writes it (262144 floats each, read at the same
 * pixel index). width and height are ignored (512). For pixel p, g its
 * gradient and each offset o = (dx, dy, dz) with components in
 * -radius .. radius, in that order (dz slowest), q = p + o:
 *   D^2 = dx^2 + dy^2 + dz^2, s = 0.6 radius;
 *   t = (g . o) / |g| where |g| > 0.1, else dz (across the edge, in voxels);
 *   S = exp(-k / 1000), k = trunc(1000 (D^2/s2^2 + t^2/s1^2)) limited to
 *     0 .. 19999 (NaN gives 0), with the member's scales s1 (across the
 *     edge) and s2 (distance);
 *   R = exp(-m^2 / B^2), m = |guide(p) - guide(q)| limited to 999; R = 1 at
 *     m = 0, also for B = 0;
 *   out(p) = half-up(sum w in(q) / sum w), clamped to -32768 .. 32767: an
 *     exact negative mean moves up by one (-1000 gives -999).
 * The centre always weighs 1. The filters use AVX-512 or AVX2 where the
 * processor has them; LUMVEK_ISA=avx2 or LUMVEK_ISA=baseline in the
 * environment holds them back to that level, with the same results. */

/* 8 workers. s1 = alongSigma (the scale along the gradient, i.e. across the
 * edge), s2 = s, B = rangeSigma; w = S R; offsets with S <= 0.01 are left
 * out. */
LUMVEK_API void alongblfilter3dms(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx,
                                  const float* gy, const float* gz, int32_t width, int32_t height, int32_t n,
                                  int32_t radius, float alongSigma, float rangeSigma, int32_t z);

/* 8 workers. No guide: s1 = 0.6, s2 = s, w = S with the index rounded,
 * k = trunc(1000 (D^2/s^2 + t^2/0.36) + 0.5) (limited alike); no offset is
 * left out. */
LUMVEK_API void alongfilter3dms(int16_t* out, const int16_t* in, const float* gx, const float* gy, const float* gz,
                                int32_t width, int32_t height, int32_t n, int32_t radius, int32_t z);

/* prm of the adaptive along-edge filter: 10 floats, by index. |g| and the
 * edge levels are in CT numbers (the gradient's unit), slab and spread radius
 * in voxels. Entries 2, 3 and 4 are not read. */
#define LUMVEK_AL1_EDGE_LOW 0         /* E1: |g| at which the edge strength e starts rising from 0 */
#define LUMVEK_AL1_EDGE_HIGH 1        /* E2: |g| at which e reaches 1 */
#define LUMVEK_AL1_RANGE_SIGMA 5      /* B: scale of the range weight, CT numbers */
#define LUMVEK_AL1_SLAB_HALF_WIDTH 6  /* T: half-thickness of the slab -T <= t <= T */
#define LUMVEK_AL1_SPREAD_RADIUS 7    /* R2, truncated and limited to 0 .. 4 */
#define LUMVEK_AL1_SPREAD_LOW 8       /* Q1: spread ratio sd/|g| at which u starts rising from 0 */
#define LUMVEK_AL1_SPREAD_HIGH 9      /* Q2: ratio at which u reaches 1 */
#define LUMVEK_AL1_PARAM_COUNT 10     /* floats prm must hold */

/* 8 workers. Scales adapted per pixel from prm (LUMVEK_AL1_...), each ratio
 * limited to 0 .. 1 with NaN giving 0: e = (|g| - E1) / (E2 - E1);
 * s1 = (1 - e) s + 0.6 e; sd = standard deviation (divisor: count) of guide
 * over the offsets within R2 with -T <= t <= T; u = (sd/|g| - Q1) / (Q2 - Q1);
 * e2 = e^2 u; s2 = (1 - e2) s + 0.6 e2; w = S R; no offset is left out. Also
 * reads guide slices z-R2 .. z+R2. */
LUMVEK_API void boxblfilter3dal1ms(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx,
                                   const float* gy, const float* gz, int32_t width, int32_t height, int32_t n,
                                   int32_t radius, const float* prm, int32_t z);

/* As boxblfilter3dal1ms, same output, on the calling thread. */
LUMVEK_API void boxblfilter3dal1(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx,
                                 const float* gy, const float* gz, int32_t width, int32_t height, int32_t n,
                                 int32_t radius, const float* prm, int32_t z);

/* ---- z interpolation, 2D smoothing and texture mixing ------------------
 * All run on the calling thread. Slices are 512 x 512 (262144 elements)
 * except in zintp; results are stored nearest, clamped to -32768 .. 32767
 * (an overshoot past the range stays at the end it overshot), except in
 * ctorgmix: low 16 bits. */

/* Catmull-Rom interpolation along z of a volume of n slices of width x height
 * values (slice k at in + k*width*height), spacing apart: out gets the slice
 * at distance position from slice 0 (position and spacing in one unit). With
 * t = position / spacing, i = trunc(t), f = t - i and p0 .. p3 the samples at
 * slices i-1 .. i+2 (clamped to 0 .. n-1):
 *   out = ((a f + b) f + c) f + p1, a = 1.5 p1 - 0.5 p0 - 1.5 p2 + 0.5 p3,
 *   b = p0 - 2.5 p1 + 2 p2 - 0.5 p3, c = 0.5 (p2 - p0);
 * t = k gives slice k, t >= n the last slice, t <= -2 the first. Writes
 * out[0 .. width*height-1]. Nothing when width, height or n is <= 0; a NaN t
 * (position = spacing = 0) gives 0 everywhere. */
LUMVEK_API void zintp(int16_t* out, const int16_t* in, int32_t width, int32_t height, int32_t n, float spacing,
                      float position);

/* Soft field-of-view mask on the slice img, in place: with
 * d = (255.5 - distance of (x, y) from (255.5, 255.5)) / max(1, fadeWidth)
 * limited to 0 .. 1, u = 1 - d and w = 3u^2 - 2u^3, img = img - w (img + air),
 * air being 0 when ctOffset != 0 (stored 0 is air) and 1000 when ctOffset
 * is 0 (CT numbers). So outside the circle of radius 255.5 values become 0
 * or -1000, fading to no change within fadeWidth pixels inside it.
 * fadeWidth below 1 (or NaN) acts as 1. */
LUMVEK_API void circleblur2dct(int16_t* img, int32_t ctOffset, float fadeWidth);

/* Smooths the slice in into the slice out (they may be the same) by the
 * transfer function, with q = f^2 in (cycles per mm)^2 (f as in the FFT
 * family, pixelSize in mm):
 *   H = low + (1 - low) exp(-q / lowScale) + high (1 - exp(-q / highScale))^4,
 * 1 at f = 0, tending to low + high at high frequencies (low 1 with high 0
 * returns the input). Leaves no FFT tables prepared. */
LUMVEK_API void ctinr2dfilter(int16_t* out, const int16_t* in, float pixelSize, float lowScale, float low,
                              float highScale, float high);

/* Texture mixing in place: img = highPass ratio + img (1 - ratio) +
 * lowPass ratio (all three 512 x 512 slices). */
LUMVEK_API void ctorgmul(int16_t* img, const int16_t* highPass, const int16_t* lowPass, float ratio);

/* Band blend in place: with t = ref, rise = (t - 624) * 0.0028571428 and
 * fall = 1 - (t - 1224) * 0.0025, each limited to 0 .. 1, and w = rise * fall:
 * dst = (1 - w) dst + w src. w grows from 0 at 624 to 1 at 974, stays 1 up
 * to 1224 and drops to 0 at 1624 (stored soft-tissue values with a CT offset
 * of 1024). */
LUMVEK_API void ctorgmix(int16_t* dst, const int16_t* src, const int16_t* ref);

/* ---- Bilateral, median and noise kernels -------------------------------- */
/* Cross bilateral filters. Each output pixel is a weighted mean of the values
 * V around it, the weights read from a guide G (V and G may be the same
 * array; out must overlap neither):
 *   out = nearest(sum V(q) w(q) g(q) / sum w(q) g(q))
 * over the neighbours q = (x + dx, y + dy, z + dz) of p = (x, y, z), with
 *   w = exp(-dx^2/s^2) exp(-dy^2/s^2) exp(-dz^2/sz^2), the spatial weight
 *       (no factor 2; the centre weighs 1), dx, dy, dz within the radii
 *       radius(sigma) = trunc(sigma * 1.6666666 + 0.499), as the box filters;
 *   g = exp(-d^2/sigmaR^2), d = min(|G(q) - G(p)|, 4000), the range weight
 *       (CT numbers; sigmaR 0 keeps only neighbours equal to the centre in
 *       G, a very large sigmaR gives the plain Gaussian mean).
 * Neighbour indices clamp into the volume unless a contract says otherwise.
 * The denominator is never below 1 (the centre weighs 1 x 1). A radius below
 * 0 counts as 0 (with all radii 0 the output is V itself); a radius above
 * 4096, or a sigma that is NaN or infinite, makes the call write nothing. */

/* 8 workers. Slice z of the 512 x 512 x n volumes V and G into the slice out
 * (262144 values): s = sigmaXY for x and y, sz = sigmaZ; neighbours with
 * w <= 0.01 are left out. Reads slices z-rz .. z+rz (clamped to 0 .. n-1) of
 * V and G. Writes nothing unless 0 <= z < n. */
LUMVEK_API void bilate3dctms(const int16_t* values, const int16_t* guide, int16_t* out, int32_t n, float sigmaR,
                             float sigmaXY, float sigmaZ, int32_t z);

/* As bilate3dctms on the calling thread, leaving out only neighbours with
 * w <= 0 (so it matches bilate3dctms wherever no weight lies in 0 .. 0.01). */
LUMVEK_API void bilate3dcti(const int16_t* values, const int16_t* guide, int16_t* out, int32_t n, float sigmaR,
                            float sigmaXY, float sigmaZ, int32_t z);

/* 8 workers, by rows: each takes height/8 rows, the last also the rows left
 * over. 2D over the width x height images V, G and out (rows width apart,
 * width * height values each), s = sigmaS, neighbours with w <= 0 left out,
 * stored half-up, not nearest (a mean of -1000 gives -999). Nothing when
 * width or height is < 1. */
LUMVEK_API void bilate2dms(const int16_t* values, const int16_t* guide, int16_t* out, int32_t width, int32_t height,
                           float sigmaR, float sigmaS);

/* 2D over 512 x 512 slices, calling thread, without clamping: dx within
 * r = radius(sigmaS), dy within r' = radius(sigmaRow), all weights from
 * s = sigmaS; neighbours with w <= 0.01 left out. Only pixels whose window
 * lies inside the slice are written: the border of r columns and r' rows of
 * out keeps what it held (nothing is written when r or r' >= 256). */
LUMVEK_API void bilate2dct(const int16_t* values, const int16_t* guide, int16_t* out, float sigmaR, float sigmaS,
                           float sigmaRow);

/* As bilate2dct with r' = r = radius(sigmaS); `unused` is not read. */
LUMVEK_API void bilate2dcts(const int16_t* values, const int16_t* guide, int16_t* out, float sigmaR, float unused,
                            float sigmaS);

/* Three-point median along each row of the width x height image in (rows
 * width apart): out[x] = median(in[x-1], in[x], in[x+1]), indices clamped to
 * the row, so the ends repeat their edge value (5 1 9 gives 5 5 9). Rows
 * don't mix. out may be in itself (in place), else the two must not
 * overlap. Nothing when width or height is < 1. */
LUMVEK_API void mediantd(int16_t* out, const int16_t* in, int32_t width, int32_t height);

/* Gaussian noise. N is the sum of twelve uniform values u / 32767,
 * u = 0 .. 32767 (the top 15 bits of the C library's rand()), minus 6:
 * mean 0, SD 1, limited to -6 .. 6. Values are drawn row by row. The
 * generator is the C library's, one per process (rand/srand): these calls
 * must not run on two threads at once, and a caller's srand(seed) makes the
 * next images repeatable. Nothing is written when width or height is < 1. */

/* Seeds the generator with the current time in seconds. Without it the
 * sequence is the C library's default one. */
LUMVEK_API void randominit(void);

/* a[i] = nearest(N sd + mean), its low 16 bits (70000 gives 4464; NaN gives
 * 0), for i = 0 .. width*height-1. */
LUMVEK_API void randomimg(uint16_t* a, int32_t width, int32_t height, float sd, float mean);

/* a[offset + y * stride + x] = N sd + mean for y = 0 .. height-1,
 * x = 0 .. width-1: a region inside a larger float image. Note the argument
 * order. */
LUMVEK_API void randomimgf(float* a, int32_t stride, int32_t height, int32_t offset, int32_t width, float sd,
                           float mean);

/* a[i] += nearest(N sd + mean), for i = 0 .. width*height-1. */
LUMVEK_API void randomadd(float* a, int32_t width, int32_t height, float sd, float mean);

/* a[i] = truncate(a[i] + N sd + 0.5), low 16 bits, for i = 0 .. width*height-1.
 * With sd 0 values >= 0 stay and negative ones move up by one (-3 + 0.5
 * truncates to -2). */
LUMVEK_API void randomaddsi(int16_t* a, int32_t width, int32_t height, float sd);

/* ---- Resampling ---------------------------------------------------------- */
/* Cubic resampling and a 2 x 2 reduction of row-major images without row
 * gaps (pixel (x, y) of an image w wide is element y * w + x); each output
 * is stored with a row stride of its own width. out must not overlap in.
 * All run on the calling thread; a size of 0 or less writes nothing.
 * The cubic value at a source position (x, y), as in ct2trn2xcubic: with
 * ix = trunc(x), fx = x - ix and iy, fy alike, the 4 x 4 neighbours
 * ix-1 .. ix+2, iy-1 .. iy+2, their indices clamped into the source (the
 * edge pixel repeats), are interpolated along each row at fx and the four
 * results down the column at fy, by
 *   ((a t + b) t + c) t + p1, a = -0.5 p0 + 1.5 p1 - 1.5 p2 + 0.5 p3,
 *   b = p0 - 2.5 p1 + 2 p2 - 0.5 p3, c = 0.5 p2 - 0.5 p0
 * for samples p0 .. p3 and fraction t. A position on a pixel gives that
 * pixel exactly. 16-bit results are stored half-up (low 16 bits: a cubic
 * overshoot past 32767 wraps). */

/* Magnifies the 512 x 512 float slice in by mag about its point
 * (256 + cx, 256 + cy), which lands on output pixel (256, 256): out(c, r) is
 * the cubic value at x = (c - 256) / mag + 256 + cx,
 * y = (r - 256) / mag + 256 + cy (cx, cy in pixels). mag above 1 enlarges,
 * below 1 shrinks, negative also turns the image by 180 degrees; mag 1 with
 * cx = cy = 0 copies in. A pixel whose x or y truncates outside 0 .. 511
 * (x <= -1 or x >= 512) is not written; mag 0 or NaN writes nothing.
 * Reads in[0 .. 262143], writes within out[0 .. 262143]. */
LUMVEK_API void ctbicubic(float* out, const float* in, float mag, float cx, float cy);

/* As ctbicubic on a 16-bit slice, results half-up: with mag 1, cx = 100 and
 * cy = 0, out(c, r) = in(c + 100, r) for c <= 411 and columns 412 .. 511
 * are not written. */
LUMVEK_API void ctbicubicsi(int16_t* out, const int16_t* in, float mag, float cx, float cy);

/* Resizes the nIn x nIn 16-bit image in to nOut x nOut at out, corners
 * aligned: out(c, r) is the cubic value at (c s, r s) with
 * s = (nIn - 1) / (nOut - 1), so the first and last pixels of a row sample
 * the first and last source pixels; nOut 1 samples pixel (0, 0), and
 * nOut = nIn copies in. Results half-up. Reads in[0 .. nIn*nIn-1], writes
 * out[0 .. nOut*nOut-1]. */
LUMVEK_API void ctbicubic2si(int16_t* out, const int16_t* in, int32_t nOut, int32_t nIn);

/* Resizes the inW x inH float image in to outW x outH at out with one step
 * for both axes, taken from the widths: out(c, r) is the cubic value at
 * (c s, min(r s, inH - 1)) with s = (inW - 1) / (outW - 1) (0 when outW is
 * 1), so rows past the source's last (when the heights don't scale like the
 * widths) repeat it. Reads in[0 .. inW*inH-1], writes out[0 .. outW*outH-1]. */
LUMVEK_API void ctcubicmag(float* out, const float* in, int32_t outW, int32_t outH, int32_t inW, int32_t inH);

/* Magnifies the W x H 16-bit image in by mag from its top-left corner to
 * oW x oH at out, oW = trunc(W * mag), oH = trunc(H * mag): out(c, r) is the
 * cubic value at (c / mag, r / mag), half-up. A mag that leaves a side
 * below 1 (0, negative, NaN or too small) writes nothing. Reads
 * in[0 .. W*H-1], writes out[0 .. oW*oH-1]. */
LUMVEK_API void imgcubicmag(int16_t* out, const int16_t* in, int32_t W, int32_t H, float mag);

/* Halves the W x H 16-bit image in to (W/2) x (H/2) at out: out(c, r) =
 * half-up((sum of in at columns 2c, 2c+1 of rows 2r, 2r+1) * 0.25), so the
 * block 1, 2, 3, 4 gives 3 and -1, -2, -3, -4 gives -2. An odd last column
 * or row is left out. Reads in[0 .. W*2*(H/2)-1], writes
 * out[0 .. (W/2)*(H/2)-1]. */
LUMVEK_API void imghalf(int16_t* out, const int16_t* in, int32_t W, int32_t H);

/* ---- Non-local means ----------------------------------------------------- */
/* Non-local means on 8 workers. Each pixel p becomes the weighted mean of
 * the candidates q in a search window around it (offsets -searchRadius ..
 * searchRadius per axis, p itself included), each weighted by how closely
 * the patch around q (offsets -patchRadius .. patchRadius per axis) matches
 * the patch around p:
 *   w(q) = exp(-max(d(p, q) - 2 sigma^2, 0) / h^2),
 *   d    = the mean over the patch of (value at p + o - value at q + o)^2,
 *   out  = nearest(sum w(q) value(q) / sum w(q)), clamped to 16 bits.
 * h (the strength) and sigma (the SD of the noise, whose patches d alone
 * would give 2 sigma^2 apart) are in the slice's units, CT numbers. The
 * pixel itself weighs 1, so the sum of the weights is never below 1. Every
 * index clamps into the slice (and volume): border pixels repeat. h at or
 * below 0 keeps only candidates with d <= 2 sigma^2 (with sigma 0 only
 * identical patches, so the slice comes back as it is); a negative radius or
 * sigma counts as 0.
 * A radius above 16, or a NaN or infinite h or sigma, writes nothing. The
 * inputs are copied before anything is written, so out may be the input
 * slice. Cost grows with the search window times the patch radius: on one
 * slice, search 7 and patch 1 take a fraction of a second. */

/* Denoises the slice in into the slice out with square patches (reads
 * in[0 .. 262143], writes out[0 .. 262143]). */
LUMVEK_API void nlm2dct(int16_t* out, const int16_t* in, int32_t searchRadius, int32_t patchRadius, float h,
                        float sigma);

/* Denoises slice z of the volume vol (n slices) into the slice out with
 * cubic patches and a cubic search window (the same radii along z), sigma 0.
 * Reads slices z - searchRadius - patchRadius .. z + searchRadius +
 * patchRadius of vol (clamped to 0 .. n-1), writes out[0 .. 262143].
 * Nothing unless 0 <= z < n. The search window holds (2 searchRadius + 1)^3
 * candidates, so keep searchRadius small (2 or 3). */
LUMVEK_API void nlm3dct(int16_t* out, const int16_t* vol, int32_t n, int32_t z, int32_t searchRadius,
                        int32_t patchRadius, float h);

/* ---- Projection and streaks ---------------------------------------------- */
/* Parallel-beam projection of 512 x 512 slices and the streak toolkit.
 * A sinogram is views rows of 512 float bins (bin i of view k is element
 * k * 512 + i). View k of `views` looks along theta = k * 180 / views
 * degrees; pixel (x, y) meets the detector at
 *   t = (x - 255.5) cos(theta) + (y - 255.5) sin(theta) + 255.5
 * bins, bin i being centred on t = i and one pixel wide: view 0 sums the
 * slice's columns (bin i = column i), a view at 90 degrees its rows. The
 * bins cover the circle inscribed in the slice; outside the slice the image
 * is 0. A projection value is the line integral of the slice's stored values
 * in units of pixelSize (pass the pixel size in mm for integrals in
 * value x mm, 1 for pixel lengths). Rays are followed row by row (or column
 * by column), each step interpolating linearly between the two pixels it
 * passes between and counting 1 / max(|cos|, |sin|) pixels of path.
 * Nothing is written when views (or a count) is 0 or less, pixelSize is not
 * above 0, or a float argument is NaN or infinite. */

/* 8 workers (split by views). Projects the slice into sino
 * (views * 512 floats). */
LUMVEK_API void fpj(float* sino, const int16_t* slice, int32_t views, float pixelSize);

/* 8 workers. As fpj with 720 views and two rays per bin, at t = i - 0.25 and
 * i + 0.25, averaged: a finer model for making "measured" data, so that a
 * reconstruction with fpj/bpj does not meet its own model. Writes 720 * 512
 * floats at sino. */
LUMVEK_API void fpjbig(float* sino, const int16_t* slice, float pixelSize);

/* 8 workers (by rows of the image). The adjoint of fpj: image = A^T sino
 * for the same views and pixelSize, so that for any slice x and sinogram y,
 * <fpj(x), y> = <x, bpj(y)> up to float rounding. Each pixel gathers the
 * two bins next to its t in every view, weighted by the triangle
 * max(0, 1 - |t - i| / m) / m, m = max(|cos|, |sin|), times pixelSize.
 * Reads views * 512 floats at sino, writes the 512 x 512 float image. */
LUMVEK_API void bpj(float* image, const float* sino, int32_t views, float pixelSize);

/* 8 workers. As fpj for the mask of the slice's high-density pixels (1 where
 * the stored value is above threshold, else 0): each bin holds the path
 * length of its ray through them, in units of pixelSize (mm for metal path
 * lengths). */
LUMVEK_API void strkfpj(float* sino, const int16_t* slice, int32_t views, int32_t threshold, float pixelSize);

/* 8 workers (by rows). Streak-risk map from a strkfpj sinogram maskSino
 * (views * 512 floats): each ray's share of corrupted data
 *   r(L) = (L - start) / width limited to 0 .. 1 (a width of 0 or less makes
 *          it a step: 1 where L > start, else 0),
 * L its path length through dense pixels (maskSino's units), is back
 * projected by linear interpolation at t and averaged over the views:
 *   risk(x, y) = scale * (1/views) sum over views of r interpolated at t.
 * With scale 1, a pixel inside the dense pixels gets about 1 and a pixel
 * whose rays miss them in every view 0; a pixel at distance d from a dense
 * disc of radius R gets about 1 - (2/pi) arccos(R/d) with a step at 0.
 * Writes the 512 x 512 float image risk. */
LUMVEK_API void strkrmap(float* risk, const float* maskSino, int32_t views, float start, float width, float scale);

/* 4 workers (each a quarter of the count). Weighted sum of up to four float
 * arrays: out[i] = w1 src1[i] + w2 src2[i] + w3 src3[i] + w4 src4[i], in
 * that order, i = 0 .. count-1. A NULL source is left out (and not read);
 * with none out is 0. out may be one of the sources. Nothing when count <= 0
 * or the weight of a source is NaN or infinite. */
LUMVEK_API void strkwaitsum(float* out, int32_t count, const float* src1, float w1, const float* src2, float w2,
                            const float* src3, float w3, const float* src4, float w4);

/* Z weighting on the calling thread: the triangle-weighted mean of the n
 * slices of vol about their middle ((n - 1) / 2), as a thicker slice:
 *   out = nearest(sum w_k slice_k / sum w_k), w_k = max(0, 1 - |k - (n-1)/2| / fwhm),
 * fwhm in slices (the full width at half maximum of the triangle); an fwhm
 * below 1 counts as 1 (an odd n gives the middle slice, an even n the mean of
 * the two middle ones). To weight about slice z of a larger volume, pass
 * vol + (z - h) * 262144 with n = 2h + 1. Reads only slices with w_k > 0,
 * writes out[0 .. 262143]; out may be one of the slices. Nothing when n <= 0
 * or fwhm is NaN or infinite. */
LUMVEK_API void ctzwait(int16_t* out, const int16_t* vol, int32_t n, float fwhm);

/* 4 workers (each a quarter of the count). Log transform of measured
 * intensities into projection values:
 *   out[i] = scale * (ln(i0) - ln(max(in[i], floorCount))), i = 0 .. count-1,
 * so in = i0 gives 0 and in = i0 / e gives scale; counts below floorCount
 * (and NaN) are taken as floorCount, which bounds photon-starved rays. out
 * may be in. Nothing when count <= 0, i0 or floorCount is not above 0, or
 * i0, floorCount or scale is NaN or infinite. */
LUMVEK_API void fpdlogms(float* out, const float* in, int32_t count, float i0, float floorCount, float scale);

/* ---- Magnification, rotation and circular blur --------------------------- */
/* All on the calling thread. Pixel centres sit at integer coordinates,
 * (0, 0) being the first pixel of the slice. Bilinear samples at a position
 * take the four pixels around it; positions beyond the slice take the
 * nearest border pixels' values (indices clamp; a coordinate that overflows
 * to NaN counts as 0), and a position on a pixel gives that pixel exactly. Results are stored nearest, clamped to 16 bits.
 * Nothing is written when a float argument is NaN or infinite. */

/* Affine resampling: out is outSize x outSize (rows outSize apart), and
 * out(x, y) is the bilinear sample of the slice in at
 *   (a x + b y + c, d x + e y + f),
 * the matrix mapping output pixels to input positions (so it is never
 * inverted: a zero magnification samples one point everywhere). The
 * identity (1, 0, 0, 0, 1, 0) copies in; a 2x zoom of the 256 x 256 region
 * from (128, 128) onto 512 x 512 is (0.5, 0, 127.75, 0, 0.5, 127.75). Reads
 * in[0 .. 262143], writes out[0 .. outSize*outSize-1]. Nothing when
 * outSize <= 0. */
LUMVEK_API void ctmatrixmag(int16_t* out, const int16_t* in, int32_t outSize, float a, float b, float c, float d,
                            float e, float f);

/* Turns the slice in by `degrees` counter-clockwise as seen on screen (rows
 * run down) about (cx, cy) into the slice out: out(x, y) is the bilinear
 * sample at (cx + cos (x - cx) - sin (y - cy), cy + sin (x - cx) + cos (y - cy)).
 * Multiples of 90 degrees are exact: with cx = cy = 255.5, 90 degrees gives
 * out(x, y) = in(511 - y, x). out must not overlap in. */
LUMVEK_API void imgrota(int16_t* out, const int16_t* in, float degrees, float cx, float cy);

/* Disc blur: avg = the mean of in over the offsets with dx^2 + dy^2 <=
 * radius^2 (indices clamp, so border pixels repeat), in pixels, blended as
 * the Gaussian 2D filters: out = nearest(avg (1 - enhance) + in enhance),
 * clamped to 16 bits; enhance 0 blurs, 1 returns in, above 1 sharpens. A
 * flat slice stays exactly flat. A radius below 1 (also negative) leaves
 * only the centre, so out = in; above 4096, nothing is written. Reads
 * in[0 .. 262143], writes out[0 .. 262143]; out may be in. */
LUMVEK_API void ctcircleblur(int16_t* out, const int16_t* in, float radius, float enhance);

#ifdef __cplusplus
}
#endif

#endif
