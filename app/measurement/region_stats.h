// The mean and population SD of a set of pixels, as the CT value and SD
// tools define them, from sums kept in double precision about a shift (a
// value near the mean, so that the sum of squares loses nothing). The
// measurement window and the series evaluation sum their regions this way.
#pragma once

#include <cstdint>

#include "measurement/edge_mtf.h"

namespace halvex {

struct PixelSums {
    double shift = 0;  // subtracted from every value added
    double sum = 0, squares = 0;
    int64_t n = 0;

    void add(double v) {
        v -= shift;
        sum += v;
        squares += v * v;
        ++n;
    }
    // Adds `weight` copies of another set's sums (the same shift).
    void add(const PixelSums& other, int weight) {
        sum += weight * other.sum;
        squares += weight * other.squares;
        n += weight * other.n;
    }
    double mean() const;
    double sd() const;  // population SD
};

// The sums over the ROI's rectangle of a 512 x 512 slice (columns x0 .. x0 +
// w, rows y0 .. y0 + h, both ends included; the ROI must lie inside).
PixelSums roiSums(const int16_t* image, const EdgeRoi& roi, double shift);

}  // namespace halvex
