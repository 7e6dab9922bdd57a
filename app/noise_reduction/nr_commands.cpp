// The companions of the pipeline: parameter sets, "Finish param", the
// flat-area tests and "Proc".
#include <algorithm>
#include <cmath>

#include "noise_reduction/NR3D.h"
#include "platform/files.h"
#include "platform/lumvek_binding.h"
#include "platform/number_text.h"

namespace halvex {

namespace {
constexpr int kSlabHalf = 10;   // the test slab: slices c - 10 .. c + 9
constexpr int kSlabMargin = 12;

void copySlice(int16_t* dst, const int16_t* src) { LUMVEK(var2trn)(dst, src, kSlicePixels); }
}  // namespace

void NoiseReduction::PARAMIO(int16_t mode) {
    const std::string path = store_.appFolder + kParameterFile;
    if (fileLength(path) < 32) {
        ui_.message("param file error!");
        return;
    }
    const int number = mode == 0 ? 1 : textToInt(ui_.prompt("param. no = ", " 1"));
    if (number < 1 || number > kMaxParameterSets) {
        ui_.message("Wrong number");
        return;
    }
    const int64_t length = fileLength(path);
    std::string text(static_cast<size_t>(length), '\0');
    readAt(path, 0, text.data(), text.size());
    std::vector<std::string> lines = parameterLines(text);
    const size_t index = static_cast<size_t>(number - 1);

    CTDSPF& m = main_;
    TextBox* boxes[] = {&m.RPTTX, &m.WNTX, &m.EDGECT1TX, &m.EDGECT2TX, &m.BLCT1TX, &m.BLCT2TX, &m.RORGTX, nullptr,
                        &m.PRETYPTX, &m.TYP1ENHTX, &m.TYP2LOWTX, &m.TYP2HIGHTX, &m.TYP2ZENHTX};
    if (mode != 2) {
        const auto fields = index < lines.size() ? splitParameterLine(lines[index]) : std::nullopt;
        if (!fields) {
            ui_.message("Parameter set " + std::to_string(number) + " is missing or incomplete in " + kParameterFile + ".");
            return;
        }
        for (int k = 0; k < kParameterFields; ++k) {
            if (boxes[k]) boxes[k]->setText((*fields)[static_cast<size_t>(k)]);
            else m.ZREINTPCK.setValue(textToInt((*fields)[static_cast<size_t>(k)]));
        }
        return;
    }
    // Sets beyond the file's last line are filled with the design values, so
    // that the chosen set is stored where its number says.
    while (lines.size() <= index) lines.push_back(formatParameterLine(ProcessingParameters{}));
    lines[index] = formatParameterLine(parseParameters(boxTexts()));
    const std::string out = parameterFileText(lines);
    if (!replaceFile(path, out)) ui_.message("Cannot write " + path + ": the parameter sets were not saved.");
}

void NoiseReduction::EASYBTN_Click() {
    CTDSPF& m = main_;
    const ProcessingParameters now = parseParameters(boxTexts());
    // Every answer is taken first: a cancel on any prompt changes nothing.
    const std::string maximum = ui_.prompt("Value of Test2 (max of flat area, 9999:exit) ? ", strSingle(now.edgeLow));
    if (maximum.empty() || leadingNumber(maximum) == 9999) return;
    const std::string blend = ui_.prompt("Original blending (0.2-0.5) ? ", generalSingle(now.blendRatio));
    if (blend.empty()) return;
    const std::string zPosition = ui_.prompt("z-position (0..iso tropic 1..original) ? ", std::to_string(m.ZREINTPCK.value()));
    if (zPosition.empty()) return;

    const int edgeLow = roundHalfEven(leadingNumber(maximum) / 10) * 10;
    const int edgeHigh = roundHalfEven(edgeLow * 1.5 / 10) * 10;
    m.EDGECT1TX.setText(formatFixed(edgeLow, "00"));
    m.EDGECT2TX.setText(formatFixed(edgeHigh, "00"));
    m.RORGTX.setText(formatFixed(leadingNumber(blend), "0.00"));
    m.ZREINTPCK.setValue(std::clamp(textToInt(zPosition), 0, 1));
    ui_.message("If need, save parameters by Save button.");
}

bool NoiseReduction::setUpSlab(RunGeometry& g, Volume& input, Volume& iso) {
    const int count = store_.sliceCount;
    const int c = textToInt(ui_.prompt("target image no. (9999:exit)", trimmedInt(store_.currentSlice + 1))) - 1;
    if (c < kSlabMargin || c > count - kSlabMargin) return false;
    const int start = c - kSlabHalf, end = c + kSlabHalf - 1;
    if (const std::string problem = geometryProblem(start, end, g); !problem.empty()) {
        ui_.message(problem);
        return false;
    }
    if (g.dz < 0.1f) {
        ui_.message("The slices around slice " + std::to_string(c + 1) + " lie less than 0.1 mm apart.");
        return false;
    }
    g.isoPositions = cubicGrid(g.inputPositions, g.pixel);
    if (g.P() > 512) {
        ui_.message("Too short or To long range!");
        return false;
    }
    store_.workCtOffset = store_.slices[static_cast<size_t>(start)].ctOffset;
    store_.currentDfov = store_.slices[static_cast<size_t>(start)].dfov;
    store_.pixelSize = g.pixel;
    input = Volume(g.n);
    loadRange(g, input);
    iso = Volume(g.P());
    resample(g, input, iso);
    // The later stages read a copy of the resampled slab and a guide of the
    // same size.
    input = Volume(g.P());
    return true;
}

void NoiseReduction::NRTEST1() {
    RunScope scope(*this);
    try {
        RunGeometry g;
        Volume input, iso;
        if (!setUpSlab(g, input, iso)) return;
        CTDSPF& m = main_;
        const int type = textToInt(ui_.prompt("Pre-enhancement? (0..no 1..type1(Canon) 2..type2(GE, Siemens)) ",
                                              trimmedInt(readBoxes().preType)));
        m.PRETYPTX.setText(formatFixed(type, "0"));
        if (type == 1) {
            const float enhance = std::min(
                static_cast<float>(leadingNumber(ui_.prompt("enhnce ? (1.2-3.5) ", generalSingle(readBoxes().type1Enhance)))),
                3.5f);
            m.TYP1ENHTX.setText(formatFixed(enhance, "0.00"));
        } else if (type == 2) {
            const ProcessingParameters now = readBoxes();
            auto ratio = [&](const char* text, float current) {
                return std::max(static_cast<float>(leadingNumber(ui_.prompt(text, generalSingle(current)))), 0.0f);
            };
            m.TYP2LOWTX.setText(formatFixed(ratio("ratio (low freq.) ? (0-1.0) ", now.type2Low), "0.0"));
            m.TYP2HIGHTX.setText(formatFixed(ratio("ratio (high freq.) ? (0-1.0) ", now.type2High), "0.0"));
            m.TYP2ZENHTX.setText(formatFixed(ratio("z enhance ? (1.0-3.0) ", now.type2ZEnhance), "0.0"));
        }
        if (type == 1 || type == 2) {
            preEnhance(readBoxes(), 0, iso, input);
            const int middle = iso.slices() / 2;
            copySlice(store_.workImage.data(), iso.slice(middle));
            appendSlice(g.start, store_.workCtOffset, g.isoPositions[static_cast<size_t>(middle)], store_.currentDfov);
            main_.WWDSP();
        }
        ui_.message("Measure SD in a flat area and Memorize.");
    } catch (const Stopped&) {
        caption("Test1 stopped.");
    }
}

void NoiseReduction::NRTEST2() {
    RunScope scope(*this);
    try {
        CTDSPF& m = main_;
        const std::string check = m.PRETYPTX.text() == "1"
                                      ? "Check! Pre-enhace. type=" + m.PRETYPTX.text() + " enhance =" + m.TYP1ENHTX.text()
                                      : "Check! Pre-enhace. type=" + m.PRETYPTX.text() + " parameters =" +
                                            m.TYP2LOWTX.text() + " " + m.TYP2HIGHTX.text() + " " + m.TYP2ZENHTX.text();
        if (ui_.message(check, Buttons::YesNo) != Reply::Yes) return;
        RunGeometry g;
        Volume input, iso;
        if (!setUpSlab(g, input, iso)) return;
        const std::string sd =
            ui_.prompt("Value of Test1 (SD of flat area, 9999:exit) ? ", strSingle(readBoxes().rangeSigma1));
        if (sd.empty() || leadingNumber(sd) == 9999) return;
        const int sigma1 = (roundHalfEven(leadingNumber(sd) / 10) + 1) * 10;
        const int sigma2 = roundHalfEven(sigma1 * 0.7 / 10) * 10;
        m.BLCT1TX.setText(formatFixed(sigma1, "00"));
        m.BLCT2TX.setText(formatFixed(sigma2, "00"));

        const ProcessingParameters p = readBoxes();
        if (const std::string problem = parameterProblem(p); !problem.empty()) {
            ui_.message(problem);
            return;
        }
        Volume guide(iso.slices());
        const float smoothSigma = preEnhance(p, 0, iso, input);
        const int P = iso.slices();
        for (int i = 0; i < P; ++i) copySlice(input.slice(i), iso.slice(i));
        std::vector<float> gx(kSlicePixels), gy(kSlicePixels), gz(kSlicePixels);
        firstPass(p, smoothSigma, [&](int i) { return "1st along filtering " + counter(i, P - 1); }, iso, input, guide,
                  gx, gy, gz);

        const int middle = P / 2;
        LUMVEK(vecana3dms)(gx.data(), gy.data(), gz.data(), iso.data(), kSide, kSide, P, 2, 3, middle);
        for (size_t k = 0; k < size_t(kSlicePixels); ++k) {
            const double length = std::sqrt(double(gx[k]) * gx[k] + double(gy[k]) * gy[k] + double(gz[k]) * gz[k]);
            store_.workImage[k] = roundHalfEven16(length);
        }
        appendSlice(g.start, 0, g.isoPositions[static_cast<size_t>(middle)], store_.currentDfov);
        store_.workCtOffset = 0;
        main_.WWDSP();
        ui_.message("Measure MAX in a flat area and Memorize.");
    } catch (const Stopped&) {
        caption("Test2 stopped.");
    }
}

void NoiseReduction::PROC1_Click() {
    RunScope scope(*this);
    try {
        if (store_.sliceCount <= 0) {
            ui_.message("No slice is loaded.");
            return;
        }
        if (store_.currentDfov == 0) store_.currentDfov = 256;
        store_.inverseDfov = 1.0f / store_.currentDfov;
        store_.fftSize = 512;
        const std::string answer = ui_.prompt("0...Smooth 1...VolumeSmooth 2..inrfilter", generalSingle(lastProcMode_));
        if (answer.empty()) return;
        lastProcMode_ = static_cast<float>(leadingNumber(answer));
        const int mode = roundHalfEven(lastProcMode_);
        const int current = store_.currentSlice;
        const SliceInfo& shown = store_.slices[static_cast<size_t>(current)];
        auto askSmoothing = [&](float& rx, float& enhance) {
            rx = std::clamp(static_cast<float>(leadingNumber(ui_.prompt("rx ? (1.2-2.4) ", "1.2"))), 0.1f, 6.0f);
            enhance = std::min(static_cast<float>(leadingNumber(ui_.prompt("enhnce ? (1.2-2.5) ", "2.0"))), 3.0f);
        };
        if (mode == 0) {
            float rx = 0, enhance = 0;
            askSmoothing(rx, enhance);
            copySlice(store_.referenceImage.data(), store_.workImage.data());
            LUMVEK(boxfilter2dctms)(store_.workImage.data(), store_.referenceImage.data(), rx, enhance);
            STAMPMARK(store_, 384, 492);
            appendSlice(current, store_.workCtOffset, shown.position, shown.dfov);
            main_.WWDSP();
        } else if (mode == 1) {
            const int count = store_.sliceCount;
            if (count < 20) {
                ui_.message("VolumeSmooth needs at least 20 slices.");
                return;
            }
            int start = textToInt(ui_.prompt("From ", " 1")) - 1;
            if (start == -1) return;
            int end = textToInt(ui_.prompt("To ", " 1")) - 1;
            if (end == -1) return;
            start = std::min(start, count - 20);
            end = std::min(end, count - 1);
            if (start < 0 || end < start) return;
            const int n = end - start + 1;
            for (int k = start; k <= end; ++k)
                if (store_.slices[static_cast<size_t>(k)].ctOffset != store_.slices[static_cast<size_t>(start)].ctOffset) {
                    ui_.message("The slices differ in CT offset: choose slices of one series.");
                    return;
                }
            if (count + n > kMaxSlices || store_.tempSlotCount + n > kMaxTempSlots) {
                ui_.message("No room for " + std::to_string(n) + " more slices: clear some slices first.");
                return;
            }
            float rx = 0, enhance = 0;
            askSmoothing(rx, enhance);
            Volume volume(n);
            for (int k = 0; k < n; ++k) {
                LOADSLICE(store_, static_cast<int16_t>(start + k));
                LUMVEK(circleblur2dct)(store_.workImage.data(), store_.workCtOffset, enhance * 1.5f);
                copySlice(volume.slice(k), store_.workImage.data());
                yield();
            }
            for (int k = 0; k < n; ++k) {
                caption(counter(k, n - 1));
                LUMVEK(boxfilter3dctms)(store_.workImage.data(), volume.data(), n, rx, rx, enhance, k);
                main_.WWDSP();
                const SliceInfo& source = store_.slices[static_cast<size_t>(start + k)];
                appendSlice(start + k, store_.workCtOffset, source.position, source.dfov);
                ui_.progress(k + 1, n);
                yield();
            }
        } else if (mode == 2) {
            if (!(shown.dfov > 0)) {
                ui_.message("The slice in view has no DFOV: its pixel size is unknown.");
                return;
            }
            LUMVEK(ctinr2dfilter)(store_.workImage.data(), store_.workImage.data(), shown.dfov / 512.0f, 0.5f, 0.3f,
                                  0.5f, 0.8f);
            appendSlice(current, store_.workCtOffset, shown.position, shown.dfov);
            main_.WWDSP();
        }
    } catch (const Stopped&) {
        caption("Proc stopped: " + std::to_string(appended_) + " slices appended.");
    }
}

}  // namespace halvex
