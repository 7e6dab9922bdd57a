// The numeric steps of the slice and temporal sensitivity profiles, as free
// functions over plain arrays: ROI means per slice, the end and spacing
// checks, baseline and normalisation, the half- and tenth-maximum widths.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "measurement/edge_mtf.h"

namespace halvex {

inline constexpr int kProfileSlots = 8;
inline constexpr int kProfileCapacity = 512;

// The points of one profile: abscissae in mm (SSP) or s (TSP), values.
struct ProfilePoints {
    int16_t count = 0;
    std::array<float, kProfileCapacity> x{}, v{};
};

// A profile slot: its SSP and its TSP share the widths and the label.
struct ProfileSlot {
    ProfilePoints ssp, tsp;
    float fwhm = 0, fwtm = 0;
    std::string label;
};

// Mean of rows y0 .. y0 + roi.h and columns x0 .. x0 + roi.w (inclusive) of a
// 512 x 512 slice; the ROI must lie inside it.
double roiMean(const int16_t* image, const EdgeRoi& roi);

// Mean of the ring around the ROI: rows y0 - 2h .. y0 + 3h and columns
// x0 - 2w .. x0 + 3w, clipped to the slice, without the pixels strictly
// inside the ROI (its border rows and columns count as background).
double ringMean(const int16_t* image, const EdgeRoi& roi);

// True when the means of the first two and of the last two points differ
// by more than `limit`.
bool endsDiffer(const std::vector<float>& p, float limit);

// The slice interval from the first and the last step of the positions,
// each rounded to 0.001 mm (halves to even); nothing when they differ or
// the interval is 0.
std::optional<double> sliceInterval(float z0, float z1, float zLast1, float zLast);

// Subtracts the straight line through the means of the two points at either
// end, and scales the largest value (the first of equal ones) to 1. Returns
// its index, or nothing when it is not above 0.
std::optional<int> levelAndNormalise(std::vector<float>& p);

// Where a normalised profile crosses `level`: the first point above it from
// the start, and the first point below it after `peak`, interpolated
// linearly (indices). Nothing when either crossing is missing.
struct Crossing {
    double left = 0, right = 0;
    int centre = 0;  // round((L + R) / 2), halves to even
};
std::optional<Crossing> crossing(const std::vector<float>& p, double level, int peak);

// The widths of a profile, in samples: `p` is levelled and normalised
// (levelAndNormalise), then the SSP is centred on the middle of its
// half-maximum points and the TSP on that of its tenth-maximum points, and
// the other width is searched from the centre the first one gives. `peak`
// is false when the profile has no peak above its ends, `crossed` when it
// misses a crossing on either side.
struct ProfileWidths {
    bool peak = false, crossed = false;
    double fwhm = 0, fwtm = 0;
    double centre = 0;  // the middle of the first width's crossings (index)
};
ProfileWidths profileWidths(std::vector<float>& p, bool temporal);

// The profile as a 256-sample LSF with its point c0 at index 128; points
// that fall outside 0 .. 255 are left out, empty places are 0.
std::vector<float> profileLsf(const std::vector<float>& p, int c0);

}  // namespace halvex
