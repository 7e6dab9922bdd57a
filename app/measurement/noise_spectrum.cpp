#include "measurement/noise_spectrum.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "measurement/curve_math.h"
#include "platform/lumvek_binding.h"
#include "platform/number_text.h"

namespace halvex {

namespace {

constexpr int kImageSide = 512;

NpsBinning binning(int n, float fov, int bins, float factor) {
    NpsBinning b;
    b.bins = bins;
    b.frequencyStep = 1.0f / (fov * static_cast<float>(n) / 512.0f);
    b.binWidth = b.frequencyStep * factor * static_cast<float>(n) / 256.0f;
    return b;
}

// The bin of frequency f, or -1 beyond the accumulators.
int binOf(double f, const NpsBinning& b, const NpsAccumulator& acc) {
    const int bin = roundHalfEven(f / b.binWidth);
    return bin >= 0 && bin < static_cast<int>(acc.sum.size()) ? bin : -1;
}

void add(NpsAccumulator& acc, int bin, double power) {
    if (bin < 0) return;
    acc.sum[static_cast<size_t>(bin)] += power;
    acc.count[static_cast<size_t>(bin)] += 1;
}

}  // namespace

NpsBinning slitNpsBinning(int n, float fov, int currentBins) {
    const int bins = n < 256 ? 24 : currentBins;
    return binning(n, fov, bins, bins == 24 ? 5.12f : 2.56f);
}

NpsBinning radialNpsBinning(int n, float fov) { return n == 64 ? binning(n, fov, 24, 5.12f) : binning(n, fov, 48, 2.56f); }

std::string npsRoiProblem(int x0, int y0, int n, int rows) {
    if (n != 64 && n != 128 && n != 256) return "not 2^i data";
    if (x0 < 0 || y0 < 0 || x0 + n > kImageSide || y0 + rows > kImageSide) return "ROI error";
    return {};
}

void accumulateSlitNps(const int16_t* image, int offset, int x0, int y0, int n, float pixelSize,
                       const NpsBinning& binning, NpsWindow window, NpsAccumulator& acc) {
    std::vector<float> profile(static_cast<size_t>(n)), im(profile.size());
    const double scale = double(kSlitRows) * pixelSize * pixelSize / n;
    for (int s = 0; s < n / kSlitRows; ++s) {
        double level = 0;
        for (int k = 0; k < n; ++k) {
            int32_t sum = 0;
            for (int d = 0; d < kSlitRows; ++d) sum += image[size_t(y0 + kSlitRows * s + d) * kImageSide + x0 + k] + offset;
            profile[static_cast<size_t>(k)] = static_cast<float>(sum) / kSlitRows;
            level += profile[static_cast<size_t>(k)];
        }
        level /= n;
        if (window == kNpsHann) {
            // A taper that is 0 at both ends and 1 in the middle, so the
            // profile's ends meet without a jump.
            for (int k = 0; k < n; ++k) {
                const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * k / n);
                profile[static_cast<size_t>(k)] = static_cast<float>((profile[static_cast<size_t>(k)] - level) * w * kHannGain);
            }
        } else {
            const std::vector<double> c = LESQ(2, profile.data(), n);
            for (int k = 0; k < n && c.size() == 3; ++k)
                profile[static_cast<size_t>(k)] -= static_cast<float>(c[0] + k * (c[1] + k * c[2]));
        }
        std::fill(im.begin(), im.end(), 0.0f);
        std::vector<float>& re = profile;
        LUMVEK(cfft)(re.data(), im.data(), n, LUMVEK_FFT_FORWARD, LUMVEK_FFT_OWN_TABLES);
        for (int c = 1; c <= n / 2; ++c) {
            const double power = double(re[size_t(c)]) * re[size_t(c)] + double(im[size_t(c)]) * im[size_t(c)];
            add(acc, binOf(double(c) * binning.frequencyStep, binning, acc), power * scale);
        }
    }
}

void accumulateRadialNps(const int16_t* image, int offset, int x0, int y0, int n, float pixelSize,
                         const NpsBinning& binning, NpsWindow window, NpsAccumulator& acc, int16_t* reference) {
    const size_t size = size_t(n) * n;
    std::vector<float> re(size), im(size, 0.0f);
    double mean = 0;
    for (int j = 0; j < n; ++j)
        for (int k = 0; k < n; ++k) {
            const float v = static_cast<float>(image[size_t(y0 + j) * kImageSide + x0 + k] + offset);
            re[size_t(j) * n + k] = v;
            mean += v;
        }
    mean /= double(size);
    double windowPower = 1;
    if (window == kNpsHann) {
        for (float& v : re) v = static_cast<float>(v - mean);
        HANNING(re.data(), n, reference);
        windowPower = radialHannMeanSquare(n);
    } else {
        LESQ2D(re.data(), n);
    }
    LUMVEK(cfft2df)(re.data(), im.data(), n, LUMVEK_FFT_FORWARD);

    const double scale = double(pixelSize) * pixelSize / (double(n) * n) / windowPower;
    const double df = binning.frequencyStep;
    for (int ky = 1; ky <= n / 2; ++ky)
        for (int kx = 1; kx <= n / 2; ++kx) {
            const int bin = binOf(std::sqrt((ky * df) * (ky * df) + (kx * df) * (kx * df)), binning, acc);
            // The element and its mirror at the negative frequency -ky.
            for (const int row : {ky, n - ky}) {
                const size_t at = size_t(row) * n + kx;
                add(acc, bin, (double(re[at]) * re[at] + double(im[at]) * im[at]) * scale);
            }
        }
}

std::optional<CurvePoints> npsCurve(const NpsAccumulator& acc, const NpsBinning& binning) {
    CurvePoints curve;
    for (int k = 1; k <= binning.bins && k < static_cast<int>(acc.sum.size()); ++k) {
        const size_t i = static_cast<size_t>(k);
        if (acc.count[i] == 0 || !(acc.sum[i] > 0)) return std::nullopt;
        curve.frequency.push_back(static_cast<float>(k) * binning.binWidth);
        curve.value.push_back(static_cast<float>(std::log10(acc.sum[i] / acc.count[i])));
    }
    return curve;
}

}  // namespace halvex
