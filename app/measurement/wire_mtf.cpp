#include "measurement/wire_mtf.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/lumvek_binding.h"
#include "platform/number_text.h"

namespace halvex {

namespace {

constexpr int kImageSide = 512;
constexpr int kHalfProfile = kLsfLength / 2;

bool inside(int lo, int hi) { return lo >= 0 && hi < kImageSide; }

int16_t at(const int16_t* image, int row, int col) { return image[size_t(row) * kImageSide + col]; }

// Removes the background of an object in air (below -100; in water the
// baseline step takes it off) and scales the peak to 1; the peak's index,
// or nothing when there is no positive peak.
std::optional<int> normaliseProfile(std::vector<float>& p) {
    const int bg = roundHalfEven((p[30] + p[31] + p[220] + p[221]) / 4.0);
    if (bg < -100)
        for (float& v : p) v -= static_cast<float>(bg);
    float highest = -9999.0f;
    int centre = 0;
    for (int i = 0; i < kLsfLength; ++i)
        if (p[size_t(i)] > highest) highest = p[size_t(i)], centre = i;
    if (!(highest > 0.0f)) return std::nullopt;
    for (float& v : p) v /= highest;
    return centre;
}

}  // namespace

Peak PEAKSCH(const int16_t* image, const EdgeRoi& roi) {
    int highest = -9000;
    Peak peak{std::clamp(roi.x0, 0, kImageSide - 1), std::clamp(roi.y0, 0, kImageSide - 1)};
    for (int j = std::max(roi.y0, 0); j <= std::min(roi.y0 + roi.h, kImageSide - 1); ++j)
        for (int k = std::max(roi.x0, 0); k <= std::min(roi.x0 + roi.w, kImageSide - 1); ++k)
            if (at(image, j, k) > highest) highest = at(image, j, k), peak = {k, j};
    return peak;
}

int slitHeight(int h) {
    if (h % 2 != 0) h += 1;
    return std::clamp(h, 1, 70);
}

std::string slitProblem(Peak peak, int h, SlitDirection direction) {
    const int along = direction == kProfileAlongX ? peak.x : peak.y;
    const int across = direction == kProfileAlongX ? peak.y : peak.x;
    const bool fits = inside(along - kHalfProfile, along + kHalfProfile - 1) && inside(across - h / 2, across + h / 2);
    return fits ? std::string() : "ROI error";
}

std::string radialProblem(Peak peak, int h) {
    // The profiles start up to half a pixel from the peak pixel's centre,
    // and the bilinear samples read one pixel beyond the rounded-down
    // position.
    const int reach = static_cast<int>(std::ceil(std::hypot(kHalfProfile, h / 2))) + 2;
    const bool fits = inside(peak.x - reach, peak.x + reach) && inside(peak.y - reach, peak.y + reach);
    return fits ? std::string() : "ROI error";
}

std::string wirePatchProblem(Peak peak) {
    const int half = kWirePatch / 2;
    const bool fits = inside(peak.x - half, peak.x + half - 1) && inside(peak.y - half, peak.y + half - 1);
    return fits ? std::string() : "ROI error";
}

std::optional<WireLsf> VSLITGET(const int16_t* image, Peak peak, int h, SlitDirection direction) {
    WireLsf out;
    out.lsf.assign(kLsfLength, 0.0f);
    for (int t = 0; t < kLsfLength; ++t) {
        int32_t sum = 0;
        for (int m = -h / 2; m <= h / 2; ++m)
            sum += direction == kProfileAlongY ? at(image, peak.y + t - kHalfProfile, peak.x + m)
                                               : at(image, peak.y + m, peak.x + t - kHalfProfile);
        out.lsf[size_t(t)] = static_cast<float>(sum) / static_cast<float>(h + 1);
    }
    const auto centre = normaliseProfile(out.lsf);
    if (!centre) return std::nullopt;
    out.centre = *centre;
    return out;
}

Point2 wireCentre(const int16_t* image, Peak peak) {
    double background = 0;
    for (int k = 0; k < 16; ++k) {
        const double a = k * std::numbers::pi / 8;
        background += at(image, peak.y + roundHalfEven(30 * std::sin(a)), peak.x + roundHalfEven(30 * std::cos(a)));
    }
    background /= 16;
    // The vertex of the parabola through the logarithms of the three values
    // above the background: exact for a Gaussian spot.
    auto offset = [&](int dx, int dy) {
        const double before = at(image, peak.y - dy, peak.x - dx) - background;
        const double middle = at(image, peak.y, peak.x) - background;
        const double after = at(image, peak.y + dy, peak.x + dx) - background;
        if (!(before > 0 && middle > 0 && after > 0)) return 0.0;
        const double bend = std::log(before) - 2 * std::log(middle) + std::log(after);
        if (!(bend < 0)) return 0.0;
        return std::clamp(0.5 * (std::log(before) - std::log(after)) / bend, -0.5, 0.5);
    };
    return {peak.x + offset(1, 0), peak.y + offset(0, 1)};
}

std::optional<WireLsf> RADIALLSFGET(const int16_t* image, Peak peak, int h,
                                    const std::function<void(int i, float v)>& plot) {
    auto bilinear = [image](double x, double y) {
        const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
        const double fx = x - ix, fy = y - iy;
        return (1 - fx) * (1 - fy) * at(image, iy, ix) + fx * (1 - fy) * at(image, iy, ix + 1) +
               (1 - fx) * fy * at(image, iy + 1, ix) + fx * fy * at(image, iy + 1, ix + 1);
    };
    const Point2 centre = wireCentre(image, peak);
    WireLsf out;
    out.lsf.assign(kLsfLength, 0.0f);
    std::vector<float> profile(kLsfLength);
    for (int k = 0; k < kRadialProfiles; ++k) {
        const double t = k * std::numbers::pi / kRadialProfiles, c = std::cos(t), s = std::sin(t);
        for (int i = 0; i < kLsfLength; ++i) {
            const double d = i - kHalfProfile;
            double sum = 0;
            for (int m = -h / 2; m <= h / 2; ++m) sum += bilinear(centre.x + (d * c - m * s), centre.y + (m * c + d * s));
            profile[size_t(i)] = static_cast<float>(sum / (h + 1));
        }
        if (!normaliseProfile(profile)) return std::nullopt;
        for (int i = 0; i < kLsfLength; ++i) {
            if (plot) plot(i, profile[size_t(i)]);
            out.lsf[size_t(i)] += profile[size_t(i)];
        }
    }
    float highest = -9999.0f;
    for (float& v : out.lsf) {
        v /= kRadialProfiles;
        highest = std::max(highest, v);
    }
    // Each profile peaks at 1, so their mean has a positive peak.
    for (float& v : out.lsf) v /= highest;
    out.centre = kLsfCentre;
    return out;
}

std::vector<float> wirePatch(const int16_t* image, Peak peak) {
    std::vector<float> patch(size_t(kWirePatch) * kWirePatch);
    for (int i = 0; i < kWirePatch; ++i)
        for (int j = 0; j < kWirePatch; ++j)
            patch[size_t(i) * kWirePatch + j] = at(image, peak.y + i - kWirePatch / 2, peak.x + j - kWirePatch / 2);
    return patch;
}

double circleMean(const std::vector<float>& patch, double r) {
    double sum = 0;
    int n = 0;
    for (int degrees = 0; degrees < 360; degrees += 2, ++n) {
        const double a = degrees * std::numbers::pi / 180;
        const int col = std::clamp(kWirePatch / 2 + roundHalfEven(r * std::cos(a)), 0, kWirePatch - 1);
        const int row = std::clamp(kWirePatch / 2 + roundHalfEven(r * std::sin(a)), 0, kWirePatch - 1);
        sum += patch[size_t(row) * kWirePatch + col];
    }
    return sum / n;
}

std::optional<std::vector<float>> ringMtf(std::vector<float> patch, double r, double background) {
    const int centre = kWirePatch / 2;
    for (int i = 0; i < kWirePatch; ++i)
        for (int j = 0; j < kWirePatch; ++j) {
            float& v = patch[size_t(i) * kWirePatch + j];
            v = std::hypot(i - centre, j - centre) > r ? 0.0f : static_cast<float>(v - background);
        }
    std::vector<float> im(patch.size(), 0.0f);
    LUMVEK(cfft2df)(patch.data(), im.data(), kWirePatch, LUMVEK_FFT_FORWARD);
    auto magnitude = [&](int row, int col) {
        const size_t k = size_t(row) * kWirePatch + col;
        return std::hypot(double(patch[k]), double(im[k]));
    };
    const double dc = magnitude(0, 0);
    if (!(dc > 0)) return std::nullopt;
    // Radii up to round(128 √2) = 181 receive elements; rings 1 .. 128 are used.
    std::vector<double> sum(kWirePatch, 0.0);
    std::vector<int> count(kWirePatch, 0);
    for (int ky = 1; ky <= centre; ++ky)
        for (int kx = 1; kx <= centre; ++kx) {
            const int ring = roundHalfEven(std::hypot(kx, ky));
            sum[size_t(ring)] += magnitude(ky, kx);
            count[size_t(ring)] += 1;
        }
    std::vector<float> mtf(size_t(centre) + 1, 1.0f);
    for (int i = 1; i <= centre; ++i) mtf[size_t(i)] = static_cast<float>(sum[size_t(i)] / count[size_t(i)] / dc);
    return mtf;
}

}  // namespace halvex
