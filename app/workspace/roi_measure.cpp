#include "workspace/roi_measure.h"

#include <algorithm>
#include <cmath>

namespace halvex {

RoiStats measureRoi(const int16_t* image, int left, int top, int width, int height, int ctOffset) {
    constexpr int kLast = 511;
    RoiStats s;
    const int x0 = std::max(left, 0), x1 = std::min(left + width, kLast);
    const int y0 = std::max(top, 0), y1 = std::min(top + height, kLast);
    if (x0 > x1 || y0 > y1) return s;
    s.pixelCount = (x1 - x0 + 1) * (y1 - y0 + 1);
    const int cx = std::clamp(left + width / 2, 0, kLast), cy = std::clamp(top + height / 2, 0, kLast);
    s.centreStored = image[cy * 512 + cx];

    double sum = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const int stored = image[y * 512 + x];
            sum += stored;
            const int v = stored + ctOffset;
            s.minCt = std::min(s.minCt, v);
            s.maxCt = std::max(s.maxCt, v);
        }
    s.mean = sum / s.pixelCount;

    double squares = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const double d = image[y * 512 + x] - s.mean;
            squares += d * d;
        }
    s.sd = std::sqrt(squares / s.pixelCount);
    return s;
}

}  // namespace halvex
