#include "workspace/slice_list.h"

#include <algorithm>

#include "platform/files.h"

namespace halvex {

void fillEntry(SliceInfo& e, const DicomHeader& h, const std::string& path, const std::string& name, unsigned fields) {
    if (fields & kEntryPatient) {
        e.imagePositionZ = h.ZPosition;
        e.patientName = h.PatientName;
    }
    if (fields & kEntryLocation) {
        e.position = h.SliceLocation;
        e.path = path;
        e.name = name;
        e.pixelOffset = h.PixelOffset;
        // A reused entry forgets a decoded slice it held.
        e.sourceFile.clear();
        e.lossy = false;
    }
    if (fields & kEntrySeries) {
        e.series = h.SeriesNumber;
        e.ctOffset = h.RescaleIntercept;
    }
    if (fields & kEntryScan) {
        e.kernel = h.ConvolutionKernel;
        e.dfov = h.FOV;
        e.thickness = h.SliceThickness;
        e.kV = h.KVP;
    }
    if (fields & kEntryExposure) {
        e.mA = h.TubeCurrent;
        e.mAs = h.Exposure;
        e.ctdi = h.CTDIvol;
        e.rotationTime = h.ExposureTime;
    }
}

int32_t STONUM(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9') digits += c;
    digits = "000000000" + digits;
    return static_cast<int32_t>(std::stol(digits.substr(digits.size() - 9)));
}

SliceGeometry sliceGeometry(const ImageStore& store) { return {store.workCtOffset, store.currentDfov, store.pixelSize}; }

void takeGeometry(ImageStore& store, const DicomHeader& header) {
    store.workCtOffset = header.RescaleIntercept;
    store.currentDfov = header.FOV;
    store.pixelSize = header.PixelSpacing;
}

void takeAnalysedGeometry(ImageStore& store, const DicomHeader& header) {
    takeGeometry(store, header);
    if (header.VrMode != VrModes::Unreadable && header.FOV != 0) store.inverseDfov = 1.0f / header.FOV;
}

bool sliceListFull(int count) { return count >= kMaxSlices; }

bool headerHasSlice(const DicomHeader& h, const std::string& path) {
    return h.VrMode != VrModes::Unreadable && h.PixelOffset > 0 &&
           int64_t(h.PixelOffset) + kSliceBytes <= fileLength(path);
}

namespace {

float sortValue(const SliceInfo& e, SortKey key) {
    switch (key) {
        case SortKey::FileNumber: return static_cast<float>(e.fileNumberKey);
        case SortKey::Patient: return static_cast<float>(e.patientKey);
        case SortKey::Kernel: return static_cast<float>(e.kernelKey);
        case SortKey::Series: return static_cast<float>(e.series);
        case SortKey::Position: break;
    }
    return e.position;
}

}  // namespace

void sortSlices(std::vector<SliceInfo>& s, int first, int last, SortKey key, bool descending) {
    for (int i = first; i < last; ++i)
        for (int j = i + 1; j <= last; ++j) {
            float a = sortValue(s[static_cast<size_t>(i)], key), b = sortValue(s[static_cast<size_t>(j)], key);
            if (descending) std::swap(a, b);
            if (a > b) std::swap(s[static_cast<size_t>(i)], s[static_cast<size_t>(j)]);
        }
}

std::vector<std::pair<int, int>> seriesRuns(const std::vector<SliceInfo>& s, int first, int last) {
    constexpr size_t kMaxRuns = 255;
    std::vector<std::pair<int, int>> runs;
    int runStart = first;
    for (int i = first + 1; i <= last + 1 && runs.size() < kMaxRuns; ++i) {
        if (i <= last && s[static_cast<size_t>(i)].series == s[static_cast<size_t>(runStart)].series) continue;
        runs.emplace_back(runStart, i - 1);
        runStart = i;
    }
    return runs;
}

void removeSlices(ImageStore& store, int from, int to) {
    const int oldCount = store.sliceCount;
    store.sliceCount = static_cast<int16_t>(oldCount - (to - from + 1));
    for (int i = to + 1; i < oldCount; ++i) {
        SliceInfo& dst = store.slices[static_cast<size_t>(from + (i - to - 1))];
        // Everything moves but the sort keys, which stay with the index.
        const int32_t fileKey = dst.fileNumberKey, kernelKey = dst.kernelKey, patientKey = dst.patientKey;
        dst = store.slices[static_cast<size_t>(i)];
        dst.fileNumberKey = fileKey, dst.kernelKey = kernelKey, dst.patientKey = patientKey;
    }
}

int16_t nextTempSlot(const ImageStore& store) {
    int next = 0;
    for (int i = 0; i < store.sliceCount; ++i) {
        const SliceInfo& e = store.slices[static_cast<size_t>(i)];
        if (isTempSlot(e)) next = std::max(next, tempSlotOf(e) + 1);
    }
    return static_cast<int16_t>(next);
}

}  // namespace halvex
