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
 * Threads. Exports marked "8 workers" split their 512-row output over eight
 * threads, worker k writing rows 64k .. 64k + 63, and return only after all
 * of them have finished; if a thread can't be started or a worker can't get
 * its memory, no worker writes anything. All other exports run on the
 * calling thread only.
 *
 * Process-wide state. Three pieces exist once per process: the FFT tables
 * (cfftprep .. cfftfree), the smoothing transfer function (ctsmooth_tfset ..
 * ctsmooth_tffree) and the side buffer (shortmalloc .. shortfree). They are
 * not locked: no two threads may set up, use or release the same piece at
 * once. Besides cfftprep, cfft and cfftfree, the exports whose contract says
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

/* ---- Resampling ---------------------------------------------------------- */

/* ---- Non-local means ----------------------------------------------------- */

/* ---- Projection and streaks ---------------------------------------------- */

/* ---- Magnification, rotation and circular blur --------------------------- */

#ifdef __cplusplus
}
#endif

#endif
