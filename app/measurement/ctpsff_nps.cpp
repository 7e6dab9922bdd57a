// The noise power spectrum of the measurement window: "Virtual Slit" (slit
// profiles of the current slice or of a slice range) and "Radial NPS" (the
// 2D spectrum of the ROI), the NPS store, its graph and its export.
#include <algorithm>
#include <cmath>

#include "measurement/CTPSFF.h"
#include "measurement/curve_math.h"
#include "measurement/measurement_noise.h"
#include "platform/number_text.h"

namespace halvex {

namespace {
constexpr float kNpsGraphRange = 1.5f;  // cycles/mm
constexpr int kNpsDecades = 4;
constexpr const char* kNoNoise =
    "The ROI holds no noise (a frequency bin has zero power): no spectrum was stored.";
}  // namespace

bool CTPSFF::npsRunPossible(int rows) {
    if (store_.sliceCount <= 0) return false;
    if (const std::string problem = npsRoiProblem(store_.roiLeft, store_.roiTop, store_.roiWidth, rows);
        !problem.empty()) {
        ui().message(problem);
        return false;
    }
    if (!(store_.currentDfov > 0.0f)) {
        ui().message("The slice has no field of view (DFOV 0): its noise spectrum can't be scaled.");
        return false;
    }
    CENADJ.setVisibleAt(0, false);
    CENADJ.setVisibleAt(1, false);
    FINESTP.setVisible(false);
    return true;
}

void CTPSFF::NPSVS_Click() {
    const int n = store_.roiWidth;
    if (!npsRunPossible(slitNpsRows(n))) return;
    const std::string source = ui().prompt("Current image...0 Average...1 ", trimmedInt(npsSource_));
    if (source.empty()) return;
    npsSource_ = static_cast<int16_t>(std::clamp(textToInt(source), 0, 1));

    const NpsBinning binning = slitNpsBinning(n, store_.currentDfov, npsFrequencyBins_);
    npsFrequencyBins_ = static_cast<int16_t>(binning.bins);
    store_.fftSize = static_cast<int16_t>(n);
    const float pixel = store_.currentDfov / 512.0f;
    NpsAccumulator acc(kSlitNpsBins);
    if (npsSource_ == 0) {
        accumulateSlitNps(store_.workImage.data(), store_.workCtOffset, store_.roiLeft, store_.roiTop, n, pixel,
                          binning, static_cast<NpsWindow>(npsWindow_), acc);
    } else {
        const auto range = askSliceRange();
        if (!range) return;
        // The slices are read into a buffer of their own: the slice on show
        // (and its offset) stays as it is.
        std::vector<int16_t> pixels;
        for (int i = range->first; i <= range->second; ++i) {
            setCaption(trimmedInt(i + 1));
            if (!readListedSlice(i, pixels)) return;
            accumulateSlitNps(pixels.data(), store_.slices[static_cast<size_t>(i)].ctOffset, store_.roiLeft,
                              store_.roiTop, n, pixel, binning, static_cast<NpsWindow>(npsWindow_), acc);
        }
    }
    const auto curve = npsCurve(acc, binning);
    if (!curve) {
        ui().message(kNoNoise);
        return;
    }
    const double error = npsRelativeError(acc, binning, npsSampleWorth(false, static_cast<NpsWindow>(npsWindow_)));
    if (kindChanged_ != 1) dataNumber_ = 1;
    const std::string answer = ui().prompt("Data No.= ", trimmedInt(dataNumber_));
    if (answer.empty()) return;
    storeNps(std::clamp(textToInt(answer), 1, CurveStore::kSlots), *curve, npsNoiseNote(error));
}

void CTPSFF::NPSRF_Click() {
    const int n = store_.roiWidth;
    if (!npsRunPossible(n)) return;
    const NpsBinning binning = radialNpsBinning(n, store_.currentDfov);
    npsFrequencyBins_ = static_cast<int16_t>(binning.bins);
    store_.fftSize = static_cast<int16_t>(n);
    NpsAccumulator acc(kRadialNpsBins);
    accumulateRadialNps(store_.workImage.data(), store_.workCtOffset, store_.roiLeft, store_.roiTop, n,
                        store_.currentDfov / 512.0f, binning, static_cast<NpsWindow>(npsWindow_), acc,
                        store_.referenceImage.data());
    const auto curve = npsCurve(acc, binning);
    if (!curve) {
        ui().message(kNoNoise);
        return;
    }
    const double error = npsRelativeError(acc, binning, npsSampleWorth(true, static_cast<NpsWindow>(npsWindow_)));
    if (kindChanged_ != 1) dataNumber_ = 1;
    const int number = textToInt(ui().prompt("Data No.(0...cancel)=", trimmedInt(dataNumber_)));
    if (number <= 0) return;
    storeNps(std::min(number, CurveStore::kSlots), *curve, npsNoiseNote(error));
}

void CTPSFF::storeNps(int number, const CurvePoints& curve, const std::string& noiseNote) {
    const SliceInfo& slice = store_.slices[static_cast<size_t>(std::clamp<int>(store_.currentSlice, 0, kMaxSlices - 1))];
    CurveSlot& slot = npsStore_.slot(number);
    slot = CurveSlot{};
    slot.label = slice.kernel + " " + trimmedInt(slice.mAs) + lossyMark(slice);
    slot.count = static_cast<int16_t>(curve.value.size());
    std::copy(curve.value.begin(), curve.value.end(), slot.value.begin());
    std::copy(curve.frequency.begin(), curve.frequency.end(), slot.abscissa.begin());
    lastNpsSlot_ = number;

    std::string text = slot.label + kLineEnd;
    forNpsExport(slot, [&](double, double v) { text += formatFixed(v, "0.0000") + kLineEnd; });
    ui().setClipboardText(text);

    dataNumber_ = static_cast<int16_t>(number);
    state_ = NpsGraph;
    kindChanged_ = 1;
    WSDSP(false);
    setCaption(slot.label + noiseNote);
}

void CTPSFF::forNpsExport(const CurveSlot& slot, const std::function<void(double f, double v)>& line) const {
    SPLINE spline;
    if (!spline.build(slot.abscissa.data(), slot.value.data(), slot.count)) return;
    const int lines = roundHalfEven(frequencyMaximum_ / frequencyInterval_);
    for (int e = 1; e <= lines; ++e) {
        // The same single-precision product as the stored frequencies.
        const double f = static_cast<float>(e) * frequencyInterval_;
        if (f > slot.abscissa[static_cast<size_t>(slot.count - 1)]) break;
        // Below the first stored frequency the spline is not defined.
        if (!spline.covers(f)) continue;
        line(f, std::pow(10.0, spline.evaluate(f)));
    }
}

void CTPSFF::NPSWF_Click() {
    const std::string answer = ui().prompt("Window function (0...Hanning 1...2D LE)", trimmedInt(npsWindow_));
    if (answer.empty()) return;
    npsWindow_ = static_cast<int16_t>(std::clamp(textToInt(answer), 0, 1));
}

void CTPSFF::NPSCLIP_Click() {
    const std::string answer = ui().prompt("Data No.=", trimmedInt(dataNumber_));
    if (answer.empty()) return;
    const int number = textToInt(answer);
    if (!CurveStore::isSlotNumber(number) || npsStore_.slot(number).empty()) {
        ui().message("no data!");
        return;
    }
    const CurveSlot& slot = npsStore_.slot(number);
    std::string text = "\t" + slot.label + kLineEnd;
    forNpsExport(slot, [&](double f, double v) {
        text += formatFixed(f, "0.00") + "\t" + formatFixed(v, "0.0000") + kLineEnd;
    });
    ui().setClipboardText(text);
}

void CTPSFF::NPSCOMP_Click() {
    state_ = NpsGraph;
    WSDSP(true);
}

void CTPSFF::WSDSP(bool withPrompt) {
    showArrows(false);
    Line1.setVisible(false);
    auto slots = graphSlots(withPrompt);
    if (!slots) return;
    drawnSlots_ = std::move(*slots);

    // The frame: four decades over 0 .. 1.5 cycles/mm, whatever the settings.
    const double x = kNpsGraphRange, y = kNpsDecades;
    graphYScale_ = static_cast<float>(y);
    graphXRange_ = kNpsGraphRange;
    setUserScale(-0.15 * x, 1.3 * x, 1.15 * y, -1.3 * y);
    graph_.clear();
    const uint32_t frame = paletteColour(kFrameColour), grid = paletteColour(kGridColour);
    for (double gx : {1.5, 1.0, 0.5}) graph_.line(gx, 0, gx, y, grid, 1, true);
    for (int j = 0; j <= kNpsDecades; ++j) graph_.line(0, j, x, j, grid, 1, true);
    graph_.line(0, 0, x, 0, frame, 2);
    graph_.line(0, 0, 0, y, frame, 2);
    graph_.setForeColour(frame);
    auto text = [this](double tx, double ty, const std::string& s) {
        graph_.setTextPosition(tx, ty);
        graph_.print(s);
    };
    text(0, -0.07, "0");
    text(x - 0.03, -0.07, "1.5");
    for (int j = 0; j <= kNpsDecades; ++j) {
        text(-0.1, j, "10");
        text(-0.05, j + 0.1, trimmedInt(roundHalfEven(j + npsLogOffset_)));
    }
    text(0.3, -0.09, "Spatial Frequency (cycles/mm)");
    text(-0.14, 4.2, "NPS");

    int row = 0;
    for (int n : drawnSlots_) {
        const CurveSlot& slot = npsStore_.slot(n);
        if (slot.count <= 3) continue;
        const uint32_t colour = paletteColour(colourTable_[static_cast<size_t>(n - 1)]);
        drawCurve(slot, colour, npsLogOffset_);
        const double ly = (0.95 - 0.08 * row++) * y;
        graph_.line(1.0, ly, 1.1, ly, colour, 2);
        text(1.12, ly + 0.05, slot.label);
    }
}

}  // namespace halvex
