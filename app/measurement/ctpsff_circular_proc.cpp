// "Circular Proc": the circular-edge MTF of a rod over a run of slices. The
// user finds the rod's centre near the start and near the end of the run on
// an averaged, smoothed image (steps 0 to 3); step 4 gathers one ESF from
// every slice of the run with the centre moved linearly between the two,
// ready for "Edge_OK".
#include <algorithm>
#include <cmath>

#include "measurement/CTPSFF.h"
#include "platform/number_text.h"
#include "spectrel.h"

namespace halvex {

namespace {
constexpr int kSampleColour = 13;
constexpr int kMeanColour = 14;
constexpr int kPlotEvery = 16;  // of the ESF samples, so that long runs draw quickly
}  // namespace

void CTPSFF::REDGEPRO_Click() {
    const std::string answer =
        ui().prompt("SmoothST..0 Start...1 SmoothEN...2 End...3 Edge making ..4 ", trimmedInt(proc_.step));
    if (answer.empty()) return;
    const int step = textToInt(answer);
    // Any answer moves on to the step after it, even one that runs nothing.
    proc_.step = static_cast<int16_t>(std::clamp(step + 1, 0, 5));
    switch (step) {
        case 0: return smoothAround(false);
        case 1: return recordCentre(false);
        case 2: return smoothAround(true);
        case 3: return recordCentre(true);
        case 4: return AESFDSP();
        default: return;
    }
}

std::optional<int> CTPSFF::askSlice(const std::string& prompt, const std::string& defaultText) {
    const std::string answer = ui().prompt(prompt, defaultText);
    if (answer.empty()) return std::nullopt;
    const int index = textToInt(answer) - 1;
    if (index < 0 || index >= store_.sliceCount) {
        ui().message(prompt + ": give a slice number from 1 to " + std::to_string(store_.sliceCount) + ".");
        return std::nullopt;
    }
    return index;
}

void CTPSFF::smoothAround(bool end) {
    if (store_.sliceCount <= 0) return;
    if (!(store_.currentDfov > 0.0f)) {
        ui().message("The slice has no field of view (DFOV 0): the smoothing can't be scaled.");
        return;
    }
    store_.fftSize = 512;
    const std::string frequency = ui().prompt("Freq. ", generalSingle(proc_.frequency));
    if (frequency.empty()) return;
    if (!(leadingNumber(frequency) > 0.0)) {
        ui().message("Freq.: give the smoothing frequency in cycles/mm, above 0.");
        return;
    }
    proc_.frequency = static_cast<float>(leadingNumber(frequency));
    const auto [startText, endText] = rangeDefaults ? rangeDefaults() : std::pair<std::string, std::string>{"1", "1"};
    const auto centre = askSlice(end ? "End No. " : "Strat No. ", end ? endText : startText);
    if (!centre) return;
    const std::string average = ui().prompt("average no ", trimmedInt(proc_.average));
    if (average.empty()) return;
    if (textToInt(average) < 1) {
        ui().message("average no: give the number of slices to average, 1 or more.");
        return;
    }
    proc_.average = static_cast<int16_t>(std::min(textToInt(average), int(kMaxSlices)));
    const int half = proc_.average / 2, first = *centre - half, last = *centre + half;
    if (first < 0 || last >= store_.sliceCount) {
        ui().message("average no: slices " + std::to_string(first + 1) + " to " + std::to_string(last + 1) +
                     " are not all in the list.");
        return;
    }

    std::vector<double> sum(kSlicePixels, 0.0);
    std::vector<int16_t> pixels;
    for (int i = first; i <= last; ++i) {
        setCaption(trimmedInt(i));
        if (!readListedSlice(i, pixels)) return;
        for (int p = 0; p < kSlicePixels; ++p) sum[size_t(p)] += pixels[size_t(p)];
    }
    // An even count still sums 2 (count / 2) + 1 slices: divide by those.
    const double summed = last - first + 1;
    for (int p = 0; p < kSlicePixels; ++p) store_.workImage[size_t(p)] = roundHalfEven16(sum[size_t(p)] / summed);
    store_.workCtOffset = store_.slices[static_cast<size_t>(*centre)].ctOffset;
    store_.inverseDfov = 1.0f / store_.currentDfov;

    mklsmooth_tfset(kSide, kSide, store_.currentDfov / 512.0f, proc_.frequency, nullptr, 0);
    mklsmooth_wotf(store_.workImage.data(), store_.scratchImage.data(), kSide, kSide);
    mklsmooth_tffree();
    store_.workImage = store_.scratchImage;
    if (imageChanged) imageChanged();
}

void CTPSFF::recordCentre(bool end) {
    const auto [startText, endText] = rangeDefaults ? rangeDefaults() : std::pair<std::string, std::string>{"1", "1"};
    const auto slice = askSlice(end ? "To " : "From ", end ? endText : startText);
    if (!slice) return;
    (end ? proc_.endX : proc_.startX) = centreX_;
    (end ? proc_.endY : proc_.startY) = centreY_;
    (end ? proc_.endSlice : proc_.startSlice) = static_cast<int16_t>(*slice);
}

void CTPSFF::AESFDSP() {
    store_.fftSize = 256;
    esf_ = Esf{};
    graph_.clear();
    const EdgeRoi r = roi();
    if (const std::string problem = edgeRoiProblem(r, true); !problem.empty()) {
        ui().message(problem);
        return;
    }
    const bool moving = proc_.startX != proc_.endX || proc_.startY != proc_.endY;
    if (moving && proc_.startSlice == proc_.endSlice) {
        ui().message("The start and end centres were recorded on the same slice: record the end on another slice.");
        return;
    }
    const auto [startText, endText] = rangeDefaults ? rangeDefaults() : std::pair<std::string, std::string>{"1", "1"};
    const auto first = askSlice("From ", startText);
    if (!first) return;
    const auto last = askSlice("To ", endText);
    if (!last) return;
    if (*last < *first) {
        ui().message("To: the last slice must not lie before the first (" + std::to_string(*first + 1) + ").");
        return;
    }

    const int c = store_.slices[static_cast<size_t>(*first)].ctOffset;
    std::vector<int16_t> pixels;
    int sample = 0;
    auto plot = [&](double x, double v) {
        if (sample++ % kPlotEvery == 0) dot(x, v, kSampleColour);
    };
    for (int k = *first; k <= *last; ++k) {
        setCaption(trimmedInt(k));
        if (!readListedSlice(k, pixels)) return;
        for (int16_t& v : pixels) v = static_cast<int16_t>(std::clamp(v + c, -32768, 32767));
        if (k == *first) scaleToEdge(pixels.data());
        // The centre moves linearly from the start slice's to the end slice's.
        const double t = moving ? double(k - proc_.startSlice) / (proc_.endSlice - proc_.startSlice) : 0.0;
        const float x = static_cast<float>(proc_.startX + (proc_.endX - proc_.startX) * t);
        const float y = static_cast<float>(proc_.startY + (proc_.endY - proc_.startY) * t);
        accumulateCircularEsf(pixels.data(), r, x, y, esf_, plot);
    }
    normaliseEsf(esf_, esfFirstBin(r, true), esfLastBin(r), [this](double x, double v) { dot(x, v, kMeanColour); });
    // Ready for "Edge_OK"; the arrows would rebuild the ESF from one slice.
    methodTag_ = "RE";
    oversampling_ = kEdgeOversampling;
    store_.pixelSize = store_.currentDfov / 512.0f;
    state_ = Idle;
    showArrows(false);
    CENADJ.setVisibleAt(2, false);
    CENADJ.setVisibleAt(3, false);
    setCaption("ESF of slices " + std::to_string(*first + 1) + " to " + std::to_string(*last + 1) +
               ": choose Edge_OK.");
}

}  // namespace halvex
