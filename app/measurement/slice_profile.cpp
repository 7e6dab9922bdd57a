#include "measurement/slice_profile.h"

#include <algorithm>
#include <cmath>

#include "platform/number_text.h"

namespace halvex {

namespace {
constexpr int kImageSide = 512;
}  // namespace

double roiMean(const int16_t* image, const EdgeRoi& roi) {
    double sum = 0;
    for (int r = roi.y0; r <= roi.y0 + roi.h; ++r)
        for (int c = roi.x0; c <= roi.x0 + roi.w; ++c) sum += image[size_t(r) * kImageSide + c];
    return sum / (double(roi.w + 1) * (roi.h + 1));
}

double ringMean(const int16_t* image, const EdgeRoi& roi) {
    double sum = 0;
    int64_t count = 0;
    for (int r = std::max(roi.y0 - 2 * roi.h, 0); r <= std::min(roi.y0 + 3 * roi.h, kImageSide - 1); ++r)
        for (int c = std::max(roi.x0 - 2 * roi.w, 0); c <= std::min(roi.x0 + 3 * roi.w, kImageSide - 1); ++c) {
            if (r > roi.y0 && r < roi.y0 + roi.h && c > roi.x0 && c < roi.x0 + roi.w) continue;
            sum += image[size_t(r) * kImageSide + c];
            ++count;
        }
    return count > 0 ? sum / double(count) : 0.0;
}

bool endsDiffer(const std::vector<float>& p, float limit) {
    const size_t n = p.size();
    const float a = (p[0] + p[1]) / 2, b = (p[n - 2] + p[n - 1]) / 2;
    return std::fabs(a - b) > limit;
}

std::optional<double> sliceInterval(float z0, float z1, float zLast1, float zLast) {
    const double d1 = roundHalfEven((double(z1) - z0) * 1000) / 1000.0;
    const double d2 = roundHalfEven((double(zLast) - zLast1) * 1000) / 1000.0;
    if (d1 != d2 || d1 == 0) return std::nullopt;
    return std::fabs(d1);
}

std::optional<int> levelAndNormalise(std::vector<float>& p) {
    const size_t n = p.size();
    const float a = (p[0] + p[1]) / 2, b = (p[n - 2] + p[n - 1]) / 2;
    float peak = -9999.0f;
    int at = 0;
    for (size_t k = 0; k < n; ++k) {
        p[k] -= (b - a) * static_cast<float>(k) / static_cast<float>(n - 1) + a;
        if (p[k] > peak) peak = p[k], at = static_cast<int>(k);
    }
    if (!(peak > 0.0f)) return std::nullopt;
    for (float& v : p) v /= peak;
    return at;
}

std::optional<Crossing> crossing(const std::vector<float>& p, double level, int peak) {
    const int n = static_cast<int>(p.size());
    int left = 0;
    while (left < n && !(p[size_t(left)] > level)) ++left;
    int right = std::max(peak, 0) + 1;
    while (right < n && !(p[size_t(right)] < level)) ++right;
    // The interpolation reads the point before each crossing.
    if (left == 0 || left >= n || right >= n) return std::nullopt;
    auto at = [&](int i) {
        const double before = p[size_t(i - 1)], after = p[size_t(i)];
        return (i - 1) + (level - before) / (after - before);
    };
    return Crossing{at(left), at(right), roundHalfEven((left + right) / 2.0)};
}

ProfileWidths profileWidths(std::vector<float>& p, bool temporal) {
    ProfileWidths w;
    const auto peak = levelAndNormalise(p);
    if (!peak) return w;
    w.peak = true;
    const double firstLevel = temporal ? 0.1 : 0.5, secondLevel = temporal ? 0.5 : 0.1;
    const auto outer = crossing(p, firstLevel, *peak);
    const auto inner = outer ? crossing(p, secondLevel, outer->centre) : std::nullopt;
    if (!outer || !inner) return w;
    w.crossed = true;
    w.fwhm = temporal ? inner->right - inner->left : outer->right - outer->left;
    w.fwtm = temporal ? outer->right - outer->left : inner->right - inner->left;
    w.centre = (outer->left + outer->right) / 2;
    return w;
}

std::vector<float> profileLsf(const std::vector<float>& p, int c0) {
    std::vector<float> lsf(kLsfLength, 0.0f);
    const int n = static_cast<int>(p.size());
    for (int i = std::max(0, c0 - kLsfCentre); i <= std::min(n - 1, c0 + kLsfCentre - 1); ++i)
        lsf[size_t(i - c0 + kLsfCentre)] = p[size_t(i)];
    return lsf;
}

}  // namespace halvex
