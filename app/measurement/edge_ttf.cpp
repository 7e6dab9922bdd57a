#include "measurement/edge_ttf.h"

#include <algorithm>
#include <cmath>

namespace halvex {

namespace {

// Bins of the LSF's tails whose mean is the baseline (as the window's first
// estimate takes it).
constexpr int kTailBins = 50;

// The width of the LSF at half its peak, in bins, interpolated on both sides
// of the peak; 0 when it does not fall to half on a side.
double halfMaximumWidth(const std::vector<float>& lsf, int peak) {
    const float half = 0.5f * lsf[static_cast<size_t>(peak)];
    auto side = [&](int step) -> double {
        for (int i = peak; i + step >= 0 && i + step < static_cast<int>(lsf.size()); i += step) {
            const float a = lsf[static_cast<size_t>(i)], b = lsf[static_cast<size_t>(i + step)];
            if (b <= half) return i + step * (a - half) / (a - b) - peak;
        }
        return 0.0;
    };
    const double left = side(-1), right = side(1);
    return left < 0 && right > 0 ? right - left : 0.0;
}

}  // namespace

std::optional<EdgeMtf> automaticEdgeMtf(Esf esf, const EdgeRoi& roi, bool circular, float fov,
                                        const EdgeMtfChoices& choices) {
    if (!(fov > 0.0f)) return std::nullopt;
    normaliseEsf(esf, esfFirstBin(roi, circular), esfLastBin(roi), nullptr);
    auto lsf = esfToLsf(esf, roi, circular);
    if (!lsf) return std::nullopt;
    const float step = edgeFrequencyStep(fov, kEdgeOversampling);
    const LsfFilter filter = LsfFilter::standard();
    smoothLsf(*lsf, step, filter);
    subtractLsfBaseline(*lsf, tailMean(*lsf, 0, kTailBins));

    EdgeMtf out;
    out.lsfFwhmBins = halfMaximumWidth(*lsf, kLsfCentre);
    if (out.lsfFwhmBins > 0) {
        const int reach = static_cast<int>(std::ceil(choices.tailWidths * out.lsfFwhmBins));
        zeroLsfTails(*lsf, kLsfCentre - reach - 1, kLsfCentre + reach + 1);
    }
    const auto mtf = lsfToMtf(*lsf, step, filter);
    if (!mtf) return std::nullopt;
    // Beyond the Nyquist frequency of the pixels the third-pixel bins only
    // repeat what the pixels held.
    const float nyquist = 512.0f / (2.0f * fov);
    out.curve = resampleMtf(*mtf, step, choices.curveInterval);
    while (!out.curve.frequency.empty() && out.curve.frequency.back() > nyquist + 1e-6f) {
        out.curve.frequency.pop_back();
        out.curve.value.pop_back();
    }
    // The crossings on the transform's own bins, not on the resampled curve.
    std::vector<float> binFrequency(mtf->size());
    for (size_t k = 0; k < binFrequency.size(); ++k) binFrequency[k] = static_cast<float>(k) * step;
    out.mtf50 = curveCrossing(binFrequency, *mtf, 0.5);
    out.mtf10 = curveCrossing(binFrequency, *mtf, 0.1);
    return out;
}

}  // namespace halvex
