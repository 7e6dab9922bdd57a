// "Detectability": d' of a non-prewhitening observer, with or without the
// eye filter, for a disc task, from a stored MTF and a stored NPS.
#include <algorithm>
#include <cmath>

#include "measurement/CTPSFF.h"
#include "platform/number_text.h"

namespace halvex {

namespace {

constexpr uint32_t kSignalColour = rgb(0, 160, 255);
constexpr uint32_t kNoiseColour = rgb(255, 120, 0);

}  // namespace

bool CTPSFF::askDetectabilitySettings() {
    // A number answered at `prompt`; false when cancelled, or (with the
    // message) when `valid` refuses it.
    auto ask = [this](const std::string& prompt, double& value, auto valid, const std::string& refusal) {
        const std::string answer = ui().prompt(prompt, generalSingle(static_cast<float>(value)));
        if (answer.empty()) return false;
        const double v = leadingNumber(answer);
        if (!valid(v)) {
            ui().message(refusal);
            return false;
        }
        value = v;
        return true;
    };
    auto positive = [](double v) { return v > 0 && v < 1e6; };
    auto any = [](double v) { return std::isfinite(v); };
    auto zeroOrOne = [](double v) { return v == 0 || v == 1; };
    // A stored slot: 1 .. 7 with at least 4 points.
    auto slot = [&](const std::string& prompt, const CurveStore& store, int fallback, int& chosen) {
        double number = chosen > 0 ? chosen : fallback;
        if (!ask(prompt, number, any, "")) return false;
        const int n = static_cast<int>(number);
        if (n != number || !CurveStore::isSlotNumber(n) || store.slot(n).empty()) {
            ui().message("no data!");
            return false;
        }
        chosen = n;
        return true;
    };
    DetectabilityTask& task = dprimeTask_;
    Observer& o = dprimeObserver_;
    double observer = o.eyeFilter ? 1 : 0, internal = o.internalNoise ? 1 : 0;
    if (!ask("Task diameter (mm) = ", task.diameter, positive, "Task diameter: give a size in mm, above 0.") ||
        !ask("Task contrast (HU) = ", task.contrast, any, "Task contrast: give a number of HU.") ||
        !slot("MTF Data No.= ", mtfStore_, lastMtfSlot_, dprimeMtfSlot_) ||
        !slot("NPS Data No.= ", npsStore_, lastNpsSlot_, dprimeNpsSlot_) ||
        !ask("Observer (0...NPW 1...NPWE) = ", observer, zeroOrOne, "Observer: give 0 (NPW) or 1 (NPWE)."))
        return false;
    o.eyeFilter = observer == 1;
    if (!o.eyeFilter) return true;
    if (!ask("Viewing distance (mm) = ", o.viewingDistance, positive, "Viewing distance: give mm, above 0.") ||
        !ask("Display zoom = ", o.zoom, positive, "Display zoom: give a factor above 0.") ||
        !ask("Internal noise (0..no 1..yes) = ", internal, zeroOrOne, "Internal noise: give 0 or 1."))
        return false;
    o.internalNoise = internal == 1;
    return true;
}

void CTPSFF::DPRIME_Click() {
    if (!askDetectabilitySettings()) return;
    const CurveSlot& mtfSlot = mtfStore_.slot(dprimeMtfSlot_);
    const CurveSlot& npsSlot = npsStore_.slot(dprimeNpsSlot_);
    auto points = [](const CurveSlot& slot, const auto& values) {
        return std::vector<float>(values.begin(), values.begin() + slot.count);
    };
    const Observer& o = dprimeObserver_;
    const std::optional<Detectability> computed =
        detectabilityOfCurves(dprimeTask_, o, points(mtfSlot, mtfSlot.abscissa), points(mtfSlot, mtfSlot.value),
                              points(npsSlot, npsSlot.abscissa), points(npsSlot, npsSlot.value));
    if (!computed) {
        ui().message("no data!");
        return;
    }
    const Detectability& d = *computed;
    const std::string observer = o.eyeFilter ? "NPWE" : "NPW";
    const std::string value = formatFixed(d.dPrime, "0.00");
    setCaption("d'= " + value + " (" + observer + ")");
    std::string text = "Task diameter (mm)\t" + generalSingle(static_cast<float>(dprimeTask_.diameter)) + kLineEnd;
    text += "Task contrast (HU)\t" + generalSingle(static_cast<float>(dprimeTask_.contrast)) + kLineEnd;
    text += "MTF Data No.\t" + trimmedInt(dprimeMtfSlot_) + "\t" + mtfSlot.label + kLineEnd;
    text += "NPS Data No.\t" + trimmedInt(dprimeNpsSlot_) + "\t" + npsSlot.label + kLineEnd;
    text += "Observer\t" + observer + kLineEnd;
    if (o.eyeFilter) {
        text += "Viewing distance (mm)\t" + generalSingle(static_cast<float>(o.viewingDistance)) + kLineEnd;
        text += "Display zoom\t" + generalSingle(static_cast<float>(o.zoom)) + kLineEnd;
        text += std::string("Internal noise\t") + (o.internalNoise ? "1" : "0") + kLineEnd;
    }
    text += "d'\t" + value + kLineEnd;
    ui().setClipboardText(text);
    detectabilityGraph(d);
}

// The two integrands against frequency, each scaled to its own peak: where
// the task's signal and the noise that hides it lie.
void CTPSFF::detectabilityGraph(const Detectability& d) {
    const double fMax = d.frequency.back();
    const double signalPeak = *std::max_element(d.signal.begin(), d.signal.end());
    const double noisePeak = *std::max_element(d.noise.begin(), d.noise.end());
    state_ = Idle;
    graph_.clear();
    setUserScale(-0.12 * fMax, 1.25 * fMax, 1.2, -1.35);
    const uint32_t frame = paletteColour(kFrameColour);
    graph_.line(0, 0, fMax, 0, frame, 2);
    graph_.line(0, 0, 0, 1.05, frame, 2);
    graph_.setForeColour(frame);
    auto label = [this](double x, double y, const std::string& s) {
        graph_.setTextPosition(x, y);
        graph_.print(s);
    };
    label(-0.02 * fMax, -0.04, "0");
    label(0.95 * fMax, -0.04, formatFixed(fMax, "0.00"));
    label(0.35 * fMax, -0.08, "cycles/mm");
    graph_.setForeColour(kSignalColour);
    label(0.55 * fMax, 1.15, "signal");
    graph_.setForeColour(kNoiseColour);
    label(0.55 * fMax, 1.08, "noise");
    auto plot = [&](const std::vector<double>& v, double peak, uint32_t colour) {
        if (!(peak > 0)) return;
        // Every tenth grid point draws smoothly enough.
        for (size_t i = 10; i < v.size(); i += 10)
            graph_.line(d.frequency[i - 10], v[i - 10] / peak, d.frequency[i], v[i] / peak, colour, 2);
    };
    plot(d.signal, signalPeak, kSignalColour);
    plot(d.noise, noisePeak, kNoiseColour);
}

}  // namespace halvex
