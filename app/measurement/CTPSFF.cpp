// The measurement window's frame: loading, menus, settings, the arrow
// buttons, the MTF curve store with its graph and clipboard exports.
#include "measurement/CTPSFF.h"

#include <algorithm>
#include <cmath>

#include "measurement/curve_math.h"
#include "measurement/measurement_noise.h"
#include "platform/number_text.h"

namespace halvex {

namespace {
constexpr uint32_t kMarkerColour = rgb(255, 0, 0);
}  // namespace

CTPSFF::CTPSFF(ImageStore& store, Ui& ui, CommandGuard& guard) : WindowLogic("CTPSFF", ui, guard), store_(store) {
    menus_ = {
        {"MTFMENU", "MTF", {&VSLIT, &RADIAL, &FFT2DMTF, &REDGE, &EDGE, &AUTOEDGE, &EDGEOK, nullptr, &BASESET, &MTFCLC,
                            &MMTFCLC, &SETTING, nullptr, &CLIPMTF, &LSFPUT, &COMPMTF}},
        {"NPSMNU", "Noise", {&NPSVS, &NPSRF, &SETNPS, &NPSWF, nullptr, &NPSCLIP, &NPSCOMP}},
        {"MESMUNE", "Measures", {&CTVAL, &SDCLC, nullptr, &SSPMES, &SSPSET, &SSPCLIP, &SSPCOMP, &ZMTFP, nullptr,
                                 &TSPMES, &SETTSP, &TSPCLIP, &TSPCOMP, &TMTFP, nullptr, &PROFMES, &CTCONV, nullptr,
                                 &DPRIME}},
        {"PROMENU", "Pro", {&REDGEPRO, &CLRSCREEN}},
        {"GRAPHMENU", "Graph", {&SAVEGRAPH, &COPYGRAPH}},
        {"EVALMENU", "Evaluate", {&EVALUATE}},
    };
    add(FINESTP);
    add(CENADJ);
    add(Line1);
    for (const Menu& menu : menus_)
        for (Button* entry : menu.entries)
            if (entry) add(*entry);
    // "CTscale" has no command.
    CTCONV.enabled = false;

    CENADJ.onClick = [this](int index) { CENADJ_Click(index); };
    EDGE.onClick = [this] { EDGE_Click(); };
    REDGE.onClick = [this] { REDGE_Click(); };
    AUTOEDGE.onClick = [this] { AUTOEDGE_Click(); };
    EDGEOK.onClick = [this] { EDGEOK_Click(); };
    BASESET.onClick = [this] { BASESET_Click(); };
    MTFCLC.onClick = [this] { MTFCLC_Click(); };
    SETTING.onClick = [this] { SETTINGS(); };
    SETNPS.onClick = [this] { SETTINGS(); };
    CLIPMTF.onClick = [this] { CLIPMTF_Click(); };
    LSFPUT.onClick = [this] { LSFPUT_Click(); };
    COMPMTF.onClick = [this] { COMPMTF_Click(); };
    CLRSCREEN.onClick = [this] { CLRSCREEN_Click(); };
    SAVEGRAPH.onClick = [this] { SAVEGRAPH_Click(); };
    COPYGRAPH.onClick = [this] { COPYGRAPH_Click(); };
    NPSVS.onClick = [this] { NPSVS_Click(); };
    NPSRF.onClick = [this] { NPSRF_Click(); };
    NPSWF.onClick = [this] { NPSWF_Click(); };
    NPSCLIP.onClick = [this] { NPSCLIP_Click(); };
    NPSCOMP.onClick = [this] { NPSCOMP_Click(); };
    VSLIT.onClick = [this] { VSLIT_Click(); };
    RADIAL.onClick = [this] { RADIAL_Click(); };
    FFT2DMTF.onClick = [this] { FFT2DMTF_Click(); };
    MMTFCLC.onClick = [this] { MMTFCLC_Click(); };
    SSPMES.onClick = [this] { measureProfile(false); };
    TSPMES.onClick = [this] { measureProfile(true); };
    SSPSET.onClick = [this] { scaleSetting(false); };
    SETTSP.onClick = [this] { scaleSetting(true); };
    SSPCLIP.onClick = [this] { CLIPPROFILE(false); };
    TSPCLIP.onClick = [this] { CLIPPROFILE(true); };
    SSPCOMP.onClick = [this] { SSPDSP(true); };
    TSPCOMP.onClick = [this] { TSPDSP(true); };
    ZMTFP.onClick = [this] { prepareProfileLsf(false); };
    TMTFP.onClick = [this] { prepareProfileLsf(true); };
    CTVAL.onClick = [this] { regionValues(false); };
    SDCLC.onClick = [this] { regionValues(true); };
    PROFMES.onClick = [this] { PROFMES_Click(); };
    DPRIME.onClick = [this] { DPRIME_Click(); };
    REDGEPRO.onClick = [this] { REDGEPRO_Click(); };
}

void CTPSFF::show() {
    if (!loaded_) Form_Load();
    ui().showWindow(name(), true);
}

void CTPSFF::Form_Load() {
    // A window loaded anew starts from nothing: its values, its buffers and
    // its curve store are those of a new window.
    state_ = Idle;
    methodTag_.clear();
    frequencyMaximum_ = 1.5f;
    frequencyInterval_ = 0.05f;
    npsFrequencyBins_ = 48;
    graphXRange_ = 1.5f;
    graphYScale_ = 1.0f;
    dataNumber_ = 1;
    leftZeroLimit_ = kNoLeftZero;
    rightZeroLimit_ = kNoRightZero;
    lsfCentre_ = kLsfCentre;
    lsfBackup_.clear();
    baseline_ = 0;
    filter_ = LsfFilter{};
    kindChanged_ = 0;
    esf_ = Esf{};
    lsf_.assign(kLsfLength, 0.0f);
    mtf_.clear();
    peakToNoise_.reset();
    pointRadius_ = 0;
    slope_ = 0;
    mtfStore_.clear();
    drawnSlots_.clear();
    npsWindow_ = kNpsHann;
    npsSource_ = 0;
    npsLogOffset_ = -1.0f;
    npsStore_.clear();
    slitDirection_ = kProfileAlongX;
    slitHeight_ = 40;
    wirePeak_ = Peak{};
    profileSlots_ = {};
    ssp_ = tsp_ = Profile{};
    profileDataNumber_ = profileDefaultNumber_ = 1;
    sspScale_ = 10;
    tspScale_ = 1;
    helical_ = HelicalScan{};
    profileStep_ = 0;
    regionProfile_.clear();
    proc_ = CircularProc{};
    graph_.resetScale();
    graph_.clear();

    store_.fftSize = 256;
    oversampling_ = 1;
    centreX_ = centreY_ = 256;
    store_.newRoi = 1;
    workingImage_.assign(kSlicePixels, 0);

    Line1.setVisible(false);
    showArrows(false);
    CENADJ.setVisibleAt(0, false);
    CENADJ.setVisibleAt(1, false);
    CTCONV.setEnabled(false);
    REDGE.setEnabled(true);
    EDGEOK.setEnabled(true);
    loaded_ = true;
    setCaption("TessamirBasic" + store_.versionLabel);
}

void CTPSFF::CLRSCREEN_Click() {
    loaded_ = false;
    ui().showWindow(name(), false);
}

void CTPSFF::SETTINGS() {
    for (;;) {
        frequencyMaximum_ = static_cast<float>(
            std::clamp(leadingNumber(ui().prompt("Freq max = ", generalSingle(frequencyMaximum_))), 0.2, 5.0));
        frequencyInterval_ = static_cast<float>(
            std::clamp(leadingNumber(ui().prompt("Freq interval = ", generalSingle(frequencyInterval_))), 0.01, 0.1));
        const Reply reply = ui().message("Freq max=" + generalSingle(frequencyMaximum_) + " Freq interval=" +
                                             generalSingle(frequencyInterval_) +
                                             " NPSfreq bins=" + trimmedInt(npsFrequencyBins_),
                                         Buttons::YesNoCancel);
        if (reply != Reply::No) return;
    }
}

void CTPSFF::showArrows(bool horizontal) {
    CENADJ.setVisibleAt(0, horizontal);
    CENADJ.setVisibleAt(1, horizontal);
    FINESTP.setVisible(horizontal);
    CENADJ.setVisibleAt(2, !horizontal);
    CENADJ.setVisibleAt(3, !horizontal);
}

void CTPSFF::setUserScale(double left, double width, double top, double height) {
    graph_.setScale(left, top, left + width, top + height);
}

void CTPSFF::dot(double x, double y, int colour) { graph_.line(x, y, x, y, paletteColour(colour), 2); }

RgbImage CTPSFF::composedView() {
    RgbImage out = graph_.image();
    if (!Line1.visible()) return out;
    // The marker is drawn over the graph, not into it, so that moving it
    // leaves the curve intact. Its ends may lie far outside the graph: only
    // the part inside is walked.
    const double x1 = graph_.toPixelX(Line1.x1()), y1 = graph_.toPixelY(Line1.y1());
    const double x2 = graph_.toPixelX(Line1.x2()), y2 = graph_.toPixelY(Line1.y2());
    double from = 0, to = 1;
    auto clip = [&](double p, double q) {  // keeps the part where p t <= q
        if (p == 0) return q >= 0;
        const double t = q / p;
        if (p < 0) from = std::max(from, t);
        else to = std::min(to, t);
        return from <= to;
    };
    if (!clip(x1 - x2, x1) || !clip(x2 - x1, out.width - 1 - x1) || !clip(y1 - y2, y1) ||
        !clip(y2 - y1, out.height - 1 - y1))
        return out;
    const double ax = x1 + (x2 - x1) * from, ay = y1 + (y2 - y1) * from;
    const double bx = x1 + (x2 - x1) * to, by = y1 + (y2 - y1) * to;
    const int steps = std::max(1, static_cast<int>(std::ceil(std::max(std::fabs(bx - ax), std::fabs(by - ay)))));
    for (int i = 0; i <= steps; ++i) {
        const int x = static_cast<int>(std::lround(ax + (bx - ax) * i / steps));
        const int y = static_cast<int>(std::lround(ay + (by - ay) * i / steps));
        if (x >= 0 && y >= 0 && x < out.width && y < out.height) out.pixels[size_t(y) * out.width + x] = kMarkerColour;
    }
    return out;
}

void CTPSFF::CENADJ_Click(int index) {
    switch (state_) {
        case CircularEsf: {
            const float step = FINESTP.checked() ? 0.1f : 0.5f;
            if (index == 0) centreX_ -= step;
            if (index == 1) centreX_ += step;
            if (index == 2) centreY_ -= step;
            if (index == 3) centreY_ += step;
            moveRoiToCentre();
            rebuildEsf();
            break;
        }
        case LinearEsf: {
            const float step = FINESTP.checked() ? 0.005f : 0.01f;
            if (index == 0) slope_ -= step;
            if (index == 1) slope_ += step;
            rebuildEsf();
            break;
        }
        case MtfGraph:
            if (index == 2) graphYScale_ -= 0.1f;
            if (index == 3) graphYScale_ += 0.1f;
            MTFDSP(false);
            break;
        case NpsGraph:
            if (index == 2) npsLogOffset_ -= 1.0f;
            if (index == 3) npsLogOffset_ += 1.0f;
            WSDSP(false);
            break;
        default: break;
    }
}

void CTPSFF::COMPMTF_Click() {
    state_ = MtfGraph;
    graphYScale_ = 1.0f;
    MTFDSP(true);
}

void CTPSFF::drawMtfFrame() {
    const float x = graphXRange_;
    const uint32_t frame = paletteColour(kFrameColour), grid = paletteColour(kGridColour);
    graph_.line(0, 0, x, 0, frame, 2);
    graph_.line(0, 0, 0, 1, frame, 2);
    const int lines = formatFixed(frequencyMaximum_, "0.0") == "1.5" ? 3 : 4;
    for (int i = 1; i <= lines; ++i) graph_.line(i * x / lines, 0, i * x / lines, 1, grid, 1, true);
    for (double level : {0.25, 0.5, 0.75, 1.0}) graph_.line(0, level, x, level, grid, 1, true);
    graph_.setForeColour(frame);
    auto text = [this](double tx, double ty, const std::string& s) {
        graph_.setTextPosition(tx, ty);
        graph_.print(s);
    };
    text(-0.07 * x, 1.02, "1.0");
    text(-0.03 * x, -0.01, "0");
    text(0.95 * x, -0.01, formatFixed(frequencyMaximum_, "0.0"));
    text(0.2 * x, -0.02, methodTag_ == "tMTF" ? "Frequency (cycles / s)" : "Spatial Frequency (cycles / mm)");
    text(-0.08 * x, 0.8, "MTF");
}

void CTPSFF::drawCurve(const CurveSlot& slot, uint32_t colour, double shift) {
    SPLINE spline;
    if (!spline.build(slot.abscissa.data(), slot.value.data(), slot.count)) return;
    const double first = slot.abscissa[0];
    double px = first, py = spline.evaluate(first) - shift;
    graph_.point(px, py, colour);
    // A curve ends at its last point: the spline is never extrapolated.
    for (int i = 1;; ++i) {
        const double f = first + i * 0.01;
        if (f > frequencyMaximum_ + 1e-9 || !spline.covers(f)) break;
        const double v = spline.evaluate(f) - shift;
        graph_.line(px, py, f, v, colour, 2);
        px = f, py = v;
    }
}

std::optional<std::vector<int>> CTPSFF::graphSlots(bool withPrompt) {
    std::vector<int> slots;
    if (withPrompt) {
        const std::string answer = ui().prompt("Selection (ex. 1 or 2-4 or 2,4,5) = ", "1");
        if (answer.empty()) return std::nullopt;
        auto selection = parseSlotSelection(answer);
        if (!selection) {
            ui().message("Selection: give slot numbers from 1 to 7, such as 1 or 2-4 or 2,4,5.");
            return std::nullopt;
        }
        slots = *selection;
        dataNumber_ = static_cast<int16_t>(std::min<size_t>(slots.size() + 1, CurveStore::kSlots));
    } else {
        for (int n = 1; n <= dataNumber_; ++n) slots.push_back(n);
    }
    return slots;
}

void CTPSFF::MTFDSP(bool withPrompt) {
    showArrows(false);
    // The baseline marker belongs to the LSF graph.
    Line1.setVisible(false);
    auto slots = graphSlots(withPrompt);
    if (!slots) return;
    drawnSlots_ = std::move(*slots);
    graphYScale_ = std::min(graphYScale_, 2.0f);
    graphXRange_ = frequencyMaximum_;
    setUserScale(-0.15 * graphXRange_, 1.2 * graphXRange_, 1.3 * graphYScale_, -1.5 * graphYScale_);
    graph_.clear();
    drawMtfFrame();
    for (int n : drawnSlots_) {
        const CurveSlot& slot = mtfStore_.slot(n);
        if (slot.count > 3) drawCurve(slot, paletteColour(colourTable_[static_cast<size_t>(n - 1)]));
    }
}

void CTPSFF::storeMtf(const std::string& prompt, int maxSlot, bool thousandths) {
    if (kindChanged_) {
        dataNumber_ = 1;
        graphYScale_ = 1.0f;
    }
    graph_.clear();
    const int answer = textToInt(ui().prompt(prompt, trimmedInt(dataNumber_)));
    if (answer == 0) return;
    if (answer < 0) {
        ui().message("Data No.: give a slot number from 1 to " + std::to_string(maxSlot) + " (0 cancels).");
        return;
    }
    const int number = std::min(answer, maxSlot);

    const SliceInfo& slice = store_.slices[static_cast<size_t>(std::clamp<int>(store_.currentSlice, 0, kMaxSlices - 1))];
    std::string label;
    if (methodTag_ == "zMTF") label = "thick " + formatFixed(slice.thickness, "0.0");
    else if (methodTag_ == "tMTF") label = "r " + formatFixed(slice.rotationTime, " 0.00");
    else label = methodTag_ + " " + slice.kernel;
    label += lossyMark(slice);

    CurvePoints points = resampleMtf(mtf_, store_.inverseDfov, frequencyInterval_);
    if (thousandths)
        for (float& v : points.value) v = static_cast<float>(roundHalfEven(v * 1000.0)) / 1000.0f;
    CurveSlot& slot = mtfStore_.slot(number);
    slot = CurveSlot{};
    slot.label = label;
    slot.count = static_cast<int16_t>(points.value.size());
    std::copy(points.value.begin(), points.value.end(), slot.value.begin());
    std::copy(points.frequency.begin(), points.frequency.end(), slot.abscissa.begin());
    lastMtfSlot_ = number;

    std::string text = label + kLineEnd;
    for (float v : points.value) text += formatFixed(v, "0.000") + kLineEnd;
    ui().setClipboardText(text);

    dataNumber_ = static_cast<int16_t>(number);
    MTFDSP(false);
    state_ = MtfGraph;
    // The clipboard keeps the label alone (it is pasted into fixed
    // templates); the caption says how far noise decides the curve. A
    // wire's or bead's MTF is also checked for values above 1, the mark of
    // a background that is off.
    const bool point = methodTag_ == "VS-X" || methodTag_ == "VS-Y" || methodTag_ == "VS-R" || methodTag_ == "FFT2D";
    setCaption(peakToNoise_ ? label + mtfNoiseNote(*peakToNoise_, pnrLimit(), point && mtfAboveOne(points)) : label);
    kindChanged_ = 0;
}

double CTPSFF::pnrLimit() const {
    if (methodTag_ == "FFT2D") return kPointPnrLimit.at(pointRadius_);
    const PnrLimit& limit = methodTag_ == "EG"     ? kEdgePnrLimit
                            : methodTag_ == "RE"   ? kCircularEdgePnrLimit
                            : methodTag_ == "VS-R" ? kRadialPnrLimit
                                                   : kSlitPnrLimit;
    return limit.at(lsfSpan(lsf_));
}

void CTPSFF::CLIPMTF_Click() {
    const std::string answer = ui().prompt("No.=", trimmedInt(dataNumber_));
    if (answer.empty()) return;
    const int number = textToInt(answer);
    if (!CurveStore::isSlotNumber(number) || mtfStore_.slot(number).empty()) {
        ui().message("no data!");
        return;
    }
    const CurveSlot& slot = mtfStore_.slot(number);
    SPLINE spline;
    spline.build(slot.abscissa.data(), slot.value.data(), slot.count);
    std::string text = "\t" + slot.label + kLineEnd;
    const int lines = roundHalfEven(frequencyMaximum_ / frequencyInterval_ + 1.0);
    for (int i = 0; i < lines; ++i) {
        // The same single-precision product as the stored abscissae, so the
        // last stored frequency is met exactly; the curve ends there.
        const double f = static_cast<float>(i) * frequencyInterval_;
        if (!spline.covers(f)) break;
        text += formatFixed(f, "0.00") + "\t" + formatTrimmed(spline.evaluate(f), 3) + kLineEnd;
    }
    ui().setClipboardText(text);
}

void CTPSFF::takeWorkingImage(const int16_t* pixels, int offset) {
    for (int i = 0; i < kSlicePixels; ++i)
        workingImage_[static_cast<size_t>(i)] = static_cast<int16_t>(std::clamp(pixels[i] + offset, -32768, 32767));
}

bool CTPSFF::askFov() {
    const std::string answer = ui().prompt("FOV(mm) = ", generalSingle(store_.currentDfov));
    if (answer.empty()) return false;
    const double fov = leadingNumber(answer);
    if (!(fov > 0.0) || fov > 10000.0) {
        ui().message("FOV(mm): give the field of view in mm, above 0.");
        return false;
    }
    store_.currentDfov = static_cast<float>(fov);
    store_.pixelSize = store_.currentDfov / 512.0f;
    return true;
}

std::optional<std::pair<int, int>> CTPSFF::askSliceRange() {
    const auto [fromText, toText] = rangeDefaults ? rangeDefaults() : std::pair<std::string, std::string>{"1", "1"};
    const std::string from = ui().prompt("From ", fromText);
    if (from.empty()) return std::nullopt;
    const std::string to = ui().prompt("To ", toText);
    if (to.empty()) return std::nullopt;
    const int first = textToInt(from) - 1, last = textToInt(to) - 1;
    if (first < 0 || last < first || last >= store_.sliceCount) {
        ui().message("From / To: give slice numbers from 1 to " + std::to_string(store_.sliceCount) +
                     ", the first not above the last.");
        return std::nullopt;
    }
    return std::pair{first, last};
}

bool CTPSFF::readListedSlice(int index, std::vector<int16_t>& pixels) {
    const std::string problem = halvex::readListedSlice(store_, index, pixels);
    if (problem.empty()) return true;
    ui().message(problem + " Nothing was measured.");
    return false;
}

void CTPSFF::LSFPUT_Click() {
    std::string text;
    for (float v : lsf_) text += formatFixed(v, "0.000") + kLineEnd;
    ui().setClipboardText(text);
}

void CTPSFF::SAVEGRAPH_Click() {
    std::string path = ui().saveFile("Save graph", "(*.png)|*.png|");
    if (path.empty()) return;
    if (path.size() < 4 || path.compare(path.size() - 4, 4, ".png") != 0) path += ".png";
    if (!savePng(composedView(), path)) ui().message("The graph could not be written to " + path + ".");
}

void CTPSFF::COPYGRAPH_Click() { ui().setClipboardImage(composedView()); }

namespace {

// The first slot of the store that holds no curve, 0 when none.
int freeSlot(const CurveStore& store) {
    for (int n = 1; n <= CurveStore::kSlots; ++n)
        if (store.slot(n).empty()) return n;
    return 0;
}

void fill(CurveSlot& slot, const std::string& label, const std::vector<float>& x, const std::vector<float>& y) {
    slot = CurveSlot{};
    slot.label = label;
    slot.count = static_cast<int16_t>(std::min({x.size(), y.size(), size_t(CurveSlot::kCapacity)}));
    std::copy(x.begin(), x.begin() + slot.count, slot.abscissa.begin());
    std::copy(y.begin(), y.begin() + slot.count, slot.value.begin());
}

}  // namespace

int CTPSFF::addMtfCurve(const std::string& label, const std::vector<float>& frequency, const std::vector<float>& value) {
    if (!loaded_) Form_Load();
    const int n = freeSlot(mtfStore_);
    if (n > 0) fill(mtfStore_.slot(n), label, frequency, value), lastMtfSlot_ = n;
    return n;
}

int CTPSFF::addNpsCurve(const std::string& label, const std::vector<float>& frequency,
                        const std::vector<float>& log10Value) {
    if (!loaded_) Form_Load();
    const int n = freeSlot(npsStore_);
    if (n > 0) fill(npsStore_.slot(n), label, frequency, log10Value), lastNpsSlot_ = n;
    return n;
}

}  // namespace halvex
