// Statistics of a rectangular ROI of a slice.
#pragma once

#include <cstdint>

namespace halvex {

struct RoiStats {
    int pixelCount = 0;   // pixels measured (after clipping to the image)
    double mean = 0;      // stored units
    double sd = 0;        // population SD (divisor n)
    int minCt = 9999;     // CT numbers
    int maxCt = -9999;
    int centreStored = 0; // stored value at the ROI centre
};

// Measures columns left..left+width and rows top..top+height, both ends
// included, of a 512 x 512 slice, clipped to the image so that nothing
// outside it is read. pixelCount 0 means the ROI lies wholly outside.
// The sum and the squares' total are kept in double precision: in single
// precision the SD of a 129 x 129 ROI of SD 290 came out 0.03 low.
RoiStats measureRoi(const int16_t* image, int left, int top, int width, int height, int ctOffset);

}  // namespace halvex
