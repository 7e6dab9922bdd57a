// Statistics of a rectangular ROI of a slice.
#pragma once

#include <cstdint>

namespace halvex {

struct RoiStats {
    int pixelCount = 0;   // pixels measured (after clipping to the image)
    float mean = 0;       // stored units
    double sd = 0;        // population SD (divisor n)
    int minCt = 9999;     // CT numbers
    int maxCt = -9999;
    int centreStored = 0; // stored value at the ROI centre
};

// Measures columns left..left+width and rows top..top+height, both ends
// included, of a 512 x 512 slice, clipped to the image so that nothing
// outside it is read. pixelCount 0 means the ROI lies wholly outside.
// Sums follow the program's precision: the sum and the squares' total in
// single precision, each square in double.
RoiStats measureRoi(const int16_t* image, int left, int top, int width, int height, int ctOffset);

}  // namespace halvex
