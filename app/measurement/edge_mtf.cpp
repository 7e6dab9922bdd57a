#include "measurement/edge_mtf.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/lumvek_binding.h"
#include "platform/number_text.h"

namespace halvex {

namespace {

constexpr int kImageSide = 512;

bool insideImage(int column, int row) { return column >= 0 && row >= 0 && column < kImageSide && row < kImageSide; }

template <class Pixel>
Pixel pixelAt(const Pixel* image, int column, int row) { return image[size_t(row) * kImageSide + column]; }

void addToBin(Esf& esf, int bin, int16_t value) {
    esf.value[static_cast<size_t>(bin)] += value;
    ++esf.count[static_cast<size_t>(bin)];
}

// Half sizes of the circular scan window and its reach along x.
struct CircleWindow {
    int halfW, halfH, reach;
};
CircleWindow circleWindow(const EdgeRoi& roi) {
    const int hw = roundHalfEven(roi.w / 2.0), hh = roundHalfEven(roi.h / 2.0);
    return {hw, hh, 2 * hw};
}

}  // namespace

std::string edgeRoiProblem(const EdgeRoi& roi, bool circular) {
    if (roi.w < 4 || roi.h < 0) return "The ROI is too small for an edge measurement.";
    // The ESF has 1024 bins of a third of a pixel; the circular scan reaches
    // 2 round(w/2) pixels from the centre.
    const int reach = circular ? circleWindow(roi).reach : roi.w;
    if (3 * std::max(roi.w, reach) >= kEsfBins)
        return "The ROI is too wide for the edge MTF: at most 341 pixels.";
    return {};
}

void accumulateLinearEsf(const int16_t* image, const EdgeRoi& roi, float slope, Esf& esf, const EsfPlot& plot) {
    const int c = roi.y0 + roi.h / 2;
    const float limit = 3.0f * roi.w;
    for (int j = roi.y0; j <= roi.y0 + roi.h; ++j) {
        for (int k = roi.x0; k <= roi.x0 + roi.w; ++k) {
            if (!insideImage(k, j)) continue;
            const float t = 3.0f * (static_cast<float>(k - roi.x0) + static_cast<float>(j - c) * slope);
            if (!(t >= 0.0f && t < limit)) continue;
            const int16_t v = pixelAt(image, k, j);
            addToBin(esf, roundHalfEven(t), v);
            if (plot) plot(t / 3.0, v);
        }
    }
}

void accumulateCircularEsf(const int16_t* image, const EdgeRoi& roi, float cx, float cy, Esf& esf,
                           const EsfPlot& plot) {
    forEachCircularEsfSample(image, roi, cx, cy, [&](int bin, double dx, double dy, int16_t v) {
        addToBin(esf, bin, v);
        if (plot) plot(std::sqrt(dx * dx + dy * dy), v);
    });
}

void forEachCircularEsfSample(const int16_t* image, const EdgeRoi& roi, float cx, float cy,
                              const std::function<void(int bin, double dx, double dy, int16_t value)>& visit) {
    const CircleWindow win = circleWindow(roi);
    const int cxr = roundHalfEven(cx), cyr = roundHalfEven(cy);
    const double limit = 3.0 * win.reach;
    for (int j = -2 * win.halfH; j <= 2 * win.halfH; ++j) {
        for (int k = -win.reach; k <= win.reach; ++k) {
            const int column = cxr + k, row = cyr + j;
            if (!insideImage(column, row)) continue;
            const double dx = column - static_cast<double>(cx), dy = row - static_cast<double>(cy);
            const double d = 3.0 * std::sqrt(dx * dx + dy * dy);
            if (d >= limit) continue;
            visit(roundHalfEven(d), dx, dy, pixelAt(image, column, row));
        }
    }
}

int esfLastBin(const EdgeRoi& roi) { return std::min(roundHalfEven(3.0 * roi.w), kEsfBins - 1); }

int esfFirstBin(const EdgeRoi& roi, bool circular) { return circular ? roundHalfEven(0.05 * roi.w) : 0; }

void normaliseEsf(Esf& esf, int first, int last, const EsfPlot& plotMean) {
    first = std::clamp(first, 0, kEsfBins - 1);
    last = std::clamp(last, 0, kEsfBins - 1);
    int previous = -1;  // the last filled bin seen
    for (int i = first; i <= last; ++i) {
        const size_t n = static_cast<size_t>(i);
        if (esf.count[n] <= 0) continue;
        esf.value[n] /= esf.count[n];
        if (plotMean) plotMean(i / 3.0, esf.value[n]);
        if (previous < 0) {
            for (int e = first; e < i; ++e) esf.value[static_cast<size_t>(e)] = esf.value[n];
        } else {
            const double a = esf.value[static_cast<size_t>(previous)], span = i - previous;
            for (int e = previous + 1; e < i; ++e) esf.value[static_cast<size_t>(e)] = a + (esf.value[n] - a) * (e - previous) / span;
        }
        previous = i;
    }
    if (previous >= 0)
        for (int e = previous + 1; e <= last; ++e) esf.value[static_cast<size_t>(e)] = esf.value[static_cast<size_t>(previous)];
}

namespace {

// The bin window of the difference: centre c = 3 (w div 2), from c - dl to
// c + du, with the quarter q at which the side levels are taken.
struct LsfRange {
    int centre, lower, upper, quarter;
};

LsfRange lsfRange(const EdgeRoi& roi, bool circular) {
    const double width = 3.0 * roi.w;
    return {3 * (roi.w / 2), roundHalfEven((circular ? 0.43 : 0.45) * width), roundHalfEven(0.45 * width),
            roundHalfEven(0.25 * width)};
}

float fiveBinMean(const Esf& esf, int centre) {
    double sum = 0;
    for (int i = centre - 2; i <= centre + 2; ++i) sum += esf.value[static_cast<size_t>(std::clamp(i, 0, kEsfBins - 1))];
    return static_cast<float>(sum / 5.0);
}

}  // namespace

EsfSides esfSides(const Esf& esf, const EdgeRoi& roi) {
    const LsfRange r = lsfRange(roi, false);
    return {fiveBinMean(esf, r.centre - r.quarter), fiveBinMean(esf, r.centre + r.quarter)};
}

std::optional<std::vector<float>> esfToLsf(const Esf& esf, const EdgeRoi& roi, bool circular) {
    const LsfRange r = lsfRange(roi, circular);
    const EsfSides sides = esfSides(esf, roi);
    const bool falling = sides.before >= sides.after;
    // Both ends stay inside the table: the ROI width is limited so that 3 w < 1024.
    const int from = std::max(r.centre - r.lower, 0), to = std::min(r.centre + r.upper, kEsfBins - 2);

    std::vector<float> difference(kEsfBins, 0.0f);
    float peak = -9999.0f;
    int peakBin = from;
    for (int j = from; j <= to; ++j) {
        const double here = esf.value[static_cast<size_t>(j)], next = esf.value[static_cast<size_t>(j + 1)];
        const float d = static_cast<float>(falling ? here - next : next - here);
        difference[static_cast<size_t>(j)] = d;
        if (d > peak) peak = d, peakBin = j;
    }
    if (!(peak > 0.0f)) return std::nullopt;
    for (int j = from; j <= to; ++j) difference[static_cast<size_t>(j)] /= peak;

    std::vector<float> lsf(kLsfLength, 0.0f);
    for (int l = std::max(peakBin - kLsfCentre, 0); l <= std::min(peakBin + kLsfCentre - 1, kEsfBins - 1); ++l)
        lsf[static_cast<size_t>(l - peakBin + kLsfCentre)] = difference[static_cast<size_t>(l)];
    return lsf;
}

float LsfFilter::at(int k, float step) const {
    if (a == 0.0f) return 1.0f;
    return std::exp(-std::pow(static_cast<float>(k) * step * a, b));
}

LsfFilter LsfFilter::standard() { return {std::sqrt(-std::log(0.3f)) / 0.9f, 2.0f}; }

float edgeFrequencyStep(float fov, float oversampling) { return 1.0f / (fov / 2.0f / oversampling); }

namespace {

// The forward transform of the LSF in the workspace's float buffers.
void forwardTransform(const std::vector<float>& lsf, std::vector<float>& re, std::vector<float>& im) {
    re.assign(lsf.begin(), lsf.begin() + kEdgeTransformLength);
    im.assign(kEdgeTransformLength, 0.0f);
    LUMVEK(cfft)(re.data(), im.data(), kEdgeTransformLength, LUMVEK_FFT_FORWARD, LUMVEK_FFT_OWN_TABLES);
}

}  // namespace

void smoothLsf(std::vector<float>& lsf, float step, const LsfFilter& filter) {
    constexpr int n = kEdgeTransformLength;
    std::array<float, n> weight{};
    for (int k = 0; k <= n / 2; ++k) weight[static_cast<size_t>(k)] = weight[static_cast<size_t>((n - k) % n)] = filter.at(k, step);
    std::vector<float> re, im;
    forwardTransform(lsf, re, im);
    for (size_t k = 0; k < n; ++k) re[k] *= weight[k], im[k] *= weight[k];
    LUMVEK(cfft)(re.data(), im.data(), n, LUMVEK_FFT_INVERSE, LUMVEK_FFT_OWN_TABLES);
    std::copy(re.begin(), re.begin() + kLsfLength, lsf.begin());
}

std::optional<std::vector<float>> lsfToMtf(const std::vector<float>& lsf, float step, const LsfFilter& filter) {
    std::vector<float> re, im;
    forwardTransform(lsf, re, im);
    const float dc = std::sqrt(re[0] * re[0] + im[0] * im[0]);
    if (!(dc > 0.0f)) return std::nullopt;
    std::vector<float> mtf(kEdgeTransformLength / 2 + 1);
    for (size_t k = 0; k < mtf.size(); ++k) {
        mtf[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]) / dc;
        // The filter's own fall is divided out, but not below 0.1: beyond
        // that it would only amplify noise.
        if (filter.a != 0.0f) mtf[k] /= std::max(filter.at(static_cast<int>(k), step), 0.1f);
    }
    return mtf;
}

float tailMean(const std::vector<float>& lsf, int first, int count) {
    double tails = 0;
    for (int i = 0; i < count; ++i)
        tails += double(lsf[static_cast<size_t>(first + i)]) + lsf[static_cast<size_t>(kLsfLength - 1 - first - i)];
    return static_cast<float>(tails / (2 * count));
}

CurvePoints resampleMtf(const std::vector<float>& mtf, float step, float interval) {
    CurvePoints out;
    const int lastBin = static_cast<int>(mtf.size()) - 1;
    if (lastBin < 0 || !(step > 0.0f) || !(interval > 0.0f)) return out;
    const int count = std::min(roundHalfEven(lastBin * step / interval + 1.0), 511);
    for (int i = 0; i < count; ++i) {
        const float f = static_cast<float>(i) * interval;
        const float position = f / step;
        const int k = static_cast<int>(std::floor(position));
        // The curve ends at its last computed bin; a rounding past it takes
        // that bin rather than reading beyond the spectrum.
        if (k > lastBin || (k == lastBin && position - k > 1e-4f)) break;
        const float w = position - static_cast<float>(k);
        const float value = k >= lastBin ? mtf[static_cast<size_t>(lastBin)]
                                         : (1.0f - w) * mtf[static_cast<size_t>(k)] + w * mtf[static_cast<size_t>(k + 1)];
        out.frequency.push_back(f);
        out.value.push_back(value);
    }
    return out;
}

namespace {

// Where the values between two neighbours cross `level`, as a fraction of
// the step from the first; nothing when they stay on one side.
std::optional<double> crossing(double a, double b, double level) {
    if ((a - level) * (b - level) > 0.0 || a == b) return std::nullopt;
    if (a == level && b == level) return std::nullopt;
    return (level - a) / (b - a);
}

}  // namespace

std::optional<float> fitEdgeSlope(const int16_t* image, const EdgeRoi& roi, float level) {
    const int c = roi.y0 + roi.h / 2;
    const double middle = roi.x0 + roi.w / 2.0;
    double sumU = 0, sumX = 0, sumUU = 0, sumUX = 0;
    int rows = 0;
    for (int j = std::max(roi.y0, 0); j <= std::min(roi.y0 + roi.h, kImageSide - 1); ++j) {
        // The crossing nearest the middle of the row: the edge, not a
        // stray structure near the ROI's border.
        std::optional<double> best;
        for (int k = std::max(roi.x0, 0); k < std::min(roi.x0 + roi.w, kImageSide - 1); ++k) {
            auto f = crossing(pixelAt(image, k, j), pixelAt(image, k + 1, j), level);
            if (!f) continue;
            const double x = k + *f;
            if (!best || std::fabs(x - middle) < std::fabs(*best - middle)) best = x;
        }
        if (!best) continue;
        const double u = j - c;
        sumU += u, sumX += *best, sumUU += u * u, sumUX += u * *best, ++rows;
    }
    const double denominator = rows * sumUU - sumU * sumU;
    if (rows < 3 || denominator == 0.0) return std::nullopt;
    // The edge moves by b pixels per row; the bins follow it with s = -b.
    const double b = (rows * sumUX - sumU * sumX) / denominator;
    return static_cast<float>(-b);
}

namespace {

// Least-squares circle x^2 + y^2 + D x + E y + F = 0 through the points,
// in coordinates relative to `origin` so that the sums stay well scaled.
std::optional<Point2> fitCircle(const std::vector<Point2>& points, Point2 origin, double* radius) {
    if (points.size() < 3) return std::nullopt;
    double m[3][4] = {};
    for (const Point2& p : points) {
        const double x = p.x - origin.x, y = p.y - origin.y, z = -(x * x + y * y);
        const double row[3] = {x, y, 1.0};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) m[r][c] += row[r] * row[c];
            m[r][3] += row[r] * z;
        }
    }
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 3; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
        if (m[pivot][col] == 0.0) return std::nullopt;
        for (int c = 0; c < 4; ++c) std::swap(m[col][c], m[pivot][c]);
        for (int r = 0; r < 3; ++r) {
            if (r == col) continue;
            const double f = m[r][col] / m[col][col];
            for (int c = col; c < 4; ++c) m[r][c] -= f * m[col][c];
        }
    }
    const double d = m[0][3] / m[0][0], e = m[1][3] / m[1][1], f = m[2][3] / m[2][2];
    const double r2 = d * d / 4 + e * e / 4 - f;
    if (!(r2 > 0.0)) return std::nullopt;
    *radius = std::sqrt(r2);
    return Point2{origin.x - d / 2, origin.y - e / 2};
}

// The fit for any pixel type: the measurement window's stored slices and the
// evaluation's mean images take the same crossings and the same rejection.
template <class Pixel>
std::optional<Point2> fitCircleCentreOf(const Pixel* image, const EdgeRoi& roi, float cx, float cy, float level,
                                        CircleFitDetail* detail) {
    const CircleWindow win = circleWindow(roi);
    const int cxr = roundHalfEven(cx), cyr = roundHalfEven(cy);
    const int left = std::max(cxr - win.reach, 0), right = std::min(cxr + win.reach, kImageSide - 1);
    const int top = std::max(cyr - 2 * win.halfH, 0), bottom = std::min(cyr + 2 * win.halfH, kImageSide - 1);
    std::vector<Point2> points;
    for (int j = top; j <= bottom; ++j)
        for (int k = left; k < right; ++k)
            if (auto f = crossing(pixelAt(image, k, j), pixelAt(image, k + 1, j), level)) points.push_back({k + *f, double(j)});
    for (int k = left; k <= right; ++k)
        for (int j = top; j < bottom; ++j)
            if (auto f = crossing(pixelAt(image, k, j), pixelAt(image, k, j + 1), level)) points.push_back({double(k), j + *f});

    double radius = 0;
    auto centre = fitCircle(points, {double(cx), double(cy)}, &radius);
    if (!centre) return std::nullopt;
    // Crossings of other structures in the window (noise, a neighbouring
    // insert) are dropped and the circle fitted again.
    std::vector<Point2> near;
    for (const Point2& p : points)
        if (std::fabs(std::hypot(p.x - centre->x, p.y - centre->y) - radius) < 2.0) near.push_back(p);
    if (near.size() != points.size()) centre = fitCircle(near, *centre, &radius);
    if (centre && detail) {
        double squares = 0;
        for (const Point2& p : near) squares += std::pow(std::hypot(p.x - centre->x, p.y - centre->y) - radius, 2);
        *detail = {radius, std::sqrt(squares / static_cast<double>(near.size())), static_cast<int>(near.size()),
                   static_cast<int>(points.size())};
    }
    return centre;
}

}  // namespace

std::optional<Point2> fitCircleCentre(const int16_t* image, const EdgeRoi& roi, float cx, float cy, float level,
                                      CircleFitDetail* detail) {
    return fitCircleCentreOf(image, roi, cx, cy, level, detail);
}

std::optional<Point2> fitCircleCentre(const float* image, const EdgeRoi& roi, float cx, float cy, float level,
                                      CircleFitDetail* detail) {
    return fitCircleCentreOf(image, roi, cx, cy, level, detail);
}

void subtractLsfBaseline(std::vector<float>& lsf, float baseline) {
    float highest = -9000.0f;
    for (float& v : lsf) {
        v -= baseline;
        highest = std::max(highest, v);
    }
    if (highest == 0.0f) highest = 1.0f;
    for (float& v : lsf) v /= highest;
}

void zeroLsfTails(std::vector<float>& lsf, int left, int right) {
    const int last = static_cast<int>(lsf.size()) - 1;
    for (int i = 0; i <= std::min(left, last); ++i) lsf[static_cast<size_t>(i)] = 0;
    for (int i = std::max(right, 0); i <= last; ++i) lsf[static_cast<size_t>(i)] = 0;
}

std::optional<double> curveCrossing(const std::vector<float>& frequency, const std::vector<float>& value, double level) {
    for (size_t i = 1; i < value.size() && i < frequency.size(); ++i) {
        if (value[i] > level) continue;
        const double a = value[i - 1], b = value[i];
        if (a <= level) return frequency[i - 1];
        return frequency[i - 1] + (frequency[i] - frequency[i - 1]) * (a - level) / (a - b);
    }
    return std::nullopt;
}

}  // namespace halvex
