// The texts a slice view shows about itself, shared by the main and the
// comparison window: the result of a ROI measurement and the information
// line of the slice on show.
#pragma once

#include <string>

#include "platform/raster.h"
#include "workspace/image_store.h"

namespace halvex {

// A ROI measurement as the windows show it: the caption, the clipboard text
// (mean TAB SD) and the short text printed on the view. `outside` when no
// pixel of the ROI lies in the slice (the rest is then empty).
struct RoiReport {
    bool outside = false;
    std::string caption, clipboard, viewText;
};
RoiReport reportRoi(const int16_t* image, int x0, int y0, int w, int h, int ctOffset);

// The view text of a ROI ("ave .. sd .."), or nothing when the ROI is
// larger than 128 pixels either way or outside the slice.
std::string roiViewText(const int16_t* image, int x0, int y0, int w, int h, int ctOffset);

// Prints the information line of entry `index` (number, series, position,
// kV, mA, mAs, s/rot, thickness, kernel, DFOV, CTDI, patient, file) at the
// top of the view and `roiText` at its bottom left.
void printSliceOverlay(Canvas& view, const SliceInfo& e, int index, const std::string& roiText);

// Prints `roiText` at the view's bottom left over a black field.
void printRoiText(Canvas& view, const std::string& roiText);

}  // namespace halvex
