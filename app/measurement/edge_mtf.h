// The numeric steps of the edge MTF, as free functions over plain arrays:
// ESF in third-pixel bins -> LSF (difference, centring, smoothing) -> MTF.
// The measurement window strings them together and draws what they give.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace halvex {

inline constexpr int kEsfBins = 1024;
inline constexpr int kLsfLength = 256;
inline constexpr int kLsfCentre = 128;
inline constexpr int kEdgeOversampling = 3;   // ESF bins per pixel
inline constexpr int kEdgeTransformLength = 256;

// The ROI as the main window has it: columns x0 .. x0 + w and rows
// y0 .. y0 + h, both ends included.
struct EdgeRoi {
    int x0 = 0, y0 = 0, w = 0, h = 0;
};

// Sums per bin while accumulating (in double precision: a bin of a
// multi-slice ESF sums thousands of pixels), means after normaliseEsf.
struct Esf {
    std::vector<double> value = std::vector<double>(kEsfBins);
    std::vector<int32_t> count = std::vector<int32_t>(kEsfBins);
};

// Receives every sample as it is binned: x in pixels from the ROI's left
// (or from the centre), and the pixel value.
using EsfPlot = std::function<void(double x, double value)>;

// Why an ROI can't carry an edge measurement; empty when it can.
std::string edgeRoiProblem(const EdgeRoi& roi, bool circular);

// Linear edge: pixel (k, j) goes to bin round(3 ((k - x0) + (j - c) s)),
// c the ROI's middle row, when the position lies in 0 .. 3w. `image` is a
// 512 x 512 slice; pixels outside it are skipped.
void accumulateLinearEsf(const int16_t* image, const EdgeRoi& roi, float slope, Esf& esf, const EsfPlot& plot);

// Circular edge: the pixels within 2 round(h/2) rows and 2 round(w/2)
// columns of the rounded centre go to the bin of their distance from the
// exact centre (cx, cy), in thirds of a pixel.
void accumulateCircularEsf(const int16_t* image, const EdgeRoi& roi, float cx, float cy, Esf& esf,
                           const EsfPlot& plot);
// The same samples one by one: each pixel's bin, its offset from the centre
// and its value (for ESFs kept per angular sector).
void forEachCircularEsfSample(const int16_t* image, const EdgeRoi& roi, float cx, float cy,
                              const std::function<void(int bin, double dx, double dy, int16_t value)>& visit);

// The last bin of the used range: round(3 w).
int esfLastBin(const EdgeRoi& roi);
// The first bin of the used range: 0 for the linear edge, round(0.05 w) for
// the circular one (the few pixels nearest the centre are too noisy).
int esfFirstBin(const EdgeRoi& roi, bool circular);

// Turns the sums of bins first .. last into means (plotting each filled one)
// and fills the bins that got no pixel by linear interpolation between their
// filled neighbours; empty bins before the first or after the last filled
// one take its value. An empty bin left at 0 would become a spike of the
// whole edge height in the difference.
void normaliseEsf(Esf& esf, int first, int last, const EsfPlot& plotMean);

// The level halfway between the two sides of the edge: the means of five
// bins a quarter of the ROI width before and after the centre bin.
struct EsfSides {
    float before = 0, after = 0;
    float middle() const { return 0.5f * (before + after); }
};
EsfSides esfSides(const Esf& esf, const EdgeRoi& roi);

// The ESF differentiated, normalised to a peak of 1 and centred at LSF index
// 128; nothing when the ESF is flat (no positive difference).
std::optional<std::vector<float>> esfToLsf(const Esf& esf, const EdgeRoi& roi, bool circular);

// The Gaussian low-pass used to smooth the LSF, whose transfer function
// the MTF divides out again: exp(-(k step a)^b).
struct LsfFilter {
    float a = 0;  // 0: no filter
    float b = 1;
    float at(int k, float step) const;
    // Falls to 0.3 at 0.9 cycles/mm.
    static LsfFilter standard();
};

// Frequency step of the 256-point transform of a third-pixel LSF, in
// cycles/mm: 1 / (FOV / 2 / 3).
float edgeFrequencyStep(float fov, float oversampling);

// Multiplies the LSF's spectrum by the filter (mirrored above N/2).
void smoothLsf(std::vector<float>& lsf, float step, const LsfFilter& filter);

// MTF(k) = |X(k)| / |X(0)| for k = 0 .. N/2, divided by the filter (raised to
// 0.1 where it falls below); nothing when the LSF sums to zero.
std::optional<std::vector<float>> lsfToMtf(const std::vector<float>& lsf, float step, const LsfFilter& filter);

// The MTF at multiples of `interval` (cycles/mm), linearly interpolated
// between transform bins, up to the last computed bin and at most 511
// points.
struct CurvePoints {
    std::vector<float> frequency, value;
};
CurvePoints resampleMtf(const std::vector<float>& mtf, float step, float interval);

// Subtracts the baseline from the LSF and scales its largest value to 1
// (a largest value of 0 leaves the scale alone).
void subtractLsfBaseline(std::vector<float>& lsf, float baseline);

// Zeroes the LSF at and before index `left` and at and after index `right`.
void zeroLsfTails(std::vector<float>& lsf, int left, int right);

// The first frequency at which the curve falls to `level`, interpolated
// linearly between its points; nothing when it never does.
std::optional<double> curveCrossing(const std::vector<float>& frequency, const std::vector<float>& value, double level);

// The mean of the LSF's two tails: samples first .. first + count - 1 and
// their mirrors 255 - first - count + 1 .. 255 - first; the baseline's first
// estimate.
float tailMean(const std::vector<float>& lsf, int first, int count);

// Auto edge. The slope s that makes a straight edge run along the bins: a
// line through the crossings of `level` in the ROI's rows. Nothing when
// fewer than three rows cross.
std::optional<float> fitEdgeSlope(const int16_t* image, const EdgeRoi& roi, float level);

// The centre of a round edge: a least-squares circle through the crossings of
// the level halfway between inside and outside, along the rows and columns of
// the circular ESF's scan window around (cx, cy). Crossings more than 2
// pixels off the first circle are dropped and the circle fitted again. The
// image is a 512 x 512 slice of stored values or of CT numbers as floats (a
// mean image); `detail`, when given, receives the fitted radius, the RMS
// distance of the kept crossings from the circle, and how many were kept of
// all found (a shape that is not round keeps few, or fits them badly).
struct Point2 {
    double x = 0, y = 0;
};
struct CircleFitDetail {
    double radius = 0;       // pixels
    double rmsResidual = 0;  // pixels
    int kept = 0, crossings = 0;
};
std::optional<Point2> fitCircleCentre(const int16_t* image, const EdgeRoi& roi, float cx, float cy, float level,
                                      CircleFitDetail* detail = nullptr);
std::optional<Point2> fitCircleCentre(const float* image, const EdgeRoi& roi, float cx, float cy, float level,
                                      CircleFitDetail* detail = nullptr);

}  // namespace halvex
