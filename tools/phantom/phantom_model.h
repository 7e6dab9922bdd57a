// The analytic CT phantom and its sampling onto 512 x 512 slices.
//
// The object is a water cylinder in air with a few inserts. Each slice is the
// object blurred by a Gaussian in-plane point spread function and a Gaussian
// along z, sampled at the pixel centres, so the presampled MTF of every edge
// is exactly exp(-2 pi^2 sigma^2 f^2). The blur is computed analytically per
// pixel (never by filtering a sampled image), plus optional noise, white or
// correlated by a known kernel.
//
// Coordinates: x grows with the column, y with the row, both in mm with the
// origin at the image centre; pixel (column c, row r), 0-based, has its centre
// at x = (c - 255.5) * pixelSize, y = (r - 255.5) * pixelSize.
#pragma once

#include <cstdint>
#include <vector>

namespace phantom {

inline constexpr int kSide = 512;
inline constexpr int kSliceSize = kSide * kSide;
inline constexpr double kCentrePixel = 255.5;  // image centre, in pixel coordinates
inline constexpr double kWaterHu = 0.0;
inline constexpr double kAirHu = -1000.0;

// The pixel-centre convention above, both ways.
inline double pixelToMm(double index, double pixelSize) { return (index - kCentrePixel) * pixelSize; }
inline double mmToPixel(double mm, double pixelSize) { return mm / pixelSize + kCentrePixel; }

// A disk in the x-y plane; as an insert it runs along z unless it is a plate.
struct Disk {
    double cx = 0, cy = 0;  // mm
    double diameter = 0;    // mm
    double contrast = 0;    // HU relative to water
};

// A rectangle turned by `angleDeg` about its centre; it runs along z. Its own
// u axis points along (cos a, sin a), its v axis along (-sin a, cos a).
struct Block {
    double cx = 0, cy = 0;
    double width = 0;   // along u, mm
    double height = 0;  // along v, mm
    double angleDeg = 0;
    double contrast = 0;
};

// A disk that only spans `thickness` mm along z, centred at z.
struct Plate {
    Disk disk;
    double z = 0;
    double thickness = 0;
};

struct Phantom {
    double cylinderDiameter = 200.0;  // water, centred in the image
    Disk rod;                         // circular edge
    Block block;                      // straight, slightly tilted edge
    Disk wire;                        // point-like object for slit, radial and 2D-FFT MTF
    Plate disc;                       // thin plate across z for the slice profile
    std::vector<Disk> inserts;        // rods of other contrasts, along z like the rod
};

// The ring of inserts: insert k of n at the angle a = 45 + 360 k / n degrees
// on a circle of 40 mm radius about the centre, x = 40 cos a, y = 40 sin a
// (y grows with the row, so the angles turn clockwise on screen).
inline constexpr double kInsertRingRadius = 40.0;   // mm
inline constexpr double kInsertRingStartDeg = 45.0;
struct InsertSpec {
    double contrast = 0;  // HU relative to water
    double diameter = 0;  // mm
};
std::vector<Disk> ringInserts(const std::vector<InsertSpec>& specs);

// The standard layout: inserts around the central 256-pixel square of a
// 250 mm field of view, the plate at discZ and the wire at (wireX, wireY) mm.
Phantom standardPhantom(double discZ, double wireX, double wireY);

// Standard normal distribution function.
double normalCdf(double x);

// Fraction of an isotropic Gaussian (sigma s, centred at the point (dx, dy)
// relative to the disk centre) that falls inside a disk of radius R.
double blurredDisk(double dx, double dy, double radius, double s);

// Same for the block, for a point at (x, y) mm.
double blurredBlock(const Block& block, double x, double y, double s);

// Fraction of a Gaussian along z (sigma sz, centred at z) inside the plate.
double blurredSlab(double z, double slabZ, double thickness, double sz);

struct Blur {
    double sigma = 0.4;   // in-plane, mm
    double sigmaZ = 0.5;  // along z, mm
};

// Builds the z-independent part of the slices once, then produces slices.
class SliceSampler {
public:
    SliceSampler(const Phantom& phantom, double dfov, const Blur& blur);

    // Noise-free CT numbers (HU) of the slice at z, row-major.
    void sliceHu(double z, std::vector<double>& hu) const;

private:
    Phantom phantom_;
    Blur blur_;
    std::vector<double> base_;  // everything that runs along z
    // The plate's in-plane part: pixel index and contrast times fraction.
    std::vector<std::pair<int, double>> plate_;
};

// Adds white Gaussian noise of standard deviation sd. The stream depends only
// on (seed, sliceIndex), so a slice comes out the same in every file form.
void addNoise(std::vector<double>& hu, double sd, uint64_t seed, int sliceIndex);

// The kernel that correlates the noise: a Gaussian of sigma `sigmaPx` pixels
// sampled at whole pixels out to ceil(4 sigma), scaled so that its squares
// sum to 1. Applied along rows and columns it keeps the pixel SD of the white
// noise it blurs, and noise of SD sd gets the NPS
// sd^2 p^2 power(fx p) power(fy p) (f in cycles/mm, p the pixel size).
struct NoiseKernel {
    explicit NoiseKernel(double sigmaPx);
    std::vector<double> taps;  // g(-r) .. g(r)
    int radius() const { return static_cast<int>(taps.size()) / 2; }
    // |G(u)|^2 along one axis, u in cycles per pixel.
    double power(double u) const;
};

// Adds noise of standard deviation sd correlated by the kernel: the white
// stream of addNoise (SD 1) blurred along rows and then columns, the borders
// wrapping around so that every pixel has the same SD, then scaled by sd.
void addCorrelatedNoise(std::vector<double>& hu, double sd, const NoiseKernel& kernel, uint64_t seed, int sliceIndex);

// round(hu + offset), halves away from zero, clamped to the int16 range.
void toStored(const std::vector<double>& hu, double offset, std::vector<int16_t>& out);

}  // namespace phantom
