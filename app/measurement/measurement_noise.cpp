#include "measurement/measurement_noise.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "measurement/wire_mtf.h"
#include "platform/number_text.h"

namespace halvex {

namespace {

constexpr double kNoNoise = std::numeric_limits<double>::infinity();
// Larger PNRs are shown as ">999": the figure no longer matters.
constexpr double kLargestShownPnr = 999;

// Peak over the population SD of `samples` about their mean.
double peakOverSpread(double peak, const std::vector<double>& samples) {
    if (samples.size() < 2) return kNoNoise;
    double sum = 0;
    for (double v : samples) sum += v;
    const double mean = sum / double(samples.size());
    double squares = 0;
    for (double v : samples) squares += (v - mean) * (v - mean);
    const double sd = std::sqrt(squares / double(samples.size()));
    return sd > 0 ? (peak - mean) / sd : kNoNoise;
}

// The first and last nonzero samples; first > last when there are none.
std::pair<int, int> nonzeroRange(const std::vector<float>& lsf) {
    const int n = static_cast<int>(lsf.size());
    int first = 0, last = n - 1;
    while (first < n && lsf[size_t(first)] == 0.0f) ++first;
    while (last >= first && lsf[size_t(last)] == 0.0f) --last;
    return {first, last};
}

}  // namespace

double PnrLimit::at(double size) const { return a * std::pow(size, b); }

int edgeTailGap(const EdgeRoi& roi) {
    // A quarter of the ROI's width from the edge: well beyond the spread of
    // any kernel, and inside the difference's span (0.43 of 3 w either side
    // of the ROI's middle) for an edge near the middle.
    return 3 * roi.w / 4;
}

int lsfSpan(const std::vector<float>& lsf) {
    const auto [first, last] = nonzeroRange(lsf);
    return last - first + 1;
}

double lsfPeakToNoise(const std::vector<float>& lsf, int centre, int gap) {
    if (centre < 0 || centre >= static_cast<int>(lsf.size())) return kNoNoise;
    const auto [first, last] = nonzeroRange(lsf);
    std::vector<double> tails;
    for (int i = first; i <= last; ++i)
        if (std::abs(i - centre) >= gap) tails.push_back(lsf[size_t(i)]);
    return peakOverSpread(lsf[size_t(centre)], tails);
}

double ringPeakToNoise(const std::vector<float>& patch, double r) {
    if (patch.size() != size_t(kWirePatch) * kWirePatch) return kNoNoise;
    const int centre = kWirePatch / 2;
    std::vector<double> annulus;
    for (int i = 0; i < kWirePatch; ++i)
        for (int j = 0; j < kWirePatch; ++j) {
            const double d = std::hypot(i - centre, j - centre);
            if (d >= r / 2 && d <= r) annulus.push_back(patch[size_t(i) * kWirePatch + j]);
        }
    return peakOverSpread(patch[size_t(centre) * kWirePatch + centre], annulus);
}

double meanPeakToNoise(const std::vector<double>& single) {
    double inverseSquares = 0;
    for (double p : single) inverseSquares += 1 / (p * p);
    return inverseSquares > 0 ? double(single.size()) / std::sqrt(inverseSquares) : kNoNoise;
}

bool mtfAboveOne(const CurvePoints& points) {
    for (size_t i = 1; i < points.value.size() && points.value[i] >= 0.5f; ++i)
        if (points.value[i] > 1 + kMtfScatterLimit) return true;
    return false;
}

std::string mtfNoiseNote(double pnr, double limit, bool aboveOne) {
    std::string note = pnr > kLargestShownPnr ? " PNR>999" : " PNR=" + formatFixed(pnr, "0");
    if (!(pnr < limit) && !aboveOne) return note;
    if (aboveOne) note += ", MTF above 1 at low frequencies";
    return note + ": noise decides this MTF; average slices (Multi measure, a slice range or Ave.)";
}

double npsRelativeError(const NpsAccumulator& acc, const NpsBinning& binning, double samplesPerIndependent) {
    double worst = 0;
    for (int k = 1; k <= binning.bins && k < static_cast<int>(acc.count.size()); ++k)
        if (acc.count[size_t(k)] > 0) worst = std::max(worst, std::sqrt(samplesPerIndependent / acc.count[size_t(k)]));
    return worst;
}

double npsSampleWorth(bool radial, NpsWindow window) {
    // Measured over white-noise slices (tools/noise_limits): the Hann taper
    // makes neighbouring frequencies of a profile correlate (1.1 to 1.6
    // samples per independent one for bins 1.3 to 2.6 frequencies wide),
    // the radial window neighbours in two directions (1 for the smallest
    // rings, 2 to 3 for wide ones).
    if (window == kNpsTrend) return 1;
    return radial ? 2.0 : 1.5;
}

std::string npsNoiseNote(double relativeError) {
    std::string note = " SE=" + formatFixed(100 * relativeError, "0") + "%";
    if (!(relativeError > kNpsErrorLimit)) return note;
    return note + ": noise decides this NPS; average more samples (Virtual Slit over a slice range, or a larger ROI)";
}

}  // namespace halvex
