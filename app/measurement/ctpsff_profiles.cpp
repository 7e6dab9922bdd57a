// The slice sensitivity profile (SSP) and the temporal sensitivity profile
// (TSP) of the measurement window: the ROI's mean over a slice range as a
// profile along z (or time), its half- and tenth-maximum widths, the eight
// profile slots with their graph and export, and the hand-over of a profile
// to the MTF as a z or t LSF.
#include <algorithm>
#include <cmath>

#include "measurement/CTPSFF.h"
#include "platform/number_text.h"

namespace halvex {

namespace {
constexpr int kFewestSlices = 11;
constexpr const char* kNoCrossing =
    "The profile does not cross half (or a tenth) of its peak on both sides: widen the slice range.";
}  // namespace

void CTPSFF::measureProfile(bool temporal) {
    CENADJ.setVisibleAt(0, false);
    CENADJ.setVisibleAt(1, false);
    FINESTP.setVisible(false);
    const EdgeRoi r = roi();
    if (r.x0 < 0 || r.y0 < 0 || r.w < 0 || r.h < 0 || r.x0 + r.w >= kSide || r.y0 + r.h >= kSide) {
        ui().message("ROI error");
        return;
    }
    const auto range = askSliceRange();
    if (!range) return;
    const auto [first, last] = *range;
    if (last - first < kFewestSlices - 1) {
        setCaption("Image number error");
        return;
    }
    if (last - first + 1 > kProfileCapacity) {
        ui().message("A profile holds at most 512 slices: choose a shorter range.");
        return;
    }
    const SliceInfo& head = store_.slices[static_cast<size_t>(first)];
    std::vector<float> p;
    std::vector<int16_t> pixels;
    for (int i = first; i <= last; ++i) {
        setCaption(trimmedInt(i));
        if (!readListedSlice(i, pixels)) return;
        const double inner = roiMean(pixels.data(), r);
        p.push_back(static_cast<float>(temporal ? inner + head.ctOffset : inner - ringMean(pixels.data(), r)));
    }
    if (endsDiffer(p, temporal ? 30.0f : 15.0f)) {
        ui().message("wrong data !");
        return;
    }
    if (temporal && !askHelicalScan()) return;
    const auto dz = sliceInterval(head.position, store_.slices[size_t(first + 1)].position,
                                  store_.slices[size_t(last - 1)].position, store_.slices[size_t(last)].position);
    if (!dz) {
        ui().message("wrong data!");
        return;
    }
    const double interval =
        temporal ? *dz / (helical_.pitch * helical_.rows * helical_.rowWidth) * helical_.rotation : *dz;
    const ProfileWidths widths = profileWidths(p, temporal);
    if (!widths.peak) {
        ui().message("The profile has no peak above its ends: nothing to measure.");
        return;
    }
    if (!widths.crossed) {
        ui().message(kNoCrossing);
        return;
    }
    const double fwhm = widths.fwhm * interval, fwtm = widths.fwtm * interval;

    Profile& kept = temporal ? tsp_ : ssp_;
    kept = Profile{p, interval, -widths.centre * interval};

    if (kindChanged_ != (temporal ? 3 : 2)) profileDefaultNumber_ = 1;
    const std::string answer = ui().prompt("Data No.= ", trimmedInt(profileDefaultNumber_));
    if (answer.empty()) return;
    profileDataNumber_ = static_cast<int16_t>(std::clamp(textToInt(answer), 1, 2));
    ProfileSlot& slot = profileSlots_[static_cast<size_t>(profileDataNumber_ - 1)];
    ProfilePoints& points = temporal ? slot.tsp : slot.ssp;
    points = ProfilePoints{};
    points.count = static_cast<int16_t>(p.size());

    std::string text = temporal ? "Rot.speed\t" + formatFixed(head.rotationTime, "0.00")
                                : "Thickness\t" + formatFixed(head.thickness, "0.00");
    text += kLineEnd;
    for (size_t k = 0; k < p.size(); ++k) {
        points.x[k] = static_cast<float>(double(k) * interval + kept.offset);
        points.v[k] = p[k];
        text += formatFixed(points.x[k], temporal ? "0.0000" : "0.000") + "\t" + formatFixed(p[k], "0.000") + kLineEnd;
    }
    text += "FWHM \t" + formatFixed(fwhm, "0.000") + kLineEnd;
    text += "FWTM \t" + formatFixed(fwtm, "0.000") + kLineEnd;
    slot.fwhm = static_cast<float>(fwhm);
    slot.fwtm = static_cast<float>(fwtm);
    slot.label = (temporal ? formatFixed(helical_.rotation, "0.00") : formatFixed(head.thickness, "0.0")) + lossyMark(head);
    setCaption("FWHM= " + formatFixed(fwhm, "0.000") + " FWTM=" + formatFixed(fwtm, "0.000") + " clipped!");
    ui().setClipboardText(text);
    profileGraph(temporal, false);
    kindChanged_ = temporal ? 3 : 2;
    state_ = Idle;
}

bool CTPSFF::askHelicalScan() {
    auto ask = [this](const std::string& prompt, double value, double lo, double hi, auto& into) -> bool {
        const std::string answer = ui().prompt(prompt, generalSingle(static_cast<float>(value)));
        if (answer.empty()) return false;
        into = static_cast<std::remove_reference_t<decltype(into)>>(std::clamp(leadingNumber(answer), lo, hi));
        return true;
    };
    for (;;) {
        if (!ask("Width of 1_detector-row (mm) = ", helical_.rowWidth, 0.3, 5.0, helical_.rowWidth) ||
            !ask("Row no. (2-320) = ", helical_.rows, 1.0, 320.0, helical_.rows) ||
            !ask("Rotation speed (s/rot) = ", helical_.rotation, 0.1, 3.0, helical_.rotation) ||
            !ask("(Beam) Pitch factor  = ", helical_.pitch, 0.1, 2.0, helical_.pitch))
            return false;
        const Reply reply = ui().message("Rot.Speed=" + generalSingle(helical_.rotation) + " Detector Width=" +
                                             generalSingle(helical_.rowWidth) + " Row no.=" + trimmedInt(helical_.rows) +
                                             " BeamPitch=" + generalSingle(helical_.pitch),
                                         Buttons::YesNoCancel);
        if (reply == Reply::Cancel) return false;
        if (reply == Reply::Yes) return true;
    }
}

void CTPSFF::scaleSetting(bool temporal) {
    float& width = temporal ? tspScale_ : sspScale_;
    const std::string caption = temporal ? "Scale width (sec.)=" : "Scale width (mm)=";
    for (;;) {
        const std::string answer = ui().prompt(caption + " ", generalSingle(width));
        if (answer.empty()) return;
        width = static_cast<float>(std::clamp(leadingNumber(answer), temporal ? 0.2 : 0.5, temporal ? 4.0 : 20.0));
        if (ui().message(caption + generalSingle(width), Buttons::YesNoCancel) != Reply::No) return;
    }
}

void CTPSFF::CLIPPROFILE(bool temporal) {
    const std::string answer = ui().prompt("Data No.=", trimmedInt(profileDataNumber_));
    if (answer.empty()) return;
    const int number = textToInt(answer);
    const ProfilePoints* points = nullptr;
    if (number >= 1 && number <= kProfileSlots) {
        const ProfileSlot& slot = profileSlots_[static_cast<size_t>(number - 1)];
        points = temporal ? &slot.tsp : &slot.ssp;
    }
    if (points == nullptr || points->count < 4) {
        ui().message("no data!");
        return;
    }
    const ProfileSlot& slot = profileSlots_[static_cast<size_t>(number - 1)];
    std::string text = (temporal ? "\t" : "Thickness\t") + slot.label + kLineEnd;
    for (int k = 0; k < points->count; ++k)
        text += formatFixed(points->x[size_t(k)], temporal ? "0.0000" : "0.00") + "\t" +
                formatFixed(points->v[size_t(k)], "0.000") + kLineEnd;
    text += "FWHM=\t" + formatFixed(slot.fwhm, "0.00") + kLineEnd;
    text += "FWTM=\t" + formatFixed(slot.fwtm, "0.00") + kLineEnd;
    ui().setClipboardText(text);
}

void CTPSFF::prepareProfileLsf(bool temporal) {
    const Profile& profile = temporal ? tsp_ : ssp_;
    graph_.clear();
    if (profile.values.empty() || !(profile.interval > 0)) {
        ui().message(temporal ? "No TSP measured yet: run TSP first." : "No SSP measured yet: run SSP first.");
        return;
    }
    lsf_ = profileLsf(profile.values, roundHalfEven(-profile.offset / profile.interval));
    peakToNoise_.reset();
    // The step of a 256-point transform of samples `interval` apart.
    profileStep_ = static_cast<float>(1.0 / (kLsfLength * profile.interval));
    setUserScale(0, 255, 1.2, -1.5);
    plotLsf();
    Line1.place(0, 0, 255, 0);
    Line1.setVisible(true);
    state_ = LsfShown;
    setCaption("Please set baseline.");
    startLsf(kLsfCentre);
    oversampling_ = 1;
    filter_ = LsfFilter{};
    methodTag_ = temporal ? "tMTF" : "zMTF";
}

void CTPSFF::profileGraph(bool temporal, bool withPrompt) {
    std::vector<int> slots;
    if (withPrompt) {
        const std::string answer = ui().prompt("Selection (ex. 1 or 2-4 or 2,4,5) = ", "1");
        if (answer.empty()) return;
        const auto selection = parseSlotSelection(answer, kProfileSlots);
        if (!selection) {
            ui().message("Selection: give slot numbers from 1 to 8, such as 1 or 2-4 or 2,4,5.");
            return;
        }
        slots = *selection;
    } else {
        for (int n = 1; n <= profileDataNumber_; ++n) slots.push_back(n);
    }
    profileDefaultNumber_ = static_cast<int16_t>(slots.size() == 2 ? 2 : slots.size() + 1);

    const double w = temporal ? tspScale_ : sspScale_;
    setUserScale(-0.65 * w, 1.3 * w, 1.15, -1.3);
    graph_.clear();
    const uint32_t frame = paletteColour(kFrameColour), grid = paletteColour(kGridColour);
    graph_.line(0, 0, 0, 1, grid, 1, true);
    for (double level : {0.5, 0.1}) graph_.line(-w / 2, level, w / 2, level, grid, 1, true);
    graph_.line(-w / 2, 0, w / 2, 0, frame, 2);
    graph_.line(-w / 2, 0, -w / 2, 1, frame, 2);
    graph_.setForeColour(frame);
    auto text = [this](double tx, double ty, const std::string& s) {
        graph_.setTextPosition(tx, ty);
        graph_.print(s);
    };
    text(0, -0.05, temporal ? "0   Relative time (sec.)" : "0   Relative z-position (mm)");
    text(-w / 2, -0.05, formatFixed(-w / 2, "0.0"));
    text(0.95 * w / 2, -0.05, formatFixed(w / 2, "0.0"));
    text(-w / 2 - 0.06 * w, 1, "1.0");
    text(-0.1 * w, 1.05, temporal ? " TSP" : " SSP");

    for (int n : slots) {
        const ProfileSlot& slot = profileSlots_[static_cast<size_t>(n - 1)];
        const ProfilePoints& points = temporal ? slot.tsp : slot.ssp;
        if (points.count < 6) continue;
        const uint32_t colour = paletteColour(profileColours_[static_cast<size_t>(n - 1)]);
        for (int k = 1; k < points.count; ++k)
            graph_.line(points.x[size_t(k - 1)], points.v[size_t(k - 1)], points.x[size_t(k)], points.v[size_t(k)],
                        colour, 2);
        const double y = 0.95 - 0.08 * (n - 1);
        graph_.line(0.325 * w, y, 0.375 * w, y, colour, 2);
        graph_.setForeColour(colour);
        text(0.38 * w, y + 0.03, slot.label + "  ");
        graph_.setForeColour(frame);
    }
    if (slots.size() == 1) {
        const ProfileSlot& slot = profileSlots_[static_cast<size_t>(slots[0] - 1)];
        setCaption("FWHM= " + formatFixed(slot.fwhm, "0.000") + " FWTM=" + formatFixed(slot.fwtm, "0.000"));
    }
}

}  // namespace halvex
