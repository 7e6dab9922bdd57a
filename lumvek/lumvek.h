/* lumvek: the numeric kernels behind halvex.
 *
 * Plain C functions. Every argument is one 32-bit value (an int32 or a float)
 * or a pointer to the first element to process inside an array the caller
 * owns. Destination first, element count last in the copy and arithmetic
 * family. No export checks its arguments or reports an error: the caller
 * passes arrays large enough for what a call reads and writes.
 *
 * Slices are 512 x 512 signed 16-bit values, row by row; slice z of a volume
 * starts at element z * 262144. Arguments documented as 16-bit travel in a
 * 32-bit word whose low 16 bits are used.
 */
#ifndef LUMVEK_H
#define LUMVEK_H

#include <stdint.h>

#if defined(LUMVEK_BUILDING)
#define LUMVEK_API __attribute__((visibility("default")))
#else
#define LUMVEK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Fill, copy, byte order, arithmetic and type conversion ----------- */
/* Counts of zero or less leave every output untouched. */
LUMVEK_API void var2clr(int16_t* a, int32_t value, int32_t n);
LUMVEK_API void var4clr(int32_t* a, int32_t value, int32_t n);
LUMVEK_API void varclr(uint8_t* a, int32_t value, int32_t n);
LUMVEK_API void vartrn(uint8_t* dst, const uint8_t* src, int32_t nbytes);
LUMVEK_API void var2trn(int16_t* dst, const int16_t* src, int32_t n);
LUMVEK_API void var4trn(int32_t* dst, const int32_t* src, int32_t n);
LUMVEK_API void var4trn_sp(float* dst, const float* src, float k, int32_t n);
LUMVEK_API void var4skiptrn(int32_t* dst, int32_t dstStride, const int32_t* src, int32_t srcStride, int32_t n);
LUMVEK_API int32_t varswap(uint8_t* a, int32_t n);
LUMVEK_API void var4swap(uint8_t* a, int32_t n);
LUMVEK_API void var4add(float* dst, const float* src, int32_t n);
LUMVEK_API void var4sub(float* dst, const float* src, int32_t n);
LUMVEK_API void var4addnz(float* dst, const float* src, int32_t n);
LUMVEK_API void var4mul(float* dst, const float* src, int32_t n);
LUMVEK_API void var4addconst(float* a, float c, int32_t n);
LUMVEK_API void var4mulconst(float* a, float c, int32_t n);
LUMVEK_API void var2addconst(int16_t* a, int32_t c, int32_t n);
LUMVEK_API void var2addconstnz(int16_t* a, int32_t c, int32_t n);
LUMVEK_API void var2mulconst(int16_t* a, float k, int32_t n);
LUMVEK_API void var2idiv(uint16_t* a, int32_t d, int32_t n);
LUMVEK_API void var2imul(int16_t* out, const uint16_t* in, float k);
LUMVEK_API void var2ismulconst(int16_t* a, float k, int32_t n);
LUMVEK_API int32_t var2ito4i(int32_t* dst, const uint16_t* src, int32_t n);
LUMVEK_API void var2tosinglect(float* dst, const uint16_t* src, int32_t n);
LUMVEK_API void varsingleto2ct(int16_t* dst, const float* src, int32_t n);
LUMVEK_API void var2tofloat(float* dst, const int16_t* src, int32_t n);
LUMVEK_API void var2tofloat_sp(float* dst, const int16_t* src, float k, int32_t n);
LUMVEK_API void var2itofloat(float* dst, const uint16_t* src, int32_t n);
LUMVEK_API void varfloatto2(int16_t* dst, const float* src, int32_t n);
LUMVEK_API void vartwosingleave(float* dst, const float* a, const float* b, int32_t n);
LUMVEK_API void vartwo2itofloat(float* dst, const uint16_t* a, const uint16_t* b, int32_t n);
LUMVEK_API void vartwo2istofloat(float* dst, const int16_t* a, const int16_t* b, int32_t n);
LUMVEK_API void vartwo2ito2imulconst(uint16_t* dst, const uint16_t* a, const uint16_t* b, float k, int32_t n);
LUMVEK_API void vartwo2isto2imulconst(int16_t* dst, const int16_t* a, const int16_t* b, float k, int32_t n);
LUMVEK_API void var2log(int16_t* a, int32_t n);
LUMVEK_API void var2lin(int16_t* a, float s, float k, int32_t n);
LUMVEK_API float var4ave(const float* p, int32_t n);
LUMVEK_API void var4moveave(float* p, int32_t span, int32_t w);

/* ---- Display conversion: CT numbers to bottom-up 8-bit bitmaps -------- */
LUMVEK_API void ct2trn(const int16_t* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept);
LUMVEK_API void ct4trn(const float* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept);
LUMVEK_API void ct2bgtrn(uint8_t* dst, const int16_t* src, int32_t n, int32_t ww, int32_t wc, int32_t intercept);
LUMVEK_API void ct4bgtrn(uint8_t* dst, const float* src, int32_t n, int32_t ww, int32_t wc, int32_t intercept);
LUMVEK_API void dr2trn(uint8_t* dst, const int16_t* src, int32_t width, int32_t height, int32_t ww, int32_t wc);
LUMVEK_API void dr4trn(uint8_t* dst, const float* src, int32_t width, int32_t height, int32_t ww, int32_t wc);
LUMVEK_API void dr2strn(uint8_t* dst, const int16_t* src, int32_t width, int32_t height, int32_t ww, int32_t wc);
LUMVEK_API void ct2trn2x(const int16_t* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept, int32_t x0, int32_t y0);
LUMVEK_API void ct2trn2xcubic(const int16_t* src, uint8_t* dst, int32_t ww, int32_t wc, int32_t intercept, int32_t x0,
                              int32_t y0);
LUMVEK_API void li2bmp(uint8_t* dst, const int16_t* src, int32_t srcStride, int32_t unused, int32_t w, int32_t h,
                       int32_t x0, int32_t y0, int32_t outW, int32_t outH, int32_t ww, int32_t wc);

/* ---- FFT and FFT smoothing -------------------------------------------- */
/* Complex data are two float arrays (real, imaginary). Forward transforms
 * are not normalised; inverse ones divide by n. */
LUMVEK_API void cfftprep(int32_t n);
LUMVEK_API void cfft(float* re, float* im, int32_t n, int32_t dir, int32_t own);
LUMVEK_API void cfftfree(void);
LUMVEK_API void cfft2d(const int16_t* src, float* re, float* im, int32_t n, int32_t dir);
LUMVEK_API void cfft2df(float* re, float* im, int32_t n, int32_t dir);
LUMVEK_API void cttf(float* tf, float p, float fc, float order, int32_t type);
LUMVEK_API void cttf1d2d(float* tf, float p, const float* curve);
LUMVEK_API void ctsmooth_tfset(float p, float fc, float order, int32_t type);
LUMVEK_API void ctsmooth_tf1dset(float p, const float* curve);
LUMVEK_API void ctsmooth_wotf(const int16_t* src, int16_t* dst);
LUMVEK_API void ctsmooth_wtf(const int16_t* src, int16_t* dst, float p, float fc, float order, int32_t type);
LUMVEK_API void ctsmooth_tffree(void);

/* ---- Tag search and system helpers ------------------------------------ */
LUMVEK_API int32_t tagposi(const uint8_t* buf, int32_t key, int32_t limit);
LUMVEK_API int32_t tagposis(const uint8_t* buf, int32_t key, int32_t start, int32_t limit);
LUMVEK_API void volumeget(uint32_t* out);
LUMVEK_API int16_t* shortmalloc(int32_t a, int32_t b, int32_t c);
LUMVEK_API void shortfree(void);
LUMVEK_API void memtrn(const int16_t* src, int32_t a, int32_t b, int32_t k);
LUMVEK_API void memdown(int16_t* dst, int32_t a, int32_t b, int32_t k);
LUMVEK_API int32_t CRC16(const uint8_t* buf, int32_t n);
LUMVEK_API void lumvektst(int32_t* out, const int32_t* in);
LUMVEK_API void lumvektst2(int16_t* out, const float* in);

/* ---- 3D and 2D box, along-edge and vector-analysis filters ------------ */
/* Each call computes one output slice; the ...ms variants split it over
 * eight workers by bands of 64 rows. Outputs must not overlap inputs. */
LUMVEK_API void boxfilter3dct(int16_t* out, const int16_t* in, int32_t n, float sigmaXY, float sigmaZ, float enhance,
                              int32_t z);
LUMVEK_API void boxfilter3dctms(int16_t* out, const int16_t* in, int32_t n, float sigmaXY, float sigmaZ, float enhance,
                                int32_t z);
LUMVEK_API void boxfilter3dctzms(int16_t* out, const int16_t* in, int32_t n, float sigmaZ, float enhance, int32_t z);
LUMVEK_API void boxfilter2dctms(int16_t* out, const int16_t* in, float sigma, float enhance);
LUMVEK_API void boxfilter2dctivms(int16_t* out, const int16_t* in, float sigma, float enhance);
LUMVEK_API void boxfilter2dctneoms(int16_t* img, float sigma1, float sigma2, float enhance, float gain);
LUMVEK_API void vecana3d(float* gx, float* gy, float* gz, const int16_t* vol, int32_t width, int32_t height, int32_t n,
                         int32_t d, int32_t r, int32_t z);
LUMVEK_API void vecana3dms(float* gx, float* gy, float* gz, const int16_t* vol, int32_t width, int32_t height,
                           int32_t n, int32_t d, int32_t r, int32_t z);
LUMVEK_API void boxblfilter3dal1(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx,
                                 const float* gy, const float* gz, int32_t width, int32_t height, int32_t n, int32_t r,
                                 const float* prm, int32_t z);
LUMVEK_API void boxblfilter3dal1ms(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx,
                                   const float* gy, const float* gz, int32_t width, int32_t height, int32_t n,
                                   int32_t r, const float* prm, int32_t z);
LUMVEK_API void alongblfilter3dms(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx,
                                  const float* gy, const float* gz, int32_t width, int32_t height, int32_t n,
                                  int32_t r, float alongSigma, float rangeSigma, int32_t z);
LUMVEK_API void alongfilter3dms(int16_t* out, const int16_t* in, const float* gx, const float* gy, const float* gz,
                                int32_t width, int32_t height, int32_t n, int32_t r, int32_t z);

/* ---- z interpolation, 2D smoothing and texture mixing ----------------- */
LUMVEK_API void zintp(int16_t* out, const int16_t* in, int32_t width, int32_t height, int32_t n, float dz, float z);
LUMVEK_API void circleblur2dct(int16_t* img, int32_t ctOffset, float width);
LUMVEK_API void ctinr2dfilter(int16_t* out, const int16_t* in, float pixel, float a, float low, float b, float high);
LUMVEK_API void ctorgmul(int16_t* img, const int16_t* hp, const int16_t* lp, float ratio);
LUMVEK_API void ctorgmix(int16_t* dst, const int16_t* src, const int16_t* ref);

#ifdef __cplusplus
}
#endif

#endif
