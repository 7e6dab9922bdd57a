// The numeric steps of the wire MTFs, as free functions over plain arrays:
// the line spread function of a thin wire read as a slit profile or as the
// mean of 18 radial profiles, and the ring-averaged 2D spectrum of the
// wire's image. Images are 512 x 512 slices of CT values.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "measurement/edge_mtf.h"

namespace halvex {

inline constexpr int kRadialProfiles = 18;
inline constexpr int kWirePatch = 256;  // side of the 2D-FFT patch
inline constexpr int kSmallestWireRadius = 20;

struct Peak {
    int x = 0, y = 0;
};

// The brightest pixel of the ROI (rows y0 .. y0 + h, columns x0 .. x0 + w,
// both ends included, as far as they lie in the slice); the first in row
// order wins.
Peak PEAKSCH(const int16_t* image, const EdgeRoi& roi);

// The slit height used: made even, then kept in 1 .. 70.
int slitHeight(int h);

enum SlitDirection : int16_t {
    kProfileAlongX = 0,  // "VS-X": the wire runs down the rows
    kProfileAlongY = 1,  // "VS-Y"
};

// "ROI error" when the profiles around the peak would leave the slice: the
// slit's 256 samples and h + 1 lines, the radial profiles' circle of
// radius sqrt(128² + (h/2)²) with the bilinear neighbours, or the 2D-FFT
// patch of 256 x 256. Empty when they fit.
std::string slitProblem(Peak peak, int h, SlitDirection direction);
std::string radialProblem(Peak peak, int h);
std::string wirePatchProblem(Peak peak);

struct WireLsf {
    std::vector<float> lsf;  // kLsfLength samples, one pixel apart, peak 1
    int centre = kLsfCentre;
};

// The slit LSF through the peak, averaged over h + 1 lines (h from
// slitHeight); an object in air (background below -100) has its background
// removed. Nothing when the profile has no positive peak.
std::optional<WireLsf> VSLITGET(const int16_t* image, Peak peak, int h, SlitDirection direction);

// The wire's centre to a fraction of a pixel: a Gaussian through the peak
// pixel and its neighbours along each axis, above the background on a
// circle of 30 pixels about it. The peak pixel's centre along an axis where
// the three values don't stand above the background.
Point2 wireCentre(const int16_t* image, Peak peak);

// The mean of 18 bilinear profiles through the wire's centre (wireCentre:
// profiles through the peak pixel's centre would miss a wire off it by up to
// 0.7 pixel, and their mean would blur its MTF by |J0(2 pi f d)|), 10
// degrees apart, each
// averaged across h + 1 lines, background-corrected as the slit and
// normalised; `plot` gets every sample of every profile. Nothing when a
// profile has no positive peak.
std::optional<WireLsf> RADIALLSFGET(const int16_t* image, Peak peak, int h,
                                    const std::function<void(int i, float v)>& plot);

// The 256 x 256 patch centred on the peak (row-major floats).
std::vector<float> wirePatch(const int16_t* image, Peak peak);
// The mean of the patch at 180 points of the circle of radius r about its
// centre, every 2 degrees.
double circleMean(const std::vector<float>& patch, double r);
// MTF(0 .. 128): the patch less `background`, zero beyond radius r,
// transformed; |F| averaged over rings of rounded radius and divided by
// |F(0, 0)|. Nothing when |F(0, 0)| is 0.
std::optional<std::vector<float>> ringMtf(std::vector<float> patch, double r, double background);

}  // namespace halvex
