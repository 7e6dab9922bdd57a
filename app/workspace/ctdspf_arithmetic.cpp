// New slices computed from the list: the average of a range or the
// difference of two slices ("Ave Sub", "Ave."), and the coronal or sagittal
// reformat of a stack of axial slices ("MPR"). Each result is appended
// through the stack file and shown.
#include <algorithm>
#include <cmath>
#include <new>

#include "platform/number_text.h"
#include "workspace/CTDSPF.h"

namespace halvex {

namespace {
constexpr int kMprSlices = 1024;  // the most slices a reformat reads
constexpr int16_t kMprBackground = -500;
}  // namespace

bool CTDSPF::readForArithmetic(int index, std::vector<int16_t>& pixels) {
    const std::string problem = readListedSlice(store_, index, pixels);
    if (problem.empty()) return true;
    ui().message(problem + " Nothing was appended.");
    return false;
}

void CTDSPF::appendResult(int16_t ctOffset, int from) {
    const SliceInfo& first = store_.slices[static_cast<size_t>(from)];
    STOREIMG(store_, ctOffset, first.position, first.dfov);
    // The view shows the result with the offset it was stored with.
    store_.workCtOffset = ctOffset;
    WWDSP();
}

bool CTDSPF::averageRange(int a, int b) {
    std::vector<int64_t> sum(kSlicePixels, 0);
    std::vector<int16_t> pixels;
    for (int g = a; g <= b; ++g) {
        if (!readForArithmetic(g, pixels)) return false;
        for (int p = 0; p < kSlicePixels; ++p) sum[size_t(p)] += pixels[size_t(p)];
        setCaption(trimmedInt(g));
        ui().pumpEvents();
    }
    const double count = b - a + 1;
    for (int p = 0; p < kSlicePixels; ++p) store_.workImage[size_t(p)] = roundHalfEven16(double(sum[size_t(p)]) / count);
    return true;
}

void CTDSPF::IMGAVE_Click() {
    const int count = store_.sliceCount;
    if (count <= 0) return;
    const int s = std::max(textToInt(STTX.text()), 1), e = std::min(textToInt(ENTX.text()), count);
    const std::string mode = ui().prompt("Ave...0 Sub...1 = ", trimmedInt(aveSubMode_));
    if (mode.empty()) return;
    aveSubMode_ = textToInt16(mode);
    const bool subtract = aveSubMode_ != 0;
    const std::string first = ui().prompt(subtract ? "Image A (A-B) = " : " From = ", trimmedInt(s));
    if (first.empty()) return;
    const std::string second = ui().prompt(subtract ? "Image B (A-B) = " : " To = ", trimmedInt(e));
    if (second.empty()) return;
    const int a = std::clamp(textToInt(first) - 1, 0, count - 1), b = std::clamp(textToInt(second) - 1, 0, count - 1);
    if (!subtract) {
        // A range that is empty or one slice after clamping does nothing.
        if (a >= b || !averageRange(a, b)) return;
        appendResult(store_.slices[static_cast<size_t>(a)].ctOffset, a);
        return;
    }
    std::vector<int16_t> minuend, subtrahend;
    if (!readForArithmetic(a, minuend) || !readForArithmetic(b, subtrahend)) return;
    // A difference beyond the 16-bit range saturates instead of wrapping.
    for (int p = 0; p < kSlicePixels; ++p)
        store_.workImage[size_t(p)] =
            static_cast<int16_t>(std::clamp<int32_t>(minuend[size_t(p)] - subtrahend[size_t(p)], -32768, 32767));
    appendResult(0, a);
}

void CTDSPF::IMGAVEF_Click() {
    const int count = store_.sliceCount;
    if (count <= 0) return;
    const int a = std::max(textToInt(STTX.text()) - 1, 0), b = std::min(textToInt(ENTX.text()) - 1, count - 1);
    if (a >= b) return;
    const SliceInfo& first = store_.slices[static_cast<size_t>(a)];
    store_.currentDfov = first.dfov;
    store_.currentKv = first.kV;
    if (!averageRange(a, b)) return;
    appendResult(first.ctOffset, a);
}

void CTDSPF::MPRGO_Click() {
    const int count = store_.sliceCount;
    if (count <= 0) return;
    const int x0 = store_.roiLeft, y0 = store_.roiTop;
    const std::string fromText = ui().prompt(" From = ", STTX.text());
    if (fromText.empty()) return;
    const std::string toText = ui().prompt(" To = ", ENTX.text());
    if (toText.empty()) return;
    const int from = std::max(textToInt(fromText) - 1, 0), to = std::min(textToInt(toText) - 1, count - 1);
    if (from >= to) return;
    const int n = std::min(to - from + 1, kMprSlices);
    const bool bottomUp = MPRORDCK.checked();
    const std::string orientation = ui().prompt("Coro..0 Sagi..1 = ", trimmedInt(mprOrientation_));
    if (orientation.empty()) return;
    mprOrientation_ = textToInt16(orientation) != 0 ? 1 : 0;
    const bool sagittal = mprOrientation_ == 1;
    const SliceInfo& head = store_.slices[static_cast<size_t>(from)];
    if (!(head.dfov > 0.0f)) {
        ui().message("MPR: slice " + std::to_string(from + 1) + " has no field of view (DFOV 0): no pixel size.");
        return;
    }
    const double pixel = head.dfov / 512.0;
    store_.pixelSize = static_cast<float>(pixel);
    const std::string planesText = ui().prompt("Image no = ", trimmedInt(sagittal ? store_.roiWidth : store_.roiHeight));
    const int planes = textToInt(planesText);
    if (planes <= 0) return;
    if (store_.sliceCount + planes > kMaxSlices || store_.tempSlotCount + planes > kMaxTempSlots) {
        ui().message("MPR: " + std::to_string(planes) + " planes don't fit in the slice list (" +
                     std::to_string(kMaxSlices) + ") or the stack file (" + std::to_string(kMaxTempSlots) + ").");
        return;
    }
    double dz = std::fabs(double(head.position) - store_.slices[static_cast<size_t>(from + 1)].position);
    if (dz == 0) {
        const std::string increment = ui().prompt("increment = ", "0.5");
        dz = leadingNumber(increment);
        if (increment.empty() || !(dz > 0)) return;
    }

    std::vector<int16_t> volume;
    try {
        volume.resize(size_t(n) * kSlicePixels);
    } catch (const std::bad_alloc&) {
        ui().message("MPR: not enough memory for " + std::to_string(n) + " slices.");
        return;
    }
    std::vector<int16_t> pixels;
    for (int k = 0; k < n; ++k) {
        if (!readForArithmetic(from + k, pixels)) return;
        std::copy(pixels.begin(), pixels.end(), volume.begin() + ptrdiff_t(k) * kSlicePixels);
    }
    std::fill(store_.workImage.begin(), store_.workImage.end(), kMprBackground);
    const int height = std::min(static_cast<int>(std::floor((n - 1) * dz / pixel)), 510);
    const double slab = mprSlab_;
    auto at = [&](int s, int p, int k) {
        const int row = sagittal ? p : k, col = sagittal ? k : p;
        return double(volume[size_t(s) * kSlicePixels + size_t(row) * kSide + col]);
    };
    for (int i = 0; i < planes; ++i) {
        const int plane = std::clamp((sagittal ? x0 : y0) + i, 0, kSide - 1);
        for (int j = 0; j <= height; ++j) {
            const double z = j * pixel / dz;
            int s = static_cast<int>(std::floor(z));
            double f = z - s;
            // The last line may fall on the last slice: that slice alone.
            if (s >= n - 1) s = n - 1, f = 0;
            const int row = bottomUp ? height / 2 - j + 256 : j - height / 2 + 256;
            for (int p = 0; p < kSide; ++p) {
                const double value = f == 0 ? at(s, p, plane) : (1 - f) * at(s, p, plane) + f * at(s + 1, p, plane);
                store_.workImage[size_t(row) * kSide + p] = roundHalfEven16(value / slab);
            }
        }
        STOREIMG(store_, head.ctOffset, static_cast<float>(plane), head.dfov);
        store_.workCtOffset = head.ctOffset;
        BAI2CK.setValue(0);
        store_.zoomOn = 0;
        WWDSP();
        ui().pumpEvents();
    }
}

}  // namespace halvex
