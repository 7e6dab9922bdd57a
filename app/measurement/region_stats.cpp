#include "measurement/region_stats.h"

#include <algorithm>
#include <cmath>

namespace halvex {

double PixelSums::mean() const { return n > 0 ? shift + sum / static_cast<double>(n) : shift; }

double PixelSums::sd() const {
    if (n <= 0) return 0;
    const double m = sum / static_cast<double>(n);
    return std::sqrt(std::max(0.0, squares / static_cast<double>(n) - m * m));
}

PixelSums roiSums(const int16_t* image, const EdgeRoi& roi, double shift) {
    constexpr int kSide = 512;
    PixelSums s{shift};
    for (int r = roi.y0; r <= roi.y0 + roi.h; ++r)
        for (int c = roi.x0; c <= roi.x0 + roi.w; ++c) s.add(image[size_t(r) * kSide + c]);
    return s;
}

}  // namespace halvex
