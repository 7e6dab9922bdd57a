// Filling, ordering and trimming the slice list: "Read", "1-File",
// "RawRead", drops, "Clear", the sort and the jumps through the list.
#include <algorithm>

#include "dicom/decoder_process.h"
#include "platform/files.h"
#include "platform/lumvek_binding.h"
#include "platform/number_text.h"
#include "workspace/CTDSPF.h"
#include "workspace/slice_list.h"

namespace halvex {

namespace {
constexpr int64_t kMultiFrameBytes = 2000001;  // a chosen file this long is read as one multi-frame file
constexpr int64_t kMaxRawBytes = 900000;
constexpr size_t kMaxDroppedFiles = 999;
constexpr const char* kFolderPrompt = "Folder name (including \\)=";

}  // namespace

// Asks for the folder of a series, offering the chosen file's folder. An
// empty answer (a cancel) ends the command rather than reading the program
// folder; a missing trailing separator is added.
bool CTDSPF::askFolder(const std::string& chosenFile) {
    std::string answer = ui().prompt(kFolderPrompt, folderOf(chosenFile));
    if (answer.empty()) return false;
    if (answer.back() != '/') answer += '/';
    folderText_ = answer;
    return true;
}

bool CTDSPF::listFull(int n) {
    if (!sliceListFull(n)) return false;
    ui().message("The slice list is full (" + std::to_string(kMaxSlices) + " slices): the remaining files were not read.");
    return true;
}

SliceInfo& CTDSPF::entry(int n) { return store_.slices[static_cast<size_t>(n)]; }

void CTDSPF::followSlice(int index) {
    HS1.setValue(index);
    store_.currentSlice = static_cast<int16_t>(index);
}

// After a loader appended entries oldCount..n-1: the scroll bars, the sort of
// the new part, and the first slice shown when the view was at slice 0.
void CTDSPF::showNewlyRead(int oldCount, int n) {
    store_.sliceCount = static_cast<int16_t>(n);
    if (n <= 0) return;
    for (ScrollBar* bar : store_.sliceScrollBars) bar->setMinimum(0);
    setSliceScrollMaximum(store_, n - 1);
    SSORT(static_cast<int16_t>(oldCount), static_cast<int16_t>(n - 1));
    dicom_.header.PixelLength = 0;
    if (store_.currentSlice == 0) {
        int16_t first = 0;
        IMGDSP(first);
        OVERLAY();
    }
}

void CTDSPF::noteIfCut(std::vector<std::string>& cut, const DicomHeader& h, const std::string& name) {
    if (h.BrokenAt >= 0) cut.push_back(name + " (at byte " + std::to_string(h.BrokenAt) + ")");
}

void CTDSPF::captionCutFiles(const std::vector<std::string>& cut) {
    if (cut.empty()) return;
    if (cut.size() == 1) {
        setCaption(cut.front() + " is cut short: read as far as it is sound");
        return;
    }
    constexpr size_t kNamed = 3;
    std::string names;
    for (size_t i = 0; i < std::min(cut.size(), kNamed); ++i) names += (i ? ", " : "") + cut[i];
    if (cut.size() > kNamed) names += " ...";
    setCaption(std::to_string(cut.size()) + " files are cut short, read as far as they are sound: " + names);
}

void CTDSPF::DSORT_Click() {
    const std::string chosen = ui().openFile("Read", "(*.*)|*.*|");
    store_.currentPath = chosen;
    if (chosen.empty()) return;
    if (fileLength(chosen) >= kMultiFrameBytes) {
        readMultiFrame(chosen);
        return;
    }
    if (!askFolder(chosen)) return;

    const int oldCount = store_.sliceCount;
    int n = oldCount;
    std::vector<CompressedFile> compressed;
    std::vector<std::string> cut;
    const std::vector<std::string> names = folderFiles(folderText_);
    for (size_t i = 0; i < names.size(); ++i) {
        if (listFull(n)) break;
        const std::string& name = names[i];
        const std::string path = store_.currentPath = folderText_ + name;
        const DicomHeader& h = dicom_.DCMHDRREAD(path, sliceGeometry(store_));
        noteIfCut(cut, h, name);
        if (h.Encoding != PixelEncoding::Plain) {
            queueCompressed(compressed, path);
        } else {
            takeGeometry(store_, h);
            if (VrModes::littleEndian(h.VrMode) && headerHasSlice(h, path)) {
                SliceInfo& e = entry(n);
                fillEntry(e, h, path, name, kEntryAll);
                e.fileNumberKey = STONUM(name);
                e.kernelKey = STONUM(e.kernel);
                e.patientKey = STONUM(e.patientName);
                setCaption(name + " " + str(n + 1));
                ++n;
            }
        }
        ui().progress(static_cast<int>(i + 1), static_cast<int>(names.size()));
        ui().pumpEvents();
    }
    n = appendDecoded(compressed, n);
    ui().progress(0, 0);
    showNewlyRead(oldCount, n);
    captionCutFiles(cut);
}

// A multi-frame file: each frame it holds is shown, appended through the
// stack file with this file's intercept and DFOV, and given the header's values.
void CTDSPF::readMultiFrame(const std::string& path) {
    const std::vector<float> positions = dicom_.DCMMULTIREAD(path, sliceGeometry(store_));
    const DicomHeader& h = dicom_.header;
    std::vector<std::string> cut;
    noteIfCut(cut, h, fileNameOf(path));
    if (h.Encoding != PixelEncoding::Plain) {
        const int oldCount = store_.sliceCount;
        std::vector<CompressedFile> compressed;
        queueCompressed(compressed, path);
        showNewlyRead(oldCount, appendDecoded(compressed, oldCount));
        return;
    }
    takeGeometry(store_, h);
    const int n = static_cast<int>(positions.size());
    for (int k = 0; k < n && dicom_.readFrame(path, k, store_.workImage.data()); ++k) {
        const float position = positions[static_cast<size_t>(k)];
        WWDSP();
        STOREIMG(store_, h.RescaleIntercept, position, h.FOV);
        SliceInfo& e = entry(store_.sliceCount - 1);
        fillEntry(e, h, path, e.name, kEntrySeries | kEntryScan | kEntryPatient);
        e.imagePositionZ = position;
        e.lossy = false;
        ui().progress(k + 1, n);
        ui().pumpEvents();
    }
    ui().progress(0, 0);
    captionCutFiles(cut);
}

void CTDSPF::Command3_Click() {
    const std::string chosen = ui().openFile("1-File", "(*.dcm)|*.dcm|(*.*)|*.*|");
    if (chosen.empty()) return;
    store_.currentPath = chosen;
    const int n = store_.sliceCount;
    if (listFull(n)) return;
    if (dicom_.encodingOf(chosen) != PixelEncoding::Plain) {
        readCompressedFile(chosen);
        return;
    }
    const DicomHeader& h = dicom_.DCMANA(chosen, sliceGeometry(store_));
    takeAnalysedGeometry(store_, h);
    std::vector<std::string> cut;
    noteIfCut(cut, h, fileNameOf(chosen));
    captionCutFiles(cut);
    if (!VrModes::littleEndian(h.VrMode)) return;
    if (!headerHasSlice(h, chosen)) {
        ui().message("No 512 x 512 image found in " + fileNameOf(chosen) + ".");
        return;
    }
    fillEntry(entry(n), h, chosen, fileNameOf(chosen), kEntryAll & ~kEntryPatient);
    entry(n).kernelKey = STONUM(h.ConvolutionKernel);
    setCaption(fileNameOf(chosen) + " " + str(n + 1));
    captionCutFiles(cut);
    store_.sliceCount = static_cast<int16_t>(n + 1);
    setSliceScrollMaximum(store_, n);
    followSlice(n);
    if (n == 0) {
        int16_t first = 0;
        IMGDSP(first);
        OVERLAY();
    }
}

void CTDSPF::RAWRD_Click() {
    const std::string chosen = ui().openFile("RawRead", "(*.raw)|*.raw|");
    if (chosen.empty()) return;
    store_.currentPath = chosen;
    if (!askFolder(chosen)) return;
    DicomHeader& h = dicom_.header;
    h.PixelSpacing = static_cast<float>(leadingNumber(ui().prompt(" Pixel size = ", "0.5")));
    h.FOV = h.PixelSpacing * 512;
    store_.pixelSize = h.PixelSpacing;
    store_.currentDfov = h.FOV;
    h.SliceThickness = static_cast<float>(leadingNumber(ui().prompt(" Increment  = ", "0.5")));
    h.TubeCurrent = 0;
    h.Exposure = 0;
    h.ConvolutionKernel = "na";
    h.RescaleIntercept = 0;
    store_.workCtOffset = 0;
    h.KVP = 0;
    h.CTDIvol = 0;
    h.ExposureTime = 0;

    const int oldCount = store_.sliceCount;
    int n = oldCount;
    const std::vector<std::string> names = folderFiles(folderText_, ".raw");
    for (size_t k = 0; k < names.size(); ++k) {
        if (listFull(n)) break;
        const std::string& name = names[k];
        const int64_t length = fileLength(folderText_ + name);
        // A raw slice is 524288 bytes of pixels from byte 0, nothing much more.
        if (length >= kSliceBytes && length < kMaxRawBytes) {
            store_.currentPath = folderText_ + name;
            SliceInfo& e = entry(n);
            fillEntry(e, h, store_.currentPath, name, kEntryAll & ~kEntryPatient);
            e.fileNumberKey = STONUM(name);
            e.kernelKey = 0;
            e.patientKey = 0;
            e.position = static_cast<float>(k) * h.SliceThickness;
            e.pixelOffset = 0;
            e.series = 1;
            ++n;
        }
        setCaption(name + " " + str(n));
        ui().progress(static_cast<int>(k + 1), static_cast<int>(names.size()));
        ui().pumpEvents();
    }
    ui().progress(0, 0);
    if (n == oldCount && oldCount == 0) return;
    showNewlyRead(oldCount, n);
}

void CTDSPF::dropOnView(const std::vector<std::string>& paths) {
    const int oldCount = store_.sliceCount;
    int n = oldCount;
    std::vector<CompressedFile> compressed;
    std::vector<std::string> cut;
    const size_t count = std::min(paths.size(), kMaxDroppedFiles);
    for (size_t i = 0; i < count; ++i) {
        if (listFull(n)) break;
        const std::string& path = paths[i];
        setCaption(path);
        store_.currentPath = path;
        folderText_ = folderOf(path);
        const DicomHeader& h = dicom_.DCMHDRREAD(path, sliceGeometry(store_));
        noteIfCut(cut, h, fileNameOf(path));
        if (h.Encoding != PixelEncoding::Plain) {
            queueCompressed(compressed, path);
            continue;
        }
        takeGeometry(store_, h);
        if (!VrModes::littleEndian(h.VrMode) || !headerHasSlice(h, path)) continue;
        fillEntry(entry(n), h, path, fileNameOf(path), kEntryAll);
        entry(n).fileNumberKey = STONUM(fileNameOf(path));
        ++n;
        ui().pumpEvents();
    }
    n = appendDecoded(compressed, n);
    captionCutFiles(cut);
    if (n == oldCount) return;
    store_.sliceCount = static_cast<int16_t>(n);
    setSliceScrollMaximum(store_, n - 1);
    if (count > 1)
        SSORT(static_cast<int16_t>(oldCount), static_cast<int16_t>(n - 1));
    else
        followSlice(n - 1);
    if (oldCount == 0) {
        int16_t first = 0;
        IMGDSP(first);
        OVERLAY();
    }
}

void CTDSPF::dropOnWindow(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    const std::string& path = paths.front();
    setCaption(path);
    store_.currentPath = path;
    const int n = store_.sliceCount;
    if (listFull(n)) return;
    if (dicom_.encodingOf(path) != PixelEncoding::Plain) {
        readCompressedFile(path);
        return;
    }
    // Analyse first: a file that is not a readable slice adds no entry.
    const DicomHeader& h = dicom_.DCMANA(path, sliceGeometry(store_));
    takeAnalysedGeometry(store_, h);
    std::vector<std::string> cut;
    noteIfCut(cut, h, fileNameOf(path));
    captionCutFiles(cut);
    if (!headerHasSlice(h, path)) {
        ui().message("No 512 x 512 image found in " + fileNameOf(path) + ".");
        return;
    }
    fillEntry(entry(n), h, path, fileNameOf(path), kEntryLocation | kEntrySeries);
    store_.sliceCount = static_cast<int16_t>(n + 1);
    HS1.setMaximum(n);
    setCaption("SERIES=" + str(h.SeriesNumber));
    captionCutFiles(cut);

    readAt(path, h.PixelOffset, store_.workImage.data(), kSliceBytes);
    if (h.VrMode == VrModes::BigEndianOrOther) LUMVEK(varswap)(reinterpret_cast<uint8_t*>(store_.workImage.data()), kSlicePixels);
    store_.workCtOffset = h.RescaleIntercept;
    LUMVEK(ct2trn)(store_.workImage.data(), store_.displayBytes.data(), store_.windowWidth, store_.windowCentre,
                   h.RescaleIntercept);
    PIC1.blit8(store_.displayBytes.data(), kSide, kSide, palette_);
    PIC1.makePersistent();
}

void CTDSPF::queueCompressed(std::vector<CompressedFile>& queue, const std::string& path) {
    CompressedFile f{path, path, dicom_.header, {}};
    if (f.header.Encoding == PixelEncoding::Deflated) {
        // Our reader needs the header inflated: a plain copy beside the
        // cache, read like any file and removed once decoded.
        f.headerFrom = store_.decodedCachePath() + ".plain" + std::to_string(queue.size());
        if (!DecoderProcess().writePlainHeaderCopy(path, f.headerFrom)) {
            f.refusal = "its deflated data set can't be read";
        } else {
            f.header = dicom_.DCMHDRREAD(f.headerFrom, sliceGeometry(store_));
            if (!VrModes::littleEndian(f.header.VrMode)) f.refusal = "its deflated data set can't be read";
        }
    }
    if (f.refusal.empty()) takeGeometry(store_, f.header);
    queue.push_back(std::move(f));
}

int CTDSPF::appendDecoded(std::vector<CompressedFile>& queue, int n) {
    if (queue.empty()) return n;
    setCaption("Decoding " + std::to_string(queue.size()) + " compressed files");
    const std::vector<DecodedSlots> slots =
        decodeIntoCache(store_, queue, [this](int done, int total) {
            ui().progress(done, total);
            ui().pumpEvents();
        });
    std::vector<std::string> refused;
    bool full = false;
    for (size_t i = 0; i < queue.size(); ++i) {
        const CompressedFile& f = queue[i];
        const DecodedSlots& s = slots[i];
        if (!f.refusal.empty()) refused.push_back(fileNameOf(f.path) + ": " + f.refusal + ".");
        if (s.frames == 0 || full) continue;
        // A multi-frame file gives each frame its own position.
        const std::vector<float> positions =
            s.frames > 1 ? dicom_.framePositions(f.headerFrom, s.frames, f.header.SliceLocation) : std::vector<float>{};
        for (int k = 0; k < s.frames; ++k) {
            if ((full = listFull(n))) break;
            SliceInfo& e = entry(n++);
            fillEntry(e, f.header, store_.decodedCachePath(), fileNameOf(f.path), kEntryAll);
            e.pixelOffset = (s.firstSlot + k) * kSliceBytes;
            e.sourceFile = f.path;
            e.lossy = s.lossy;
            e.fileNumberKey = STONUM(e.name);
            e.kernelKey = STONUM(e.kernel);
            e.patientKey = STONUM(e.patientName);
            if (!positions.empty()) e.position = e.imagePositionZ = positions[static_cast<size_t>(k)];
        }
    }
    for (const CompressedFile& f : queue)
        if (f.headerFrom != f.path) std::remove(f.headerFrom.c_str());
    if (refused.size() == 1) {
        ui().message("Not loaded: " + refused.front());
    } else if (!refused.empty()) {
        std::string text = std::to_string(refused.size()) + " files were not loaded:";
        for (const std::string& line : refused) text += "\n" + line;
        ui().message(text);
    }
    return n;
}

void CTDSPF::readCompressedFile(const std::string& path) {
    const int oldCount = store_.sliceCount;
    dicom_.DCMHDRREAD(path, sliceGeometry(store_));
    std::vector<CompressedFile> compressed;
    queueCompressed(compressed, path);
    const int n = appendDecoded(compressed, oldCount);
    if (n == oldCount) return;
    setCaption(fileNameOf(path) + " " + str(n));
    store_.sliceCount = static_cast<int16_t>(n);
    setSliceScrollMaximum(store_, n - 1);
    followSlice(oldCount);
    if (oldCount == 0) {
        int16_t first = 0;
        IMGDSP(first);
        OVERLAY();
    }
}

void CTDSPF::CLRIMG_Click() {
    const std::string answer = ui().prompt("Clear image (0..all image or keep no. or clear range: -1 )",
                                           strSingle(lastClearAnswer_).substr(lastClearAnswer_ < 0 ? 0 : 1));
    // Cancelling the prompt gives the empty text, which would read as 0 and
    // clear the whole list: a cancel clears nothing.
    if (answer.empty()) return;
    lastClearAnswer_ = static_cast<float>(leadingNumber(answer));
    const int k = roundHalfEven(lastClearAnswer_);
    if (k == -1) {
        clearRange();
        return;
    }
    if (k < 0 || k > store_.sliceCount) {
        ui().message("Clear: give 0 to " + std::to_string(store_.sliceCount) + " slices to keep, or -1 for a range.");
        return;
    }
    store_.sliceCount = static_cast<int16_t>(k);
    setSliceScrollMaximum(store_, k - 1);
    keepDualSliceInList();
    if (store_.currentSlice > k - 1) {
        store_.currentSlice = store_.dualCurrentSlice = 0;
        HS1.setValue(0);
        Label1.setCaption("1");
    }
    if (store_.sliceCount == 0) {
        Label1.setCaption("0");
        store_.tempSlotCount = 0;
        store_.decodedSlotCount = 0;  // the decoded-slice cache starts afresh too
        int16_t blank = 9999;
        IMGDSP(blank);
    } else {
        store_.tempSlotCount = nextTempSlot(store_);
    }
    setCaption("");
}

void CTDSPF::keepDualSliceInList() {
    // The comparison window's slice stays a slice of the shorter list.
    store_.dualCurrentSlice = static_cast<int16_t>(std::clamp<int>(store_.dualCurrentSlice, 0, std::max(store_.sliceCount - 1, 0)));
}

void CTDSPF::clearRange() {
    const int from = textToInt(ui().prompt("Clear from = ", "1")) - 1;
    const int to = textToInt(ui().prompt("Clear to = ", "1")) - 1;
    if (to < from) return;
    const int oldCount = store_.sliceCount;
    if (from < 0 || to > oldCount - 1) {
        ui().message("Clear: the range must lie within slices 1 to " + std::to_string(oldCount) + ".");
        return;
    }
    removeSlices(store_, from, to);
    if (store_.sliceCount == 0) {
        setSliceScrollMaximum(store_, -1);
        store_.currentSlice = store_.dualCurrentSlice = 0;
        HS1.setValue(0);
        Label1.setCaption("0");
        store_.tempSlotCount = 0;
        store_.decodedSlotCount = 0;  // the decoded-slice cache starts afresh too
        int16_t blank = 9999;
        IMGDSP(blank);
        setCaption("");
        return;
    }
    setSliceScrollMaximum(store_, store_.sliceCount - 1);
    store_.currentSlice = 0;
    keepDualSliceInList();
    HS1.setValue(0);
    Label1.setCaption("1");
    int16_t first = 0;
    IMGDSP(first);
}

void CTDSPF::SSORT(int16_t first, int16_t last) {
    if (first >= last) return;
    if (!SRSORTCK.checked()) {
        FSORT(first, last, 0);
        return;
    }
    FSORT(first, last, 1);
    for (const auto& [runFirst, runLast] : seriesRuns(store_.slices, first, last))
        FSORT(static_cast<int16_t>(runFirst), static_cast<int16_t>(runLast), 0);
    followSlice(first);
}

void CTDSPF::FSORT(int16_t first, int16_t last, int16_t keyMode) {
    // The option buttons in the order "FileName", "SlicePos", "PatName", "Kernel".
    static constexpr SortKey kOptionKeys[] = {SortKey::FileNumber, SortKey::Position, SortKey::Patient, SortKey::Kernel};
    const int option = OP1.selected();
    const SortKey key = keyMode == 1 ? SortKey::Series
                        : option >= 0 && option < 4 ? kOptionKeys[option]
                                                    : SortKey::Position;
    sortSlices(store_.slices, first, last, key, descending_ != 0);
    if (keyMode == 0) followSlice(first);
}

void CTDSPF::PRVSR_Click() {
    if (store_.sliceCount <= 0) return;
    const int b = store_.currentSlice / 10;
    followSlice(b < 1 ? 0 : 10 * b - 1);
}

void CTDSPF::NXTSR_Click() {
    if (store_.sliceCount <= 0) return;
    followSlice(std::min(10 * ((store_.currentSlice + 1) / 10 + 1) - 1, store_.sliceCount - 1));
}

void CTDSPF::STENLBL_Click(int index) {
    const int slice = textToInt((index == 0 ? STTX : ENTX).text()) - 1;
    if (slice < 0 || slice >= store_.sliceCount) return;
    followSlice(slice);
}

}  // namespace halvex
