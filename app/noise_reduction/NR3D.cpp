// "3D-MORV": range, cubic resampling along z, pre-enhancement, the
// along-edge passes with texture mixing, output at the input or the cubic
// positions, each output slice stamped with the marker.
#include "noise_reduction/NR3D.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <new>

#include "platform/files.h"
#include "platform/lumvek_binding.h"
#include "platform/number_text.h"

namespace halvex {

namespace {
constexpr int kMinSlices = 20;
constexpr int kMaxSlices3d = 512;
constexpr const char* kScratchFile = "tempvv.dat";
constexpr const char* kTooFewSlices = "Too few or To large number of image !";
constexpr const char* kTooShortRange = "Too short or To long range!";
constexpr float kGuideEnhance = 1.2f;
constexpr float kMixSigma = 3.6f;
constexpr int16_t kStampX = 384, kStampY = 492;

void copySlice(int16_t* dst, const int16_t* src) { LUMVEK(var2trn)(dst, src, kSlicePixels); }

// The scratch file lives for one run.
class ScratchFile {
public:
    explicit ScratchFile(std::string path) : path_(std::move(path)) {}
    ~ScratchFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

void STAMPMARK(ImageStore& store, int16_t x, int16_t y) {
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 128; ++j) {
            const int row = y + i, column = x + j;
            if (row < 0 || row >= kSide || column < 0 || column >= kSide) continue;
            const int v = store.stampBitmap[static_cast<size_t>((19 - i) * 128 + j)] - store.workCtOffset - 200;
            store.workImage[size_t(row) * kSide + column] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
        }
}

Volume::Volume(int slices) : slices_(slices) {
    try {
        data_.assign(size_t(std::max(slices, 0)) * kSlicePixels, 0);
    } catch (const std::bad_alloc&) {
        throw WorkspaceError("Not enough memory for a volume of " + std::to_string(slices) + " slices.");
    }
}

std::vector<float> cubicGrid(const std::vector<float>& positions, float pixel) {
    if (positions.size() < 2 || !(pixel > 0)) return {};
    const float first = positions.front(), span = std::fabs(positions.back() - first);
    const float sign = positions[1] >= first ? 1.0f : -1.0f;
    // P + 1 points, so that the last one reaches the last input slice; the
    // small allowance keeps a span of exactly k pixels from losing its last
    // point to the rounding of the positions.
    const int count = static_cast<int>(std::floor(span / pixel + 1e-4f)) + 1;
    std::vector<float> grid(static_cast<size_t>(count));
    for (int h = 0; h < count; ++h) {
        const float z = static_cast<float>(roundHalfEven(static_cast<double>(h * pixel) * 1000.0)) / 1000.0f;
        grid[static_cast<size_t>(h)] = sign * z + first;
    }
    return grid;
}

NoiseReduction::NoiseReduction(CTDSPF& main, ImageStore& store, Ui& ui) : main_(main), store_(store), ui_(ui) {}

ParameterTexts NoiseReduction::boxTexts() const {
    const CTDSPF& m = main_;
    return {m.RPTTX.text(),    m.WNTX.text(),      m.EDGECT1TX.text(), m.EDGECT2TX.text(), m.BLCT1TX.text(),
            m.BLCT2TX.text(),  m.RORGTX.text(),    std::to_string(m.ZREINTPCK.value()),    m.PRETYPTX.text(),
            m.TYP1ENHTX.text(), m.TYP2LOWTX.text(), m.TYP2HIGHTX.text(), m.TYP2ZENHTX.text()};
}

ProcessingParameters NoiseReduction::readBoxes() const { return parseParameters(boxTexts()).limited(); }

void NoiseReduction::yield() {
    ui_.pumpEvents();
    if (stopRequested_) throw Stopped{};
}

std::string NoiseReduction::counter(int i, int last) const { return str(i) + "/" + str(last); }

void NoiseReduction::showSlice(const int16_t* slice) {
    copySlice(store_.workImage.data(), slice);
    main_.WWDSP();
}

void NoiseReduction::appendSlice(int source, int16_t ctOffset, float position, float dfov) {
    STOREIMG(store_, ctOffset, position, dfov);
    ++appended_;
    // The new slice describes the processed range, not the slice in view.
    const SliceInfo& from = store_.slices[static_cast<size_t>(source)];
    SliceInfo& e = store_.slices[static_cast<size_t>(store_.sliceCount - 1)];
    e.kernel = from.kernel;
    e.series = from.series;
    e.thickness = from.thickness;
    e.mAs = from.mAs;
    e.mA = from.mA;
    e.kV = from.kV;
    e.ctdi = from.ctdi;
    e.rotationTime = from.rotationTime;
    e.patientName = from.patientName;
    e.imagePositionZ = position;
}

bool NoiseReduction::askRange(int& start, int& end) {
    const int count = store_.sliceCount;
    start = textToInt(ui_.prompt("From (9999:exit)", main_.STTX.text())) - 1;
    if (start == 9998 || start == -1) return false;
    if (start < 0 || start >= count) {
        ui_.message("From: give a slice number from 1 to " + std::to_string(count) + ".");
        return false;
    }
    start = std::min(start, count - kMinSlices);
    end = textToInt(ui_.prompt("To (9999:exit) ", main_.ENTX.text())) - 1;
    if (end == 9998 || end == -1) return false;
    end = std::min(end, count - 1);
    if (end < start) {
        ui_.message("To: the last slice must not lie before the first (" + std::to_string(start + 1) + ").");
        return false;
    }
    return true;
}

std::string NoiseReduction::geometryProblem(int start, int end, RunGeometry& g) const {
    const SliceInfo& first = store_.slices[static_cast<size_t>(start)];
    g.start = start;
    g.n = end - start + 1;
    g.inputPositions.clear();
    for (int k = start; k <= end; ++k) {
        const SliceInfo& e = store_.slices[static_cast<size_t>(k)];
        if (!slicePixelsAvailable(store_, e))
            return "Slice " + std::to_string(k + 1) + " can't be read from " + e.path + ".";
        if (e.ctOffset != first.ctOffset || e.dfov != first.dfov)
            return "The slices " + std::to_string(start + 1) + " to " + std::to_string(end + 1) +
                   " differ in CT offset or DFOV: choose slices of one series.";
        g.inputPositions.push_back(e.position);
    }
    if (!(first.dfov > 0)) return "The slices have no DFOV: their pixel size is unknown.";
    g.pixel = first.dfov / 512.0f;
    const float step = g.inputPositions[1] - g.inputPositions[0];
    g.dz = std::fabs(step);
    g.sign = step < 0 ? -1.0f : 1.0f;
    // The resampling assumes one spacing throughout; positions are kept to
    // 0.001 mm, so allow a little more than that.
    const float allowance = std::max(0.002f, 0.01f * g.dz);
    for (size_t k = 1; k < g.inputPositions.size(); ++k) {
        const float d = g.inputPositions[k] - g.inputPositions[k - 1];
        if (std::fabs(d - step) > allowance)
            return "The slices " + std::to_string(start + 1) + " to " + std::to_string(end + 1) +
                   " are not evenly spaced along z (slice " + std::to_string(start + int(k) + 1) +
                   "): sort the series by slice position, one series at a time.";
    }
    return {};
}

void NoiseReduction::loadRange(const RunGeometry& g, Volume& input) {
    for (int k = 0; k < g.n; ++k) {
        caption(str(g.start + k));
        LOADSLICE(store_, static_cast<int16_t>(g.start + k));
        copySlice(input.slice(k), store_.workImage.data());
        ui_.progress(k + 1, g.n);
        yield();
    }
}

void NoiseReduction::resample(const RunGeometry& g, const Volume& input, Volume& iso) {
    for (int h = 0; h < g.P(); ++h) {
        const float z = std::fabs(g.isoPositions[static_cast<size_t>(h)] - g.inputPositions[0]);
        LUMVEK(zintp)(store_.workImage.data(), input.data(), kSide, kSide, g.n, g.dz, z);
        main_.WWDSP();
        copySlice(iso.slice(h), store_.workImage.data());
        ui_.progress(h + 1, g.P());
        yield();
    }
}

float NoiseReduction::preEnhance(const ProcessingParameters& p, int16_t circularFov, Volume& iso, Volume& input) {
    const int P = iso.slices();
    const float pixel = store_.currentDfov / 512.0f;
    if (p.preType == 1) {
        const float enhance = p.type1Enhance;
        for (int i = 0; i < P; ++i) {
            if (circularFov == 1) LUMVEK(circleblur2dct)(iso.slice(i), store_.workCtOffset, enhance * 1.8f);
            copySlice(input.slice(i), iso.slice(i));
        }
        for (int i = 0; i < P; ++i) {
            caption("pre enhancing " + counter(i, P - 1));
            LUMVEK(boxfilter3dctms)(iso.slice(i), input.data(), P, 1.2f, 1.2f, enhance, i);
            showSlice(iso.slice(i));
            ui_.progress(i + 1, P);
            yield();
        }
        return 1.2f;
    }
    if (p.preType == 2) {
        const float low = p.type2Low, high = (1 - low) * p.type2High;
        for (int i = 0; i < P; ++i) {
            if (circularFov == 1) LUMVEK(circleblur2dct)(iso.slice(i), store_.workCtOffset, 2.5f);
            copySlice(input.slice(i), iso.slice(i));
        }
        for (int i = 0; i < P; ++i) {
            caption("pre filter xy" + counter(i, P - 1));
            LUMVEK(ctinr2dfilter)(input.slice(i), input.slice(i), pixel, 0.5f, low, 0.5f, high);
            ui_.progress(i + 1, P);
            yield();
        }
        for (int i = 0; i < P; ++i) {
            caption("pre filter z" + counter(i, P - 1));
            LUMVEK(boxfilter3dctzms)(iso.slice(i), input.data(), P, 1.2f, p.type2ZEnhance, i);
            showSlice(iso.slice(i));
            ui_.progress(i + 1, P);
            yield();
        }
        return 1.8f;
    }
    // No pre-enhancement; the guide is smoothed as after type 1.
    return 1.2f;
}

void NoiseReduction::saveScratch(const Volume& iso) {
    const std::string path = store_.appFolder + kScratchFile;
    const int P = iso.slices();
    for (int i = 0; i < P; ++i) {
        caption("temp saving " + counter(i, P - 1));
        if (!writeAt(path, int64_t(i) * kSliceBytes, iso.slice(i), kSliceBytes))
            throw WorkspaceError("Cannot write the scratch file " + path + " (is the disk full?). Nothing was appended.");
        yield();
    }
}

void NoiseReduction::firstPass(const ProcessingParameters& p, float smoothSigma,
                               const std::function<std::string(int)>& captionOf, Volume& iso, Volume& input,
                               Volume& guide, std::vector<float>& gx, std::vector<float>& gy, std::vector<float>& gz) {
    const int P = iso.slices();
    // The first pass is steered by the smoothed pass input.
    for (int i = 0; i < P; ++i) {
        caption("smoothnig " + counter(i, P - 1));
        LUMVEK(boxfilter3dctms)(guide.slice(i), input.data(), P, smoothSigma, smoothSigma, 0.0f, i);
        ui_.progress(i + 1, P);
        yield();
    }
    for (int i = 0; i < P; ++i) {
        caption(captionOf(i));
        LUMVEK(vecana3dms)(gx.data(), gy.data(), gz.data(), guide.data(), kSide, kSide, P, 2, 3, i);
        LUMVEK(alongblfilter3dms)(iso.data(), input.data(), guide.data(), gx.data(), gy.data(), gz.data(), kSide, kSide,
                                  P, p.windowHalfWidth, 0.6f, 1.5f * p.rangeSigma1, i);
        showSlice(iso.slice(i));
        ui_.progress(i + 1, P);
        yield();
    }
}

void NoiseReduction::runPasses(const ProcessingParameters& p, float smoothSigma, Volume& iso, Volume& input,
                               Volume& guide) {
    const int P = iso.slices();
    const int passes = p.iterations;
    const std::string scratch = store_.appFolder + kScratchFile;
    std::vector<float> gx(kSlicePixels), gy(kSlicePixels), gz(kSlicePixels);
    for (int v = 0; v < passes; ++v) {
        saveScratch(iso);
        for (int i = 0; i < P; ++i) copySlice(input.slice(i), iso.slice(i));
        const std::string passText = " " + counter(v, passes - 1);
        float blend = 0.75f;
        if (v == 0) {
            firstPass(p, smoothSigma, [&](int i) { return counter(i, P - 1) + passText; }, iso, input, guide, gx, gy, gz);
        } else {
            float prm[10] = {0.5f * p.edgeLow, p.edgeHigh, 0, 0, 0, 1.2f * p.rangeSigma2, 0.6f, 3.0f, 0.3f, 2.0f};
            if (passes == 2 || passes == 3) {
                prm[8] = 0.2f;
                prm[9] = 1.0f;
                blend = passes == 2 ? p.blendRatio : 2 * p.blendRatio;
            }
            for (int i = 0; i < P; ++i) {
                caption(counter(i, P - 1) + passText);
                LUMVEK(vecana3dms)(gx.data(), gy.data(), gz.data(), guide.data(), kSide, kSide, P, 2, 3, i);
                LUMVEK(boxblfilter3dal1ms)(iso.data(), input.data(), guide.data(), gx.data(), gy.data(), gz.data(),
                                           kSide, kSide, P, p.windowHalfWidth, prm, i);
                showSlice(iso.slice(i));
                ui_.progress(i + 1, P);
                yield();
            }
        }
        // The next pass is steered by the enhanced result of this one.
        for (int i = 0; i < P; ++i) {
            caption("enhancing " + counter(i, P - 1));
            LUMVEK(boxfilter3dctms)(guide.slice(i), iso.data(), P, smoothSigma, smoothSigma, kGuideEnhance, i);
            yield();
        }
        if (!(blend > 0.05f)) continue;
        for (int i = 0; i < P; ++i) copySlice(input.slice(i), iso.slice(i));
        for (int i = 0; i < P; ++i) {
            caption("mixing " + counter(i, P - 1));
            if (readAt(scratch, int64_t(i) * kSliceBytes, store_.workImage.data(), kSliceBytes) <
                static_cast<size_t>(kSliceBytes))
                throw WorkspaceError("Cannot read back the scratch file " + scratch + ". Nothing was appended.");
            LUMVEK(boxfilter2dctivms)(store_.referenceImage.data(), store_.workImage.data(), kMixSigma, 0.0f);
            LUMVEK(boxfilter2dctms)(store_.scratchImage.data(), input.slice(i), kMixSigma, 0.0f);
            copySlice(store_.workImage.data(), input.slice(i));
            LUMVEK(ctorgmul)(store_.workImage.data(), store_.referenceImage.data(), store_.scratchImage.data(), blend);
            copySlice(iso.slice(i), store_.workImage.data());
            main_.WWDSP();
            ui_.progress(i + 1, P);
            yield();
        }
    }
}

void NoiseReduction::output(const ProcessingParameters& p, const RunGeometry& g, const Volume& iso) {
    const int16_t ctOffset = store_.workCtOffset;
    const float dfov = store_.currentDfov;
    if (p.zReposition == 1) {
        for (int j = 0; j < g.n; ++j) {
            caption("z-interpolation & saving" + counter(j, g.n - 1));
            const float z = std::fabs(g.inputPositions[static_cast<size_t>(j)] - g.inputPositions[0]);
            LUMVEK(zintp)(store_.workImage.data(), iso.data(), kSide, kSide, iso.slices(), g.pixel, z);
            STAMPMARK(store_, kStampX, kStampY);
            appendSlice(g.start, ctOffset, g.inputPositions[static_cast<size_t>(j)], dfov);
            main_.WWDSP();
            ui_.progress(j + 1, g.n);
            yield();
        }
        return;
    }
    for (int i = 0; i < iso.slices(); ++i) {
        caption("saving" + counter(i, iso.slices() - 1));
        copySlice(store_.workImage.data(), iso.slice(i));
        STAMPMARK(store_, kStampX, kStampY);
        appendSlice(g.start, ctOffset, g.isoPositions[static_cast<size_t>(i)], dfov);
        main_.WWDSP();
        ui_.progress(i + 1, iso.slices());
        yield();
    }
}

void NoiseReduction::NR3D() {
    RunScope scope(*this);
    try {
        if (store_.sliceCount < kMinSlices) {
            ui_.message(kTooFewSlices);
            return;
        }
        int start = 0, end = 0;
        if (!askRange(start, end)) return;
        const int n = end - start + 1;
        if (n > kMaxSlices3d || n < kMinSlices) {
            ui_.message(kTooFewSlices);
            return;
        }
        const ProcessingParameters p = readBoxes();
        if (const std::string problem = parameterProblem(p); !problem.empty()) {
            ui_.message(problem);
            return;
        }
        RunGeometry g;
        if (const std::string problem = geometryProblem(start, end, g); !problem.empty()) {
            ui_.message(problem);
            return;
        }
        if (g.dz < 0.1f) {
            // Repeated or nearly repeated positions: a spacing the user gives
            // sets the positions; keeping one below 0.1 mm ends the run.
            const std::string answer = ui_.prompt("Is this Z-increment correct?", generalSingle(g.dz));
            const float dz = static_cast<float>(leadingNumber(answer));
            if (answer.empty()) return;
            if (!(dz >= 0.1f)) {
                ui_.message("The slice spacing is " + generalSingle(g.dz) +
                            " mm: the run needs slices at least 0.1 mm apart.");
                return;
            }
            g.dz = dz;
            for (int k = 0; k < n; ++k)
                g.inputPositions[static_cast<size_t>(k)] = g.inputPositions[0] + g.sign * static_cast<float>(k) * dz;
        }
        g.isoPositions = cubicGrid(g.inputPositions, g.pixel);
        const int P = g.P();
        if (P < kMinSlices || P > kMaxSlices3d) {
            ui_.message(kTooShortRange);
            return;
        }
        const int outputs = p.zReposition == 1 ? n : P;
        if (store_.sliceCount + outputs > kMaxSlices || store_.tempSlotCount + outputs > kMaxTempSlots) {
            ui_.message("No room for " + std::to_string(outputs) + " more slices (at most " +
                        std::to_string(kMaxSlices) + " in the list, " + std::to_string(kMaxTempSlots) +
                        " in the stack file): clear some slices first.");
            return;
        }

        store_.workCtOffset = store_.slices[static_cast<size_t>(start)].ctOffset;
        store_.currentDfov = store_.slices[static_cast<size_t>(start)].dfov;
        store_.pixelSize = g.pixel;
        ScratchFile scratch(store_.appFolder + kScratchFile);
        Volume iso(P);
        {
            Volume input(n);
            loadRange(g, input);
            resample(g, input, iso);
        }
        Volume input(P), guide(P);
        circularFov_ = textToInt16(ui_.prompt("circular FOV? (1..yes(Canon, GE) 0..no(Siemens)) ", trimmedInt(circularFov_)));
        const float smoothSigma = preEnhance(p, circularFov_, iso, input);
        if (ui_.message("Process will start. ok?", Buttons::YesNo) != Reply::Yes) return;
        runPasses(p, smoothSigma, iso, input, guide);
        output(p, g, iso);
    } catch (const Stopped&) {
        caption("3D-MORV stopped: " + std::to_string(appended_) + " slices appended.");
    }
}

}  // namespace halvex
