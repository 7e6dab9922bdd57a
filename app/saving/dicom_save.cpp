#include "saving/dicom_save.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

#include "dicom/decoder_process.h"
#include "dicom/slice_file.h"
#include "platform/files.h"
#include "platform/lumvek_binding.h"
#include "platform/number_text.h"

namespace halvex {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFolderTitle = "保存先のフォルダを選択してください";
constexpr const char* kUnsupported = "unsupported DICOM type!!";
constexpr const char* kDone = "dcmsave is done";

constexpr int kMaxSeries = 9999;
constexpr int kExitAnswer = 9999;
// A read whose pixel element was longer than this was a multi-frame file.
constexpr int32_t kMultiFramePixelLength = 600000;
// A multi-frame info file is longer than one slice file can be.
constexpr int64_t kMinMultiFrameBytes = 600000;

std::string currentStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return formatFixed(t.tm_year + 1900, "0000") + formatFixed(t.tm_mon + 1, "00") + formatFixed(t.tm_mday, "00") +
           "." + formatFixed(t.tm_hour, "00") + formatFixed(t.tm_min, "00") + formatFixed(t.tm_sec, "00");
}

std::string fileName(int k) { return formatFixed(k + 1, "0000") + ".dcm"; }

std::string writtenFiles(int written) {
    if (written == 0) return "no file written";
    if (written == 1) return fileName(0) + " written";
    return fileName(0) + " to " + fileName(written - 1) + " written";
}

}  // namespace

struct DicomWriter::Request {
    std::string folder;
    std::string infoPath;
    int from = 0, to = 0, series = 1;
    std::string stampDate, stampTime;
    float thickness = 0;
    // The single-slice writer places slices through the info series' relation
    // between location and z; frames of a multi-frame file lie at their location.
    bool zThroughInfo = true;
};

std::string DicomWriter::BROWSEFOLDER() {
    std::string folder = ui_.chooseFolder(kFolderTitle);
    folder = folder.substr(0, folder.find('\0'));
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

void DicomWriter::DICOMSVBTN_Click(const MainWindowValues& main) {
    if (reader_.header.PixelLength <= kMultiFramePixelLength)
        DCMSAVE(main);
    else
        DCMSAVEMULTI(main);
}

bool DicomWriter::askFolder(Request& r) {
    if (store_.sliceCount <= 0) {
        ui_.message("no data!");
        return false;
    }
    r.folder = BROWSEFOLDER();
    if (r.folder.empty()) return false;
    std::error_code ec;
    if (fs::is_directory(r.folder, ec)) return true;
    ui_.message("The folder " + r.folder + " does not exist.");
    return false;
}

void DicomWriter::DCMSAVE(const MainWindowValues& main) {
    Request r;
    if (!askFolder(r)) return;
    const std::string answer = ui_.prompt("Orig. image no.(for DICOM info) ", trimmedInt(single_.infoImage + 1));
    if (answer.empty()) return;
    const int info = textToInt(answer) - 1;
    if (info < 0 || info >= store_.sliceCount) {
        ui_.message("Orig. image no.: give a slice number from 1 to " + std::to_string(store_.sliceCount) + ".");
        return;
    }
    const SliceInfo& infoSlice = store_.slices[static_cast<size_t>(info)];
    if (isTempSlot(infoSlice)) {
        ui_.message("Slice " + std::to_string(info + 1) + " (" + infoSlice.name +
                    ") was made by the program and has no DICOM file: give a slice read from a DICOM file.");
        return;
    }
    single_.infoImage = info;
    if (!askRange(main, single_, r) || !askSeriesAndStamp(single_, r)) return;
    // A decoded slice's header is its compressed file's.
    r.infoPath = infoSlice.sourceFile.empty() ? infoSlice.path : infoSlice.sourceFile;
    r.thickness = infoSlice.thickness;
    r.zThroughInfo = true;
    save(main, r);
}

void DicomWriter::DCMSAVEMULTI(const MainWindowValues& main) {
    Request r;
    if (!askFolder(r)) return;
    r.infoPath = ui_.openFile("DICOM info file", "(*.*)|*.*|");
    if (r.infoPath.empty()) return;
    if (fileLength(r.infoPath) < kMinMultiFrameBytes) {
        ui_.message(r.infoPath + " is not a multi-frame DICOM file: choose the file the frames were read from.");
        return;
    }
    if (!askRange(main, multi_, r) || !askSeriesAndStamp(multi_, r)) return;
    r.thickness = store_.slices[0].thickness;
    r.zThroughInfo = false;
    save(main, r);
}

bool DicomWriter::askRange(const MainWindowValues& main, Settings& settings, Request& r) {
    const int count = store_.sliceCount;
    const std::string fromAnswer = ui_.prompt("Processed From (9999:exit)= ", main.startText);
    if (fromAnswer.empty() || textToInt(fromAnswer) == kExitAnswer) return false;
    const int from = textToInt(fromAnswer) - 1;
    if (from < 0 || from >= count) {
        ui_.message("Processed From: give a slice number from 1 to " + std::to_string(count) + ".");
        return false;
    }
    const std::string toAnswer = ui_.prompt("Processed To (9999:exit)= ", main.endText);
    if (toAnswer.empty() || textToInt(toAnswer) == kExitAnswer) return false;
    const int to = textToInt(toAnswer) - 1;
    if (to < from || to >= count) {
        ui_.message("Processed To: give a slice number from " + std::to_string(from + 1) + " to " +
                    std::to_string(count) + ".");
        return false;
    }
    settings.from = r.from = from;
    settings.to = r.to = to;
    return true;
}

bool DicomWriter::askSeriesAndStamp(Settings& settings, Request& r) {
    const std::string seriesAnswer = ui_.prompt("series no", trimmedInt(settings.series));
    if (seriesAnswer.empty()) return false;
    const int series = textToInt(seriesAnswer);
    if (series < 0 || series > kMaxSeries) {
        ui_.message("series no: give a number from 0 to " + std::to_string(kMaxSeries) + ".");
        return false;
    }
    settings.series = r.series = series;
    const std::string stampAnswer = ui_.prompt("sudy date time", currentStamp());
    if (stampAnswer.empty()) return false;
    const auto stamp = stampComponents(stampAnswer);
    if (!stamp) {
        ui_.message("Study date time: give digits, a point and digits, as in 20240131.093000.");
        return false;
    }
    r.stampDate = stamp->first;
    r.stampTime = stamp->second;
    return true;
}

void DicomWriter::save(const MainWindowValues& main, const Request& r) {
    // The info file: only its head is read, and its transfer syntax is
    // checked once, before any file is written.
    int64_t infoLength = info_.loadSearchHead(r.infoPath);
    // A deflated info file's head is read again from a plain copy, made and
    // removed here: only its head is kept.
    if (infoLength >= 0 &&
        pixelEncodingOf(info_.TAGSTR("00020010", VrModes::ExplicitLittle)) == PixelEncoding::Deflated) {
        const std::string plainCopy = store_.decodedCachePath() + ".info";
        if (DecoderProcess().writePlainHeaderCopy(r.infoPath, plainCopy)) infoLength = info_.loadSearchHead(plainCopy);
        std::remove(plainCopy.c_str());
    }
    if (infoLength < 0 || !info_.hasDicomPrefix()) {
        ui_.message(r.infoPath + " is not a readable DICOM file.");
        return;
    }
    const std::string syntax = info_.TAGSTR("00020010", VrModes::ExplicitLittle);
    // A compressed file's header before its pixels is explicit VR little
    // endian like any other.
    const int mode = syntax == kImplicitVrLittleEndian   ? VrModes::ImplicitLittle
                     : syntax == kExplicitVrLittleEndian || pixelEncodingOf(syntax) == PixelEncoding::Encapsulated
                         ? VrModes::ExplicitLittle
                         : -1;
    if (mode < 0) {
        ui_.message(kUnsupported);
        return;
    }

    const int n = r.to - r.from + 1;
    uint32_t machine = 9999;
    LUMVEK(volumeget)(&machine);
    const std::optional<SaveUids> uids = makeSaveUids(machine, r.stampDate, r.stampTime, r.series, n, nextSaveNumber());
    if (!uids) {
        ui_.message(
            "The UIDs of this save would be longer than 64 characters: give a shorter study date time or "
            "series number.");
        return;
    }

    auto slice = [this](int i) -> const SliceInfo& { return store_.slices[static_cast<size_t>(i)]; };
    auto unreadable = [&](int i) {
        return "Slice " + std::to_string(i + 1) + " (" + slice(i).name + ") can't be read: its file " +
               (isTempSlot(slice(i)) ? store_.tempStackPath() : slice(i).path) + " is missing or too short.";
    };
    // Every slice must be readable before the first file is written.
    for (int i = r.from; i <= r.to; ++i) {
        if (!slicePixelsAvailable(store_, slice(i))) {
            ui_.message(unreadable(i) + " Nothing was saved.");
            return;
        }
    }

    // The image position's first two values: the info file's, else the
    // corner of the first slice's field of view.
    const std::string positionText = info_.TAGSTR("00200032", mode);
    const std::vector<std::string_view> position = splitValues(positionText);
    const float dfov = slice(r.from).dfov;
    const std::string corner = decimalString(-dfov / 2 + dfov / (2 * kSide), "0.000");
    const std::string xy =
        position.size() >= 3 ? std::string(position[0]) + "\\" + std::string(position[1]) : corner + "\\" + corner;
    ZRelation relation;
    if (r.zThroughInfo && position.size() >= 3) {
        const float zInfo = static_cast<float>(leadingNumber(position[2]));
        const std::string location = info_.TAGSTR("00201041", mode);
        relation = ZRelation::of(zInfo, location.empty() ? zInfo : static_cast<float>(leadingNumber(location)));
    }

    const SharedRuns shared = encodeSharedRuns(info_, mode, *uids, r.series, r.thickness, dfov);
    if (!shared.fits) {
        ui_.message("The header of the files does not fit.");
        return;
    }

    std::vector<std::string> existing;
    for (int k = 0; k < n; ++k) {
        std::error_code ec;
        if (fs::exists(r.folder + fileName(k), ec)) existing.push_back(fileName(k));
    }
    if (!existing.empty()) {
        const std::string more =
            existing.size() > 1 ? " and " + std::to_string(existing.size() - 1) + " more of the files to save" : "";
        if (ui_.message(r.folder + " already holds " + existing.front() + more + ". Replace them?", Buttons::YesNo) !=
            Reply::Yes)
            return;
    }

    HeaderBuffer header(kHeaderCapacity);
    std::vector<int16_t> pixels(kSlicePixels);
    const std::string keptPath = store_.currentPath;
    int written = 0;
    std::string failure;
    for (int k = 0; k < n && failure.empty(); ++k) {
        const int i = r.from + k;
        const SliceInfo& e = slice(i);
        const bool read = slicePixelsAvailable(store_, e) && readSlicePixels(store_, e, pixels.data());
        store_.currentPath = keptPath;  // the save leaves the workspace as it was
        if (!read) {
            failure = unreadable(i);
            break;
        }
        const float location = e.position;
        const float z = r.zThroughInfo ? relation.z(location) : location;
        // The intercept is the slice's own CT offset (slope 1), so that the
        // saved values read back as the same CT numbers.
        // Slices the program made are marked as derived.
        const std::string_view imageType = isTempSlot(e) ? "DERIVED\\SECONDARY\\AXIAL" : "ORIGINAL\\SECONDARY\\AXIAL";
        buildHeader(
            header, shared,
            FileFields{uids->instance(k), imageType, formatFixed(k, "000"), xy + "\\" + decimalString(z, "0.000"),
                       decimalString(location, "0.000"), trimmedInt(e.ctOffset), e.lossy});
        const std::string path = r.folder + fileName(k);
        if (header.overflowed()) {
            failure = "The header of " + path + " does not fit.";
            break;
        }
        const std::string error = writeSliceFile(path, header.written(), pixels.data());
        if (!error.empty()) {
            failure = "Cannot write " + path + ": " + error + ".";
            break;
        }
        ++written;
        if (main.setCaption) main.setCaption("dcmsave " + std::to_string(k + 1) + "/" + std::to_string(n));
        ui_.progress(k + 1, n);
        ui_.pumpEvents();
    }
    ui_.progress(0, 0);
    if (!failure.empty()) {
        if (main.setCaption) main.setCaption("dcmsave stopped: " + writtenFiles(written));
        ui_.message(failure + " The save ended: " + writtenFiles(written) + ".");
        return;
    }
    if (main.setCaption) main.setCaption(kDone);
}

}  // namespace halvex
