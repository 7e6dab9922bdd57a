// The edge MTF of the measurement window: ESF of a straight or round edge,
// tuned with the arrows (or fitted by "Auto edge"), LSF, baseline and tail
// zeroing, MTF.
#include <algorithm>
#include <cmath>
#include <limits>

#include "measurement/CTPSFF.h"
#include "measurement/measurement_noise.h"
#include "platform/lumvek_binding.h"
#include "platform/number_text.h"

namespace halvex {

namespace {
constexpr int kPixelColour = 13;
constexpr int kMeanColour = 14;
constexpr int kLsfColour = 15;
constexpr const char* kNoFov = "The slice has no field of view (DFOV 0): its MTF can't be scaled.";
}  // namespace

EdgeRoi CTPSFF::roi() const { return {store_.roiLeft, store_.roiTop, store_.roiWidth, store_.roiHeight}; }

void CTPSFF::EDGE_Click() {
    if (!setUpEdge(false)) return;
    slope_ = 0;
    state_ = LinearEsf;
    methodTag_ = "EG";
    rebuildEsf();
}

void CTPSFF::REDGE_Click() {
    if (!setUpEdge(true)) return;
    if (store_.newRoi == 1) {
        centreX_ = static_cast<float>(store_.roiLeft + store_.roiWidth / 2);
        centreY_ = static_cast<float>(store_.roiTop + store_.roiHeight / 2);
    }
    state_ = CircularEsf;
    methodTag_ = "RE";
    rebuildEsf();
}

bool CTPSFF::setUpEdge(bool circular) {
    showArrows(true);
    // The round edge is moved in x and y, the straight one only turned.
    CENADJ.setVisibleAt(2, circular);
    CENADJ.setVisibleAt(3, circular);
    if (store_.sliceCount <= 0) return false;
    if (const std::string problem = edgeRoiProblem(roi(), circular); !problem.empty()) {
        ui().message(problem);
        return false;
    }
    graph_.clear();
    takeWorkingImage(store_.workImage.data(), store_.workCtOffset);
    LUMVEK(var2trn)(store_.referenceImage.data(), workingImage_.data(), kSlicePixels);

    scaleToEdge(workingImage_.data());
    store_.pixelSize = store_.currentDfov / 512.0f;
    oversampling_ = kEdgeOversampling;
    Line1.setVisible(false);
    return true;
}

void CTPSFF::scaleToEdge(const int16_t* image) {
    const EdgeRoi r = roi();
    int lowest = 9999, highest = -9999;
    for (int j = std::max(r.y0, 0); j <= std::min(r.y0 + r.h, kSide - 1); ++j)
        for (int k = std::max(r.x0, 0); k <= std::min(r.x0 + r.w, kSide - 1); ++k) {
            const int v = image[size_t(j) * kSide + k];
            lowest = std::min(lowest, v), highest = std::max(highest, v);
        }
    const double range = static_cast<double>(highest) - lowest;
    setUserScale(0, r.w, highest + 0.2 * range, -1.4 * range);
}

void CTPSFF::rebuildEsf() {
    graph_.clear();
    PESFDSP();
}

void CTPSFF::PESFDSP() {
    esf_ = Esf{};
    const EdgeRoi r = roi();
    const bool circular = circularEdge();
    auto pixel = [this](double x, double v) { dot(x, v, kPixelColour); };
    if (circular) accumulateCircularEsf(workingImage_.data(), r, centreX_, centreY_, esf_, pixel);
    else accumulateLinearEsf(workingImage_.data(), r, slope_, esf_, pixel);
    normaliseEsf(esf_, esfFirstBin(r, circular), esfLastBin(r), [this](double x, double v) { dot(x, v, kMeanColour); });
}

void CTPSFF::moveRoiToCentre() {
    store_.roiLeft = static_cast<int16_t>(roundHalfEven(centreX_) - store_.roiWidth / 2);
    store_.roiTop = static_cast<int16_t>(roundHalfEven(centreY_) - store_.roiHeight / 2);
    if (roiMoved) roiMoved();
}

void CTPSFF::AUTOEDGE_Click() {
    if (state_ != LinearEsf && state_ != CircularEsf) {
        ui().message("Auto edge fits the edge of the ESF shown: choose Linear Edge or Circular Edge first.");
        return;
    }
    const float level = esfSides(esf_, roi()).middle();
    if (state_ == LinearEsf) {
        const auto fitted = fitEdgeSlope(workingImage_.data(), roi(), level);
        if (!fitted) {
            ui().message("no edge found");
            return;
        }
        slope_ = *fitted;
    } else {
        const auto fitted = fitCircleCentre(workingImage_.data(), roi(), centreX_, centreY_, level);
        if (!fitted || std::fabs(fitted->x - centreX_) > kSide || std::fabs(fitted->y - centreY_) > kSide) {
            ui().message("no edge found");
            return;
        }
        centreX_ = static_cast<float>(fitted->x);
        centreY_ = static_cast<float>(fitted->y);
        moveRoiToCentre();
    }
    setCaption(state_ == LinearEsf ? "slope " + formatFixed(slope_, "0.0000")
                                   : "centre " + formatFixed(centreX_, "0.00") + ", " + formatFixed(centreY_, "0.00"));
    rebuildEsf();
}

void CTPSFF::EDGEOK_Click() {
    if (methodTag_ != "EG" && methodTag_ != "RE") return;
    if (!(store_.currentDfov > 0.0f)) {
        ui().message(kNoFov);
        return;
    }
    auto lsf = esfToLsf(esf_, roi(), circularEdge());
    if (!lsf) {
        // A flat ESF has no edge to differentiate; the ESF stays on show.
        ui().message("no edge found");
        return;
    }
    setUserScale(64, 128, 1.2, -1.3);
    graph_.clear();

    lsf_ = std::move(*lsf);
    // The noise as the difference has it: the MTF divides the smoothing
    // out again.
    peakToNoise_ = lsfPeakToNoise(lsf_, kLsfCentre, edgeTailGap(roi()));
    store_.inverseDfov = edgeFrequencyStep(store_.currentDfov, kEdgeOversampling);
    filter_ = LsfFilter::standard();
    smoothLsf(lsf_, store_.inverseDfov, filter_);
    startLsf(kLsfCentre);

    const float estimate = tailMean(lsf_, 0, 50);
    Line1.place(0, estimate, 256, estimate);
    Line1.setVisible(true);
    plotLsf();

    CENADJ.setVisibleAt(0, false);
    CENADJ.setVisibleAt(1, false);
    FINESTP.setVisible(false);
    state_ = LsfShown;
    store_.newRoi = 0;
}

void CTPSFF::startLsf(int centre) {
    lsfCentre_ = centre;
    lsfBackup_ = lsf_;
    leftZeroLimit_ = kNoLeftZero;
    rightZeroLimit_ = kNoRightZero;
}

void CTPSFF::zeroTails() { zeroLsfTails(lsf_, leftZeroLimit_, rightZeroLimit_); }

void CTPSFF::plotLsf() {
    const uint32_t colour = paletteColour(kLsfColour);
    graph_.point(0, lsf_[0], colour);
    for (int i = 1; i < kLsfLength; ++i)
        graph_.line(i - 1, lsf_[static_cast<size_t>(i - 1)], i, lsf_[static_cast<size_t>(i)], colour);
}

void CTPSFF::BASESET_Click() {
    if (state_ != LsfShown) return;
    baseline_ = static_cast<float>(Line1.y1());
    BASESUB();
    state_ = Zeroing;
    setCaption("Zeroing mode. Please set zeroing points.");
}

void CTPSFF::BASESUB() {
    subtractLsfBaseline(lsf_, baseline_);
    graph_.clear();
    plotLsf();
    Line1.place(Line1.x1(), 0, Line1.x2(), 0);
}

void CTPSFF::windowMouseDown(int button, float x, float y) {
    if (state_ == LsfShown && button == 1) {
        Line1.place(3, y, 253, y);
    } else if (state_ == Zeroing && button != 0) {
        zeroTail(x);
    }
}

void CTPSFF::zeroTail(float x) {
    const int at = roundHalfEven(x);
    // A click beyond either end zeroes up to that end and no further.
    if (at < lsfCentre_) {
        zeroLsfTails(lsf_, at, kLsfLength);
        leftZeroLimit_ = static_cast<int16_t>(std::max(at, -32768));
    } else {
        zeroLsfTails(lsf_, -1, at);
        rightZeroLimit_ = static_cast<int16_t>(std::min(at, 32767));
    }
    graph_.clear();
    plotLsf();
}

bool CTPSFF::MTFCALC() {
    if (methodTag_ == "zMTF" || methodTag_ == "tMTF") {
        store_.fftSize = kEdgeTransformLength;
        store_.inverseDfov = profileStep_;
    } else {
        if (!(store_.currentDfov > 0.0f)) {
            ui().message(kNoFov);
            return false;
        }
        store_.fftSize = kEdgeTransformLength;
        store_.inverseDfov = edgeFrequencyStep(store_.currentDfov, oversampling_);
    }
    auto mtf = lsfToMtf(lsf_, store_.inverseDfov, filter_);
    if (!mtf) {
        ui().message("The LSF is zero everywhere: no MTF.");
        return false;
    }
    mtf_ = std::move(*mtf);
    return true;
}

void CTPSFF::MTFCLC_Click() {
    if (state_ != Zeroing) return;
    if (MTFCALC()) storeMtf();
}

}  // namespace halvex
