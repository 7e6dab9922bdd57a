// Slow, literal versions of the window filters, one voxel at a time with
// every index clamped on the spot, used to check the library's row-sweeping
// kernels value for value. Each computes rows [rowBegin, rowEnd) of one
// output slice; the along-edge ones, like the exports, write slice z of an
// output volume.
#pragma once

#include <cstdint>
#include <vector>

namespace filter_reference {

constexpr int kSide = 512;
constexpr int kSliceSize = kSide * kSide;

void boxfilter3dct(int16_t* out, const int16_t* in, int n, float sigmaXY, float sigmaZ, float enhance, int z,
                   int rowBegin = 0, int rowEnd = kSide);
void boxfilter3dctms(int16_t* out, const int16_t* in, int n, float sigmaXY, float sigmaZ, float enhance, int z,
                     int rowBegin = 0, int rowEnd = kSide);
void boxfilter3dctzms(int16_t* out, const int16_t* in, int n, float sigmaZ, float enhance, int z, int rowBegin = 0,
                      int rowEnd = kSide);
void boxfilter2dctms(int16_t* out, const int16_t* in, float sigma, float enhance);
void boxfilter2dctivms(int16_t* out, const int16_t* in, float sigma, float enhance);
void boxfilter2dctneoms(int16_t* img, float sigma1, float sigma2, float enhance, float gain);

void vecana3d(float* gx, float* gy, float* gz, const int16_t* vol, int n, int d, int r, int z, int rowBegin = 0,
              int rowEnd = kSide);

void alongblfilter3d(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx, const float* gy,
                     const float* gz, int n, int r, float alongSigma, float rangeSigma, int z, int rowBegin = 0,
                     int rowEnd = kSide);
void alongfilter3d(int16_t* out, const int16_t* in, const float* gx, const float* gy, const float* gz, int n, int r,
                   int z, int rowBegin = 0, int rowEnd = kSide);
void boxblfilter3dal1(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx, const float* gy,
                      const float* gz, int n, int r, const float* prm, int z, int rowBegin = 0, int rowEnd = kSide);

// A CT-like test volume of n slices: air (-1000, noise-free) around a water
// disc (0) with a +300 rod along z, a block of +1000 behind a plane tilted
// in x, y and z, and Gaussian noise of SD 10 inside the disc; `offset` is
// added to every value (1024 stores HU + 1024).
std::vector<int16_t> phantom_volume(int n, unsigned seed, int offset);

}  // namespace filter_reference
