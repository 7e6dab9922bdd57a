// The wire MTFs of the measurement window: "VirtualSlit" and "Radial" (an
// LSF that goes on through the baseline, zeroing and MTFcalc. steps of the
// edge), "2D FFT" (stored at once) and "Multi measure" (the last slit or
// radial measurement repeated over a slice range and averaged).
#include <algorithm>
#include <cmath>

#include "measurement/CTPSFF.h"
#include "measurement/measurement_noise.h"
#include "platform/number_text.h"

namespace halvex {

namespace {
constexpr int kProfileColour = 8;
constexpr const char* kNoWire = "no wire found: the profile through the brightest pixel of the ROI has no positive peak";
}  // namespace

bool CTPSFF::wireGeometryFits(Peak peak) {
    const std::string problem = methodTag_ == "VS-R"
                                    ? radialProblem(peak, slitHeight_)
                                    : slitProblem(peak, slitHeight_, static_cast<SlitDirection>(slitDirection_));
    if (problem.empty()) return true;
    ui().message(problem);
    return false;
}

std::optional<WireLsf> CTPSFF::buildWireLsf(Peak peak) {
    wirePeak_ = peak;
    oversampling_ = 1;
    filter_ = LsfFilter{};
    if (!wireGeometryFits(peak)) return std::nullopt;
    std::optional<WireLsf> lsf;
    if (methodTag_ == "VS-R")
        lsf = RADIALLSFGET(workingImage_.data(), peak, slitHeight_,
                           [this](int i, float v) { dot(i, v, kProfileColour); });
    else
        lsf = VSLITGET(workingImage_.data(), peak, slitHeight_, static_cast<SlitDirection>(slitDirection_));
    if (!lsf) ui().message(kNoWire);
    return lsf;
}

void CTPSFF::showWireLsf(const WireLsf& lsf, int firstTail, int tailCount) {
    lsf_ = lsf.lsf;
    startLsf(lsf.centre);
    peakToNoise_ = lsfPeakToNoise(lsf_, lsf.centre, kWireTailGap);
    plotLsf();
    const float estimate = tailMean(lsf_, firstTail, tailCount);
    Line1.place(0, estimate, 255, estimate);
    Line1.setVisible(true);
    state_ = LsfShown;
    setCaption("Please set baseline.");
}

void CTPSFF::VSLIT_Click() {
    if (store_.sliceCount <= 0) return;
    const std::string direction = ui().prompt("Direction X..0 Y..1 ", trimmedInt(slitDirection_));
    if (direction.empty() || !askFov()) return;
    const std::string height = ui().prompt("Slit height= ", trimmedInt(slitHeight_));
    if (height.empty()) return;
    slitDirection_ = textToInt(direction) >= 1 ? kProfileAlongY : kProfileAlongX;
    slitHeight_ = static_cast<int16_t>(slitHeight(textToInt(height)));
    methodTag_ = slitDirection_ == kProfileAlongY ? "VS-Y" : "VS-X";

    takeWorkingImage(store_.workImage.data(), store_.workCtOffset);
    graph_.clear();
    const auto lsf = buildWireLsf(PEAKSCH(workingImage_.data(), roi()));
    if (!lsf) return;
    setUserScale(0, 255, 1.2, -1.4);
    showWireLsf(*lsf, 10, 40);
}

void CTPSFF::RADIAL_Click() {
    graph_.clear();
    if (store_.sliceCount <= 0 || !askFov()) return;
    const std::string height = ui().prompt("Slit height= ", trimmedInt(slitHeight_));
    if (height.empty()) return;
    slitHeight_ = static_cast<int16_t>(slitHeight(textToInt(height)));
    methodTag_ = "VS-R";

    takeWorkingImage(store_.workImage.data(), store_.workCtOffset);
    // The scale first, so that the 18 profiles are drawn under their mean.
    setUserScale(0, 255, 1.2, -1.5);
    const auto lsf = buildWireLsf(PEAKSCH(workingImage_.data(), roi()));
    if (!lsf) return;
    showWireLsf(*lsf, 20, 20);
}

void CTPSFF::FFT2DMTF_Click() {
    if (store_.sliceCount <= 0) return;
    if (store_.roiWidth >= 128) {
        ui().message("too large ROI");
        return;
    }
    takeWorkingImage(store_.workImage.data(), store_.workCtOffset);
    const Peak peak = PEAKSCH(workingImage_.data(), roi());
    wirePeak_ = peak;
    // The circle the patch is cut to: the peak's mean distance from the
    // ROI's left and top edges.
    const double radius = ((peak.x - store_.roiLeft) + (peak.y - store_.roiTop)) / 2.0;
    if (!wirePatchProblem(peak).empty() || radius < kSmallestWireRadius) {
        ui().message("ROI error");
        return;
    }
    const std::vector<float> patch = wirePatch(workingImage_.data(), peak);
    const std::string background = ui().prompt("Background Average = ", generalSingle(circleMean(patch, radius)));
    if (background.empty() || !askFov()) return;
    const auto mtf = ringMtf(patch, radius, leadingNumber(background));
    if (!mtf) {
        ui().message("The wire's spectrum has no zero-frequency term (|F(0,0)| = 0): no MTF.");
        return;
    }
    mtf_ = *mtf;
    peakToNoise_ = ringPeakToNoise(patch, radius);
    pointRadius_ = radius;
    methodTag_ = "FFT2D";
    store_.inverseDfov = 2.0f / store_.currentDfov;
    graphYScale_ = 1.0f;
    storeMtf("Data No.(0...cancel)=", 4);
}

void CTPSFF::MMTFCLC_Click() {
    if (state_ != MtfGraph || (methodTag_ != "VS-X" && methodTag_ != "VS-Y" && methodTag_ != "VS-R")) return;
    const auto range = askSliceRange();
    if (!range) return;
    setUserScale(0, 255, 1.2, -1.4);
    std::vector<double> sum(kLsfLength / 2 + 1, 0.0), slicePeakToNoise;
    std::vector<int16_t> pixels;
    for (int i = range->first; i <= range->second; ++i) {
        Line1.setVisible(true);
        setCaption(trimmedInt(i + 1));
        // The slices are read into a buffer of their own: the slice on show
        // stays as it is.
        if (!readListedSlice(i, pixels)) return;
        takeWorkingImage(pixels.data(), store_.slices[static_cast<size_t>(i)].ctOffset);
        const auto lsf = buildWireLsf(PEAKSCH(workingImage_.data(), roi()));
        if (!lsf) return;
        lsf_ = lsf->lsf;
        lsfCentre_ = lsf->centre;
        slicePeakToNoise.push_back(lsfPeakToNoise(lsf_, lsfCentre_, kWireTailGap));
        baseline_ = tailMean(lsf_, 10, 40);
        BASESUB();
        zeroTails();
        graph_.clear();
        plotLsf();
        if (!MTFCALC()) return;
        for (size_t k = 0; k < sum.size() && k < mtf_.size(); ++k) sum[k] += mtf_[k];
    }
    Line1.setVisible(false);
    const double slices = range->second - range->first + 1;
    mtf_.assign(sum.size(), 0.0f);
    for (size_t k = 0; k < sum.size(); ++k) mtf_[k] = static_cast<float>(sum[k] / slices);
    peakToNoise_ = meanPeakToNoise(slicePeakToNoise);
    storeMtf("Data No.=", CurveStore::kSlots, true);
}

}  // namespace halvex
