// Finds the test objects of a phantom series without help: the phantom's
// body, uniform regions for noise and uniformity, round inserts of any
// contrast, wires or beads, and thin objects across z. Everything is found
// on the mean of the slices, so a noisy, low-dose series gives the same
// objects as a clean one, and every threshold is a multiple of the noise
// measured on the series itself.
//
// How, in short:
// - body: the largest connected region above -500 HU of the smoothed mean
//   image, its holes (air inserts) included; its centre and radius from a
//   circle fit of its edge (from its area and centroid when the fit fails).
// - detection: the mean image smoothed by a Gaussian of 1.5 pixels, less
//   the body's median, against 5 times its own noise (the robust SD of a
//   slice's smoothed difference from the mean, scaled to the mean; at least
//   2 HU); brighter and darker regions inside the body, 8 pixels off its
//   edge, are labelled separately.
// - each region is measured across its half maximum on the mean image.
//   Narrower than 2.5 mm (a 3 mm insert measures about 2.8 mm under a blur
//   of sigma 0.5 mm, a wire 2.35 sigma) and bright (10 times the threshold)
//   it is a wire or bead, centred by the centroid of its peak. Wider, it is
//   an insert: its centre and radius come from the auto-edge circle fit
//   (fitCircleCentre) on the mean image at the level halfway between inside
//   and outside, refitted about its new centre until it moves less than
//   0.01 pixel. An insert is used when its half maximum stays off the body
//   edge, it is not too faint (contrast at least 4 noise SDs of the mean
//   image: CNR x sqrt(slices) >= 4), it is round (a half-maximum area of 100
//   pixels or more elongated by at most 1.25; at least 60 % of the edge
//   crossings kept by the fit, at an RMS distance of at most 1 pixel) and no
//   other object reaches into its background annulus. What is not used is
//   named in `problems` with the reason.
// - thin objects across z (3 slices or more): per pixel the largest
//   deviation of a slice from the median over slices, smoothed, against 8
//   robust SDs of itself (at least 10 HU); their trace in the mean image is
//   no insert.
// - uniform ROIs: a square at the centre and four at two thirds of the body
//   radius at 12, 3, 6 and 9 o'clock, each moved along its circle (up to 40
//   degrees either way) or inwards (the centre's outwards) until it lies
//   inside the body, 8 pixels off its edge, and 4 pixels off every detected
//   region and the other ROIs. 64 pixels wide, or 32 (with a problem line)
//   when the body is too small for 64 at two thirds of its radius.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace halvex {

// One slice of the series: its stored values (512 x 512, row-major) and the
// offset that makes them HU. Slices are given in position order.
struct SliceImage {
    const int16_t* stored = nullptr;
    int ctOffset = 0;
    float position = 0;
};

enum class ObjectKind { Body, Uniform, Insert, Wire, ZObject };

struct FoundObject {
    // "body", "uniform-centre", "uniform-1".."uniform-4" (12, 3, 6, 9
    // o'clock), "insert-1".., "wire-1".., "zobject-1"..; inserts, wires and z
    // objects are numbered clockwise on screen from 12 o'clock about the body
    // centre.
    std::string id;
    ObjectKind kind = ObjectKind::Body;
    double cx = 0, cy = 0;  // centre in pixel indices (column, row): pixel (c, r) has its centre at (c, r)
    // body, insert: fitted radius; wire: radius of its half-maximum area;
    // z object: radius of its detected area; uniform: half the ROI's side.
    double radiusPx = 0;
    // uniform: side of its square ROI in pixels (64, or 32 on small bodies),
    // which spans columns cx - (side - 1) / 2 .. cx + (side - 1) / 2.
    int roiSide = 0;
    // insert: mean within 70 % of the radius minus the mean of an annulus
    // outside; wire: peak minus the background; z object: its mean at the
    // peak slice minus its median over slices; body: its median HU;
    // uniform: its mean HU.
    double contrastHu = 0;
    double cnr = 0;  // insert: |contrast| / pixel noise SD of one slice in its annulus (0 without noise)
    // Indices into the slices given: where it was found or is to be
    // measured. A z object spans its peak slice +-4 sigma_z (estimated from
    // the profile's FWHM) as far as the series reaches; the others span all.
    int firstSlice = 0, lastSlice = 0;
};

struct FoundObjects {
    std::vector<FoundObject> objects;   // body first, then uniform, inserts, wires, z objects
    std::vector<std::string> problems;  // one line each: what could not be used and why
    double backgroundHu = 0;            // the body's typical (median) value, water in a water phantom
    double noiseSd = 0;                 // pixel noise SD of one slice in the uniform ROIs
};

// The mean in HU of slices [first, last) of the list (512 x 512, row-major).
std::vector<float> meanImage(const std::vector<SliceImage>& slices, size_t first, size_t last);

// Slices that are not 512 x 512 must not be passed; a slice without pixels
// is left out with a problem line. pixelMm is the pixel size in mm.
FoundObjects findObjects(const std::vector<SliceImage>& slices, float pixelMm);

}  // namespace halvex
