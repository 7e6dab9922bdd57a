#include "evaluation/object_finder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <span>

#include "measurement/edge_mtf.h"
#include "platform/number_text.h"

namespace halvex {

namespace {

constexpr int kSide = 512;
constexpr int kPixels = kSide * kSide;
constexpr float kBodyLevelHu = -500.0f;
constexpr double kSmoothingPx = 1.5;       // sigma of the detection image's Gaussian
constexpr double kDetectionSds = 5.0;      // threshold in noise SDs of the detection image
constexpr double kThresholdFloorHu = 2.0;  // a noise-free series still has its rounding
constexpr int kEdgeMarginPx = 8;           // the body's blurred edge, kept out of detection
constexpr int kSmallestRegion = 3;         // pixels; fewer is a noise speck
// Across the half maximum a 3 mm insert measures about 2.8 mm under a blur
// of sigma 0.5 mm, and a wire 2.35 sigma (2.1 mm at sigma 0.9 mm).
constexpr double kSmallestInsertMm = 2.5;
constexpr double kWireThresholds = 10.0;   // a wire's peak above the background, in thresholds
constexpr double kMaxElongation = 1.25;
constexpr double kElongationArea = 100;  // pixels; smaller areas are too coarse to judge by their moments
constexpr double kMinKeptFraction = 0.6;
constexpr double kMaxRmsPx = 1.0;
constexpr double kFaintSds = 4.0;          // an edge's contrast in noise SDs of the mean image
constexpr int kMaxFitRounds = 20;
constexpr double kSettledPx = 0.01;
constexpr double kZSds = 8.0, kZFloorHu = 10.0;
constexpr int kZSmallestRegion = 4;
constexpr int kRoiMarginPx = 4;
constexpr double kMadToSd = 1.4826;       // MAD of a normal distribution -> its SD

using Image = std::vector<float>;
using Mask = std::vector<uint8_t>;

int columnOf(int i) { return i % kSide; }
int rowOf(int i) { return i / kSide; }

// The median; reorders the values.
double median(std::span<float> values) {
    if (values.empty()) return 0.0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The SD of the bulk of the values, blind to a minority of outliers (edges,
// objects): 1.4826 times the median absolute deviation.
double robustSd(std::vector<float> values) {
    const double centre = median(values);
    for (float& v : values) v = static_cast<float>(std::fabs(v - centre));
    return kMadToSd * median(values);
}

// A separable Gaussian of sigma pixels, out to 4 sigma, borders repeated.
Image smooth(const Image& in, double sigma) {
    const int r = static_cast<int>(std::ceil(4.0 * sigma));
    std::vector<double> taps;
    double total = 0.0;
    for (int k = -r; k <= r; ++k) total += taps.emplace_back(std::exp(-0.5 * k * k / (sigma * sigma)));
    for (double& t : taps) t /= total;
    Image rows(kPixels), out(kPixels);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            double v = 0.0;
            for (int k = -r; k <= r; ++k) v += taps[size_t(k + r)] * in[size_t(y * kSide + std::clamp(x + k, 0, kSide - 1))];
            rows[size_t(y * kSide + x)] = static_cast<float>(v);
        }
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            double v = 0.0;
            for (int k = -r; k <= r; ++k)
                v += taps[size_t(k + r)] * rows[size_t(std::clamp(y + k, 0, kSide - 1) * kSide + x)];
            out[size_t(y * kSide + x)] = static_cast<float>(v);
        }
    return out;
}

// How many pixels of the mask lie in the (2m + 1)-square about each pixel;
// the square is cut at the image's border.
std::vector<int> boxCounts(const Mask& mask, int m) {
    std::vector<int> rows(kPixels), out(kPixels), prefix(kSide + 1);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) prefix[size_t(x + 1)] = prefix[size_t(x)] + mask[size_t(y * kSide + x)];
        for (int x = 0; x < kSide; ++x)
            rows[size_t(y * kSide + x)] = prefix[size_t(std::min(x + m + 1, kSide))] - prefix[size_t(std::max(x - m, 0))];
    }
    for (int x = 0; x < kSide; ++x) {
        for (int y = 0; y < kSide; ++y) prefix[size_t(y + 1)] = prefix[size_t(y)] + rows[size_t(y * kSide + x)];
        for (int y = 0; y < kSide; ++y)
            out[size_t(y * kSide + x)] = prefix[size_t(std::min(y + m + 1, kSide))] - prefix[size_t(std::max(y - m, 0))];
    }
    return out;
}

// Pixels whose whole (2m + 1)-square lies in the mask (the image's outside
// counts as outside the mask).
Mask erode(const Mask& mask, int m) {
    const std::vector<int> counts = boxCounts(mask, m);
    Mask out(kPixels);
    for (size_t i = 0; i < out.size(); ++i) out[i] = counts[i] == (2 * m + 1) * (2 * m + 1);
    return out;
}

Mask dilate(const Mask& mask, int m) {
    const std::vector<int> counts = boxCounts(mask, m);
    Mask out(kPixels);
    for (size_t i = 0; i < out.size(); ++i) out[i] = counts[i] > 0;
    return out;
}

// Counts mask pixels in squares in constant time (a summed-area table).
class SquareCounter {
public:
    explicit SquareCounter(const Mask& mask) : sum_(size_t(kSide + 1) * (kSide + 1)) {
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                at(x + 1, y + 1) = mask[size_t(y * kSide + x)] + at(x, y + 1) + at(x + 1, y) - at(x, y);
    }
    // The square of `side` pixels from column x0, row y0; it must lie in the image.
    int count(int x0, int y0, int side) const {
        return at(x0 + side, y0 + side) - at(x0, y0 + side) - at(x0 + side, y0) + at(x0, y0);
    }

private:
    int& at(int x, int y) { return sum_[size_t(y) * (kSide + 1) + x]; }
    int at(int x, int y) const { return sum_[size_t(y) * (kSide + 1) + x]; }
    std::vector<int> sum_;
};

// The 4-connected regions of a mask, each a list of pixel indices.
std::vector<std::vector<int>> connectedRegions(const Mask& mask) {
    std::vector<std::vector<int>> regions;
    Mask seen(kPixels);
    std::vector<int> stack;
    for (int start = 0; start < kPixels; ++start) {
        if (!mask[size_t(start)] || seen[size_t(start)]) continue;
        std::vector<int>& region = regions.emplace_back();
        seen[size_t(start)] = 1;
        stack.push_back(start);
        while (!stack.empty()) {
            const int i = stack.back();
            stack.pop_back();
            region.push_back(i);
            const int x = columnOf(i), y = rowOf(i);
            const int neighbours[] = {x > 0 ? i - 1 : -1, x + 1 < kSide ? i + 1 : -1, y > 0 ? i - kSide : -1,
                                      y + 1 < kSide ? i + kSide : -1};
            for (const int j : neighbours) {
                if (j >= 0 && mask[size_t(j)] && !seen[size_t(j)]) {
                    seen[size_t(j)] = 1;
                    stack.push_back(j);
                }
            }
        }
    }
    return regions;
}

Point2 centroid(const std::vector<int>& pixels) {
    double sx = 0, sy = 0;
    for (int i : pixels) sx += columnOf(i), sy += rowOf(i);
    const double n = static_cast<double>(std::max<size_t>(pixels.size(), 1));
    return {sx / n, sy / n};
}

std::string at(double x, double y) { return "(" + formatFixed(x, "0.0") + ", " + formatFixed(y, "0.0") + ") px"; }

// The angle about (cx, cy) clockwise on screen from 12 o'clock, 0 .. 2 pi.
double clockAngle(double x, double y, double cx, double cy) {
    const double a = std::atan2(x - cx, cy - y);
    return a < 0 ? a + 2 * std::numbers::pi : a;
}

// A region's shape across its half maximum on the mean image.
struct Shape {
    int sign = 1;            // +1 brighter than the background, -1 darker
    double peakHu = 0;       // largest |mean - background| in the region
    Point2 centre;           // centroid of the half-maximum area
    double halfArea = 0;     // pixels at or beyond half the peak
    double elongation = 1;   // square root of the ratio of its principal second moments
    bool touchesEdge = false;
};

struct InsertFit {
    Point2 centre;
    double radius = 0;
    CircleFitDetail detail;
    std::vector<int> annulus;
};

class Finder {
public:
    Finder(std::vector<SliceImage> slices, std::vector<int> indices, double pixelMm, FoundObjects& out)
        : slices_(std::move(slices)), indices_(std::move(indices)), pixelMm_(pixelMm), out_(out) {}

    void run() {
        mean_ = meanImage(slices_, 0, count());
        smooth_ = smooth(mean_, kSmoothingPx);
        if (!findBody()) return;
        out_.backgroundHu = background_;
        threshold_ = std::max(kDetectionSds * detectionNoise(), kThresholdFloorHu);
        findZObjects();
        labelRegions();
        for (const std::vector<int>& region : regions_) classify(region);
        placeUniformRois();
        out_.noiseSd = residualSd(uniformPixels_.empty() ? quietPixels() : uniformPixels_);
        for (auto& [list, prefix] : {std::pair{&inserts_, "insert-"}, {&wires_, "wire-"}, {&zObjects_, "zobject-"}}) {
            std::sort(list->begin(), list->end(), [this](const FoundObject& a, const FoundObject& b) {
                return clockAngle(a.cx, a.cy, body_.cx, body_.cy) < clockAngle(b.cx, b.cy, body_.cx, body_.cy);
            });
            for (size_t k = 0; k < list->size(); ++k) (*list)[k].id = prefix + std::to_string(k + 1);
            out_.objects.insert(out_.objects.end(), list->begin(), list->end());
        }
    }

private:
    size_t count() const { return slices_.size(); }
    float hu(size_t k, int i) const { return static_cast<float>(slices_[k].stored[i] + slices_[k].ctOffset); }
    FoundObject spanning(FoundObject o) const {
        o.firstSlice = indices_.front();
        o.lastSlice = indices_.back();
        return o;
    }

    // The largest region above -500 HU; its edge fitted like an insert's at
    // the level halfway between its median and the air's.
    bool findBody() {
        Mask above(kPixels);
        for (int i = 0; i < kPixels; ++i) above[size_t(i)] = smooth_[size_t(i)] > kBodyLevelHu;
        const std::vector<std::vector<int>> regions = connectedRegions(above);
        const auto largest = std::max_element(regions.begin(), regions.end(),
                                              [](const auto& a, const auto& b) { return a.size() < b.size(); });
        if (largest == regions.end()) {
            out_.problems.push_back("no phantom body (nothing above -500 HU)");
            return false;
        }
        Mask body(kPixels);
        for (int i : *largest) body[size_t(i)] = 1;
        // Air or lung inserts are holes in the region, and part of the body.
        Mask outsideBody(kPixels);
        for (int i = 0; i < kPixels; ++i) outsideBody[size_t(i)] = !body[size_t(i)];
        for (const std::vector<int>& gap : connectedRegions(outsideBody))
            if (std::none_of(gap.begin(), gap.end(), [](int i) {
                    return columnOf(i) == 0 || rowOf(i) == 0 || columnOf(i) == kSide - 1 || rowOf(i) == kSide - 1;
                }))
                for (int i : gap) body[size_t(i)] = 1;
        interior_ = erode(body, kEdgeMarginPx);
        std::vector<float> inside, outside;
        std::vector<int> area;
        for (int i = 0; i < kPixels; ++i) {
            if (interior_[size_t(i)]) inside.push_back(smooth_[size_t(i)]);
            if (body[size_t(i)]) area.push_back(i);
            else outside.push_back(mean_[size_t(i)]);
        }
        const Point2 c = centroid(area);
        body_ = {.id = "body", .kind = ObjectKind::Body, .cx = c.x, .cy = c.y,
                 .radiusPx = std::sqrt(double(area.size()) / std::numbers::pi)};
        if (inside.empty()) {
            out_.problems.push_back("the body is too small to look inside (radius " + formatFixed(body_.radiusPx, "0.0") +
                                    " px)");
            out_.objects.push_back(spanning(body_));
            return false;
        }
        background_ = median(inside);
        body_.contrastHu = background_;
        const double air = outside.empty() ? -1000.0 : median(outside);
        CircleFitDetail detail;
        if (auto fitted = fitRound({c.x, c.y}, body_.radiusPx, 0.5 * (background_ + air), detail)) {
            body_.cx = fitted->x, body_.cy = fitted->y, body_.radiusPx = detail.radius;
        } else {
            out_.problems.push_back("the body's edge could not be fitted: its centre and radius are its area's");
        }
        out_.objects.push_back(spanning(body_));
        return true;
    }

    // The auto-edge circle fit about `start` at `level`, refitted about the
    // centre it found until that moves less than 0.01 pixel. Nothing when it
    // fails, or strays from the object (moves by more than the radius, or
    // changes it by half).
    std::optional<Point2> fitRound(Point2 start, double radius, double level, CircleFitDetail& detail) const {
        Point2 centre = start;
        double r = radius;
        for (int round = 0; round < kMaxFitRounds; ++round) {
            const int half = static_cast<int>(std::ceil(0.5 * (r + std::max(5.0, 0.3 * r))));
            const EdgeRoi window{0, 0, 2 * half, 2 * half};
            if (!edgeRoiProblem(window, true).empty()) return std::nullopt;
            const auto fitted = fitCircleCentre(mean_.data(), window, static_cast<float>(centre.x),
                                                static_cast<float>(centre.y), static_cast<float>(level), &detail);
            if (!fitted) return std::nullopt;
            const double move = std::hypot(fitted->x - centre.x, fitted->y - centre.y);
            centre = *fitted;
            r = detail.radius;
            if (std::hypot(centre.x - start.x, centre.y - start.y) > radius || r < 0.5 * radius || r > 1.5 * radius + 2.0)
                return std::nullopt;
            if (move < kSettledPx) return centre;
        }
        return centre;
    }

    // The noise SD of the smoothed mean image: for several slices from one
    // slice's difference from the mean (the objects cancel; its variance is
    // (n - 1) times the mean's), for one slice from the difference of pixels
    // 8 apart along the rows (beyond the smoothing's reach).
    double detectionNoise() const {
        std::vector<float> values;
        if (count() >= 2) {
            Image difference(kPixels);
            for (int i = 0; i < kPixels; ++i) difference[size_t(i)] = hu(0, i) - mean_[size_t(i)];
            difference = smooth(difference, kSmoothingPx);
            for (int i = 0; i < kPixels; ++i)
                if (interior_[size_t(i)]) values.push_back(difference[size_t(i)]);
            return robustSd(std::move(values)) / std::sqrt(double(count() - 1));
        }
        constexpr int kLag = 8;
        for (int i = 0; i < kPixels; ++i)
            if (columnOf(i) + kLag < kSide && interior_[size_t(i)] && interior_[size_t(i + kLag)])
                values.push_back(static_cast<float>((smooth_[size_t(i)] - smooth_[size_t(i + kLag)]) / std::numbers::sqrt2));
        return robustSd(std::move(values));
    }

    // Per pixel the largest deviation of a slice from the median over the
    // slices: an object in few slices stands out, one along z does not.
    void findZObjects() {
        zMask_.assign(kPixels, 0);
        if (count() < 3) return;
        const size_t n = count();
        Image deviation(kPixels, 0.0f);
        std::vector<float> rowValues(n * kSide), column(n);
        for (int y = 0; y < kSide; ++y) {
            for (size_t k = 0; k < n; ++k)
                for (int x = 0; x < kSide; ++x) rowValues[k * kSide + size_t(x)] = hu(k, y * kSide + x);
            for (int x = 0; x < kSide; ++x) {
                if (!interior_[size_t(y * kSide + x)]) continue;
                for (size_t k = 0; k < n; ++k) column[k] = rowValues[k * kSide + size_t(x)];
                const auto [low, high] = std::minmax_element(column.begin(), column.end());
                const float lowest = *low, highest = *high;
                const double middle = median(column);
                deviation[size_t(y * kSide + x)] = static_cast<float>(std::max(highest - middle, middle - lowest));
            }
        }
        deviation = smooth(deviation, kSmoothingPx);
        std::vector<float> values;
        for (int i = 0; i < kPixels; ++i)
            if (interior_[size_t(i)]) values.push_back(deviation[size_t(i)]);
        const double limit = median(values) + std::max(kZSds * robustSd(values), kZFloorHu);
        for (int i = 0; i < kPixels; ++i) zMask_[size_t(i)] = interior_[size_t(i)] && deviation[size_t(i)] > limit;
        for (const std::vector<int>& region : connectedRegions(zMask_))
            if (region.size() >= size_t(kZSmallestRegion)) addZObject(region);
    }

    void addZObject(const std::vector<int>& region) {
        const size_t n = count();
        std::vector<float> profile(n);
        for (size_t k = 0; k < n; ++k) {
            double sum = 0.0;
            for (int i : region) sum += hu(k, i);
            profile[k] = static_cast<float>(sum / double(region.size()));
        }
        std::vector<float> reordered = profile;
        const double base = median(reordered);
        size_t peak = 0;
        for (size_t k = 0; k < n; ++k)
            if (std::fabs(profile[k] - base) > std::fabs(profile[peak] - base)) peak = k;
        const double amplitude = profile[peak] - base;
        if (amplitude == 0.0) return;
        // The half-maximum crossings on both sides, interpolated; the
        // series' end where the profile doesn't fall that far.
        auto above = [&](size_t k) { return (profile[k] - base) / amplitude >= 0.5; };
        auto crossing = [&](size_t inside, size_t outside) {
            const double a = (profile[inside] - base) / amplitude, b = (profile[outside] - base) / amplitude;
            return double(inside) + (double(outside) - double(inside)) * (a - 0.5) / (a - b);
        };
        size_t left = peak, right = peak;
        while (left > 0 && above(left - 1)) --left;
        while (right + 1 < n && above(right + 1)) ++right;
        const double from = left > 0 ? crossing(left, left - 1) : 0.0;
        const double to = right + 1 < n ? crossing(right, right + 1) : double(n - 1);
        const int margin = static_cast<int>(std::ceil(4.0 * (to - from) / (2.0 * std::sqrt(2.0 * std::numbers::ln2))));
        const Point2 c = centroid(region);
        FoundObject o{.id = {}, .kind = ObjectKind::ZObject, .cx = c.x, .cy = c.y,
                      .radiusPx = std::sqrt(double(region.size()) / std::numbers::pi), .contrastHu = amplitude};
        o.firstSlice = indices_[size_t(std::max(0, int(peak) - margin))];
        o.lastSlice = indices_[size_t(std::min(int(n) - 1, int(peak) + margin))];
        zObjects_.push_back(o);
    }

    // Brighter and darker regions of the smoothed mean image inside the body.
    void labelRegions() {
        labels_.assign(kPixels, 0);
        for (const int sign : {1, -1}) {
            Mask mask(kPixels);
            for (int i = 0; i < kPixels; ++i)
                mask[size_t(i)] = interior_[size_t(i)] && sign * (smooth_[size_t(i)] - background_) > threshold_;
            for (std::vector<int>& region : connectedRegions(mask)) {
                if (region.size() < size_t(kSmallestRegion)) continue;
                regions_.push_back(std::move(region));
                for (int i : regions_.back()) labels_[size_t(i)] = static_cast<int>(regions_.size());
            }
        }
    }

    Shape shapeOf(const std::vector<int>& region) const {
        Shape s;
        double bright = 0, dark = 0;
        for (int i : region) {
            bright = std::max(bright, double(mean_[size_t(i)]) - background_);
            dark = std::max(dark, background_ - double(mean_[size_t(i)]));
        }
        s.sign = smooth_[size_t(region.front())] > background_ ? 1 : -1;
        s.peakHu = s.sign > 0 ? bright : dark;
        std::vector<int> half;
        for (int i : region) {
            if (s.sign * (mean_[size_t(i)] - background_) < 0.5 * s.peakHu) continue;
            half.push_back(i);
            // Interior pixels lie kEdgeMarginPx inside the image, so their
            // neighbours are in it.
            s.touchesEdge = s.touchesEdge || !interior_[size_t(i - 1)] || !interior_[size_t(i + 1)] ||
                            !interior_[size_t(i - kSide)] || !interior_[size_t(i + kSide)];
        }
        s.centre = centroid(half);
        s.halfArea = double(half.size());
        double xx = 0, yy = 0, xy = 0;
        for (int i : half) {
            const double dx = columnOf(i) - s.centre.x, dy = rowOf(i) - s.centre.y;
            xx += dx * dx, yy += dy * dy, xy += dx * dy;
        }
        const double mid = 0.5 * (xx + yy), spread = std::hypot(0.5 * (xx - yy), xy);
        s.elongation =
            mid - spread > 0 ? std::sqrt((mid + spread) / (mid - spread)) : std::numeric_limits<double>::infinity();
        return s;
    }

    void classify(const std::vector<int>& region) {
        const Point2 c = centroid(region);
        // A thin object across z leaves its trace in the mean image too.
        if (zMask_[size_t(roundHalfEven(c.y) * kSide + roundHalfEven(c.x))]) return;
        const Shape s = shapeOf(region);
        const std::string where = "object at " + at(s.centre.x, s.centre.y);
        const double acrossMm = 2.0 * std::sqrt(s.halfArea / std::numbers::pi) * pixelMm_;
        if (acrossMm < kSmallestInsertMm) {
            if (s.sign > 0 && s.peakHu >= kWireThresholds * threshold_) addWire(s);
            else
                out_.problems.push_back(where + " is too small for an insert (" + formatFixed(acrossMm, "0.0") +
                                        " mm across its half maximum) and too faint or dark for a wire: not used");
            return;
        }
        if (s.touchesEdge) {
            out_.problems.push_back(where + " touches the body edge: not used");
            return;
        }
        // Faint objects first: their shape and edge are the noise's.
        InsertFit fit;
        const double start = std::sqrt(s.halfArea / std::numbers::pi);
        const Sides first = sidesAt(s.centre, start, fit.annulus);
        if (faint(first.inside - first.outside, fit.annulus, where)) return;
        if (s.halfArea >= kElongationArea && s.elongation > kMaxElongation) {
            out_.problems.push_back(where + " is not round: not used");
            return;
        }
        const auto centre = fitRound(s.centre, start, 0.5 * (first.inside + first.outside), fit.detail);
        if (!centre) {
            out_.problems.push_back(where + ": no round edge could be fitted: not used");
            return;
        }
        if (fit.detail.kept < kMinKeptFraction * fit.detail.crossings || fit.detail.rmsResidual > kMaxRmsPx) {
            out_.problems.push_back(where + " is not round: not used");
            return;
        }
        fit.centre = *centre;
        fit.radius = fit.detail.radius;
        if (nearOther(fit, labels_[size_t(region.front())])) {
            out_.problems.push_back(where + " is too close to another object: not used");
            return;
        }
        const Sides sides = sidesAt(fit.centre, fit.radius, fit.annulus);
        const double contrast = sides.inside - sides.outside;
        if (faint(contrast, fit.annulus, where)) return;
        const double noise = residualSd(fit.annulus);
        inserts_.push_back(spanning({.id = {}, .kind = ObjectKind::Insert, .cx = fit.centre.x, .cy = fit.centre.y,
                                     .radiusPx = fit.radius, .contrastHu = contrast,
                                     .cnr = noise > 0 ? std::fabs(contrast) / noise : 0.0}));
    }

    // Whether an edge of this contrast is too faint to fit: below 4 noise
    // SDs of the mean image in the annulus (CNR below 4 / sqrt(slices)).
    // Says so in `problems`. A series without noise has no faint objects.
    bool faint(double contrast, const std::vector<int>& ring, const std::string& where) {
        const double noise = residualSd(ring);
        const double faintest = kFaintSds / std::sqrt(double(count()));
        if (!(noise > 0) || std::fabs(contrast) / noise >= faintest) return false;
        out_.problems.push_back(where + " is too faint (CNR " + formatFixed(std::fabs(contrast) / noise, "0.00") +
                                ", below 4 / sqrt(slices) = " + formatFixed(faintest, "0.00") + "): not used");
        return true;
    }

    double meanWithin(Point2 c, double radius) const {
        double sum = 0;
        int n = 0;
        forDisc(c, radius, [&](int i, double) { sum += mean_[size_t(i)], ++n; });
        return n ? sum / n : background_;
    }

    // The pixels at distance r + a .. r + 2a from c, a = max(4, 0.3 r): inside
    // the body and part of no detected region, so off the object's blurred
    // edge and its neighbours.
    std::vector<int> annulus(Point2 c, double r) const {
        const double a = std::max(4.0, 0.3 * r);
        std::vector<int> pixels;
        forDisc(c, r + 2 * a, [&](int i, double d) {
            if (d >= r + a && interior_[size_t(i)] && !labels_[size_t(i)] && !zMask_[size_t(i)]) pixels.push_back(i);
        });
        return pixels;
    }

    template <class Visit>
    void forDisc(Point2 c, double radius, Visit visit) const {
        const int x0 = static_cast<int>(std::floor(c.x - radius)), x1 = static_cast<int>(std::ceil(c.x + radius));
        const int y0 = static_cast<int>(std::floor(c.y - radius)), y1 = static_cast<int>(std::ceil(c.y + radius));
        for (int y = std::max(y0, 0); y <= std::min(y1, kSide - 1); ++y)
            for (int x = std::max(x0, 0); x <= std::min(x1, kSide - 1); ++x) {
                const double d = std::hypot(x - c.x, y - c.y);
                if (d <= radius) visit(y * kSide + x, d);
            }
    }

    // The means within 70 % of the radius and over the annulus.
    struct Sides {
        double inside = 0, outside = 0;
    };
    Sides sidesAt(Point2 c, double r, std::vector<int>& ring) const {
        ring = annulus(c, r);
        return {meanWithin(c, 0.7 * r), ring.empty() ? background_ : meanWithinPixels(ring)};
    }

    // Whether another detected region or z object reaches into the insert's
    // background annulus.
    bool nearOther(const InsertFit& fit, int ownLabel) const {
        bool near = false;
        forDisc(fit.centre, fit.radius + 2 * std::max(4.0, 0.3 * fit.radius), [&](int i, double) {
            near = near || (labels_[size_t(i)] && labels_[size_t(i)] != ownLabel) || zMask_[size_t(i)];
        });
        return near;
    }

    // The centroid of the peak's values above the background within 1.5
    // half-maximum widths (3 pixels at least), recentred once, so that the
    // window's cut is even about the wire.
    void addWire(const Shape& s) {
        const double width = 2.0 * std::sqrt(s.halfArea / std::numbers::pi);
        const double reach = std::max(3.0, 1.5 * width);
        Point2 c = s.centre;
        for (int pass = 0; pass < 2; ++pass) {
            double sw = 0, sx = 0, sy = 0;
            forDisc({double(roundHalfEven(c.x)), double(roundHalfEven(c.y))}, reach, [&](int i, double) {
                const double w = mean_[size_t(i)] - background_;
                sw += w, sx += w * columnOf(i), sy += w * rowOf(i);
            });
            if (sw > 0) c = {sx / sw, sy / sw};
        }
        wires_.push_back(spanning({.id = {}, .kind = ObjectKind::Wire, .cx = c.x, .cy = c.y, .radiusPx = 0.5 * width,
                                   .contrastHu = s.peakHu}));
    }

    // The pooled SD of the slices' differences from the mean over the
    // pixels, times sqrt(n / (n - 1)): one slice's noise, without the
    // objects. The plain SD of the pixels for a single slice.
    double residualSd(const std::vector<int>& pixels) const {
        if (pixels.empty()) return 0.0;
        double squares = 0.0;
        if (count() == 1) {
            const double m = meanWithinPixels(pixels);
            for (int i : pixels) squares += std::pow(mean_[size_t(i)] - m, 2);
            return std::sqrt(squares / double(pixels.size()));
        }
        for (size_t k = 0; k < count(); ++k)
            for (int i : pixels) squares += std::pow(double(hu(k, i)) - mean_[size_t(i)], 2);
        return std::sqrt(squares / (double(pixels.size()) * double(count() - 1)));
    }

    double meanWithinPixels(const std::vector<int>& pixels) const {
        double sum = 0.0;
        for (int i : pixels) sum += mean_[size_t(i)];
        return sum / double(pixels.size());
    }

    std::vector<int> quietPixels() const {
        std::vector<int> pixels;
        for (int i = 0; i < kPixels; ++i)
            if (interior_[size_t(i)] && !labels_[size_t(i)] && !zMask_[size_t(i)]) pixels.push_back(i);
        return pixels;
    }

    // A square of `side` pixels about (cx, cy) is free when it lies inside
    // the body's interior and off every detected region, z object and ROI
    // placed before, by kRoiMarginPx.
    struct Square {
        int x0 = 0, y0 = 0, side = 0;
    };
    std::optional<Square> freeSquare(double cx, double cy, int side, const SquareCounter& inside,
                                     const SquareCounter& blocked) const {
        const Square s{roundHalfEven(cx - 0.5 * (side - 1)), roundHalfEven(cy - 0.5 * (side - 1)), side};
        if (s.x0 < 0 || s.y0 < 0 || s.x0 + side > kSide || s.y0 + side > kSide) return std::nullopt;
        if (inside.count(s.x0, s.y0, side) != side * side || blocked.count(s.x0, s.y0, side) != 0) return std::nullopt;
        for (const Square& r : placed_)
            if (s.x0 < r.x0 + r.side + kRoiMarginPx && r.x0 < s.x0 + side + kRoiMarginPx &&
                s.y0 < r.y0 + r.side + kRoiMarginPx && r.y0 < s.y0 + side + kRoiMarginPx)
                return std::nullopt;
        return s;
    }

    void placeUniformRois() {
        const double r = body_.radiusPx;
        // The peripheral squares at two thirds of the radius must fit inside
        // the interior with their outer corners.
        auto fits = [&](int side) { return std::hypot(2.0 * r / 3.0 + side / 2.0, side / 2.0) <= r - kEdgeMarginPx; };
        const int side = fits(64) ? 64 : fits(32) ? 32 : 0;
        if (side == 0) {
            out_.problems.push_back("the body is too small for uniform ROIs (radius " + formatFixed(r, "0.0") + " px)");
            return;
        }
        if (side == 32)
            out_.problems.push_back("the body is small (radius " + formatFixed(r, "0.0") +
                                    " px): uniform ROIs of 32 pixels instead of 64");
        Mask objects(kPixels);
        for (int i = 0; i < kPixels; ++i) objects[size_t(i)] = labels_[size_t(i)] || zMask_[size_t(i)];
        const SquareCounter inside(interior_), blocked(dilate(objects, kRoiMarginPx));
        constexpr double kDegree = std::numbers::pi / 180.0;
        struct Wanted {
            const char* id;
            double angle;  // clockwise from 12 o'clock
            double from, to, angleStep, angleReach;
        };
        const Wanted wanted[] = {{"uniform-centre", 0, 0, r / 3, 15, 180},
                                 {"uniform-1", 0, 2 * r / 3, r / 3, 3, 40},
                                 {"uniform-2", 90, 2 * r / 3, r / 3, 3, 40},
                                 {"uniform-3", 180, 2 * r / 3, r / 3, 3, 40},
                                 {"uniform-4", 270, 2 * r / 3, r / 3, 3, 40}};
        for (const Wanted& w : wanted) {
            std::optional<Square> square;
            // Along the circle first (alternately either way), then inwards
            // (the centre's outwards) in 2-pixel steps.
            const double step = w.to > w.from ? 2.0 : -2.0;
            for (double d = w.from; !square && (d - w.to) * step <= 0; d += step)
                for (double turn = 0; !square && turn <= w.angleReach; turn += w.angleStep)
                    for (const double sign : {1.0, -1.0}) {
                        const double a = (w.angle + sign * turn) * kDegree;
                        square = freeSquare(body_.cx + d * std::sin(a), body_.cy - d * std::cos(a), side, inside, blocked);
                        if (square || turn == 0 || d == 0) break;
                    }
            if (!square) {
                out_.problems.push_back(std::string("no room for ") + w.id + " inside the body and off the objects");
                continue;
            }
            placed_.push_back(*square);
            for (int y = square->y0; y < square->y0 + side; ++y)
                for (int x = square->x0; x < square->x0 + side; ++x) uniformPixels_.push_back(y * kSide + x);
            out_.objects.push_back(spanning({.id = w.id, .kind = ObjectKind::Uniform,
                                             .cx = square->x0 + 0.5 * (side - 1), .cy = square->y0 + 0.5 * (side - 1),
                                             .radiusPx = 0.5 * side, .roiSide = side,
                                             .contrastHu = meanWithinSquare(*square)}));
        }
    }

    double meanWithinSquare(const Square& s) const {
        double sum = 0.0;
        for (int y = s.y0; y < s.y0 + s.side; ++y)
            for (int x = s.x0; x < s.x0 + s.side; ++x) sum += mean_[size_t(y * kSide + x)];
        return sum / (double(s.side) * s.side);
    }

    std::vector<SliceImage> slices_;
    std::vector<int> indices_;  // of the slices used, in the caller's list
    double pixelMm_;
    FoundObjects& out_;
    Image mean_, smooth_;
    Mask interior_, zMask_;
    FoundObject body_;
    double background_ = 0, threshold_ = 0;
    std::vector<std::vector<int>> regions_;
    std::vector<int> labels_;  // region number + 1 per pixel, 0 outside every region
    std::vector<FoundObject> inserts_, wires_, zObjects_;
    std::vector<Square> placed_;
    std::vector<int> uniformPixels_;
};

}  // namespace

std::vector<float> meanImage(const std::vector<SliceImage>& slices, size_t first, size_t last) {
    std::vector<double> sum(kPixels, 0.0);
    for (size_t k = first; k < last; ++k)
        for (size_t i = 0; i < sum.size(); ++i) sum[i] += slices[k].stored[i] + slices[k].ctOffset;
    std::vector<float> mean(kPixels);
    const double n = static_cast<double>(std::max<size_t>(last - first, 1));
    for (size_t i = 0; i < sum.size(); ++i) mean[i] = static_cast<float>(sum[i] / n);
    return mean;
}

FoundObjects findObjects(const std::vector<SliceImage>& slices, float pixelMm) {
    FoundObjects out;
    std::vector<SliceImage> used;
    std::vector<int> indices;
    for (size_t k = 0; k < slices.size(); ++k) {
        if (slices[k].stored) {
            used.push_back(slices[k]);
            indices.push_back(static_cast<int>(k));
        } else {
            out.problems.push_back("slice " + std::to_string(k) + " has no pixels: not used");
        }
    }
    if (used.empty()) {
        out.problems.push_back("no slices to look at");
        return out;
    }
    if (!(pixelMm > 0.0f) || !std::isfinite(pixelMm)) {
        out.problems.push_back("the pixel size (" + strSingle(pixelMm) + " mm) is not usable: no objects found");
        return out;
    }
    Finder(std::move(used), std::move(indices), pixelMm, out).run();
    return out;
}

}  // namespace halvex
