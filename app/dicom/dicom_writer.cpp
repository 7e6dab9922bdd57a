#include "dicom/dicom_writer.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <span>
#include <vector>

#include "dicom/decoder_process.h"
#include "dicom/dicom_elements.h"
#include "platform/files.h"
#include "platform/lumvek_binding.h"
#include "platform/number_text.h"

namespace halvex {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFolderTitle = "保存先のフォルダを選択してください";
constexpr const char* kCtImageStorage = "1.2.840.10008.5.1.4.1.1.2";
constexpr const char* kImplicitSyntax = "1.2.840.10008.1.2";
constexpr const char* kExplicitSyntax = "1.2.840.10008.1.2.1";
constexpr const char* kUnsupported = "unsupported DICOM type!!";
constexpr const char* kDone = "dcmsave is done";

constexpr size_t kMaxUidLength = 64;
constexpr size_t kMinTokenDigits = 3;
constexpr size_t kMaxTokenDigits = 6;
constexpr int kMaxSeries = 9999;
constexpr int kExitAnswer = 9999;
// A read whose pixel element was longer than this was a multi-frame file.
constexpr int32_t kMultiFramePixelLength = 600000;
// A multi-frame info file is longer than one slice file can be.
constexpr int64_t kMinMultiFrameBytes = 600000;

// Every element of the header with the longest texts the reader hands over
// (256 bytes each) fits several times over; a header that still does not
// fit is refused, never cut.
constexpr size_t kHeaderCapacity = 32768;
constexpr size_t kPreambleBytes = 128;
constexpr size_t kMetaLengthAt = 132;
constexpr size_t kMetaElementsStart = 144;  // behind (0002,0000)

// "DICM", (0002,0000) UL with a placeholder length, (0002,0001) OB 00 01.
constexpr uint8_t kMetaTemplate[30] = {0x44, 0x49, 0x43, 0x4D, 0x02, 0x00, 0x00, 0x00, 0x55, 0x4C,
                                       0x04, 0x00, 0xBE, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00,
                                       0x4F, 0x42, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr DicomTag kPixelData = 0x7FE00010;

// Decimal strings hold at most 16 characters: the fixed pattern, or the
// general form for values too large for it.
std::string decimalString(double v, std::string_view pattern) {
    std::string text = formatFixed(v, pattern);
    return text.size() <= 16 ? text : generalSingle(static_cast<float>(v));
}

std::vector<std::string_view> splitValues(std::string_view text) {
    std::vector<std::string_view> values;
    for (size_t start = 0;;) {
        const size_t end = text.find('\\', start);
        values.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return values;
        start = end + 1;
    }
}

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

// Where the saved slices lie along z. A slice with location L gets
// z = zInfo + (L - Linfo) * d, with zInfo and Linfo the info file's image
// position z and slice location, and d = +1 when that file's location equals
// its z, -1 when it equals -z (locations counted the other way), else +1.
// So the info series' own slices keep their z, whatever the direction of the
// range or its length (one slice included).
struct ZRelation {
    float zInfo = 0;
    float locationInfo = 0;
    float direction = 1;

    float z(float location) const { return zInfo + (location - locationInfo) * direction; }

    static ZRelation of(float zInfo, float locationInfo) {
        constexpr float kSame = 0.0005f;  // below the 0.001 mm the texts carry
        ZRelation r{zInfo, locationInfo, 1};
        if (std::fabs(locationInfo - zInfo) > kSame && std::fabs(locationInfo + zInfo) <= kSame) r.direction = -1;
        return r;
    }
};

// The runs of elements that every file of a save shares, encoded once.
// Per file only the SOP instance UID, the image type, the instance number,
// the position, the location and the intercept are written between them.
struct SharedRuns {
    std::vector<uint8_t> metaTail, group08Head, group08Tail, group10, group18, group20Head, group20Tail, group28Head,
        group28Tail;
    bool fits = true;
};

template <class Fill>
std::vector<uint8_t> encoded(bool& fits, Fill fill) {
    HeaderBuffer b(kHeaderCapacity);
    fill(b);
    fits = fits && !b.overflowed();
    return {b.written().begin(), b.written().end()};
}

void putShared(HeaderBuffer& b, const std::vector<uint8_t>& run) {
    if (b.reserve(run.size())) b.put(run);
}

// What differs between the files of one save.
struct FileFields {
    std::string sopInstance;
    std::string_view imageType;
    std::string instance;
    std::string position;
    std::string location;
    std::string intercept;
    bool lossy = false;  // pixels that went through lossy compression
};

void buildHeader(HeaderBuffer& b, const SharedRuns& p, const FileFields& f) {
    b.setPosition(kPreambleBytes);
    if (b.reserve(sizeof kMetaTemplate)) b.put(kMetaTemplate);
    PUTUIEXP(b, 0x00020002, kCtImageStorage);  // media storage SOP class
    PUTUIEXP(b, 0x00020003, f.sopInstance);
    putShared(b, p.metaTail);
    const size_t metaEnd = b.position();
    b.setPosition(kMetaLengthAt);
    PUTULEXP(b, 0x00020000, static_cast<uint32_t>(metaEnd - kMetaElementsStart));
    b.setPosition(metaEnd);

    size_t group = beginGroup(b, 0x0008);
    putShared(b, p.group08Head);
    PUTTEXT(b, 0x00080008, f.imageType);
    PUTUI(b, 0x00080016, kCtImageStorage);
    PUTUI(b, 0x00080018, f.sopInstance);
    putShared(b, p.group08Tail);
    endGroup(b, group);

    putShared(b, p.group10);
    putShared(b, p.group18);

    group = beginGroup(b, 0x0020);
    putShared(b, p.group20Head);
    PUTTEXT(b, 0x00200013, f.instance);
    PUTTEXT(b, 0x00200032, f.position);
    putShared(b, p.group20Tail);
    PUTTEXT(b, 0x00201041, f.location);
    endGroup(b, group);

    group = beginGroup(b, 0x0028);
    putShared(b, p.group28Head);
    PUTTEXT(b, 0x00281052, f.intercept);
    putShared(b, p.group28Tail);
    // Once lossy, always lossy: the file says so for whoever reads it next.
    if (f.lossy) PUTTEXT(b, 0x00282110, "01");
    endGroup(b, group);

    // The pixel element's tag and length; the pixels follow in the same write.
    if (b.reserve(8)) {
        b.putTag(kPixelData);
        b.put32(kSliceBytes);
    }
}

// Writes the header and the pixels with one call: to a temporary name beside
// `path` first, renamed over it once all is written, so that a failure never
// leaves a partial file. Empty on success, else the file system's reason.
std::string writeSliceFile(const std::string& path, std::span<const uint8_t> head, const int16_t* pixels) {
    static_assert(std::endian::native == std::endian::little, "pixels are written as they lie in memory");
    const std::string unfinished = path + ".tmp";
    const int fd = ::open(unfinished.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return std::strerror(errno);
    iovec pieces[2] = {{const_cast<uint8_t*>(head.data()), head.size()},
                       {const_cast<int16_t*>(pixels), static_cast<size_t>(kSliceBytes)}};
    std::string error;
    int first = 0;
    while (first < 2) {
        const ssize_t n = ::writev(fd, pieces + first, 2 - first);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? std::strerror(errno) : "the file system took no bytes";
            break;
        }
        // A short write goes on where it stopped.
        auto done = static_cast<size_t>(n);
        while (first < 2 && done >= pieces[first].iov_len) done -= pieces[first++].iov_len;
        if (first < 2) {
            pieces[first].iov_base = static_cast<uint8_t*>(pieces[first].iov_base) + done;
            pieces[first].iov_len -= done;
        }
    }
    if (::close(fd) != 0 && error.empty()) error = std::strerror(errno);
    if (error.empty() && std::rename(unfinished.c_str(), path.c_str()) != 0) error = std::strerror(errno);
    if (!error.empty()) ::unlink(unfinished.c_str());
    return error;
}

// Encodes what every file of a save shares: the copied texts, the UIDs of
// the save and the fixed values, group by group.
SharedRuns encodeSharedRuns(DICOMM& info, int mode, const SaveUids& uids, int series, float thickness, float dfov) {
    const std::string seriesText = formatFixed(series, "00");
    const std::string copiedFrame = info.TAGSTR("00200052", mode);
    const std::string windowCentre = info.TAGSTR("00281050", mode), windowWidth = info.TAGSTR("00281051", mode);
    SharedRuns p;
    p.metaTail = encoded(p.fits, [&](HeaderBuffer& b) {
        PUTUIEXP(b, 0x00020010, kImplicitSyntax);
        PUTUIEXP(b, 0x00020012, kWriterImplementationClassUid);
        PUTTEXTEXP(b, 0x00020013, "SH", kWriterImplementationVersion);
    });
    p.group08Head = encoded(p.fits, [&](HeaderBuffer& b) { PUTCOPY(b, 0x00080005, info, mode); });
    p.group08Tail = encoded(p.fits, [&](HeaderBuffer& b) {
        putCopyOr(b, 0x00080020, info, mode, "");  // study date
        PUTCOPY(b, 0x00080021, info, mode);
        PUTCOPY(b, 0x00080022, info, mode);
        putCopyOr(b, 0x00080030, info, mode, "");  // study time
        PUTCOPY(b, 0x00080031, info, mode);
        PUTCOPY(b, 0x00080032, info, mode);
        putCopyOr(b, 0x00080050, info, mode, "");    // accession number
        putCopyOr(b, 0x00080060, info, mode, "CT");  // modality
        putCopyOr(b, 0x00080070, info, mode, "");    // manufacturer
        putCopyOr(b, 0x00080090, info, mode, "");    // referring physician
    });
    p.group10 = encoded(p.fits, [&](HeaderBuffer& b) {
        const size_t group = beginGroup(b, 0x0010);
        for (DicomTag tag : {0x00100010u, 0x00100020u, 0x00100030u, 0x00100040u}) putCopyOr(b, tag, info, mode, "");
        PUTCOPY(b, 0x00101010, info, mode);
        endGroup(b, group);
    });
    p.group18 = encoded(p.fits, [&](HeaderBuffer& b) {
        const size_t group = beginGroup(b, 0x0018);
        // A thickness nobody knows is left empty rather than written as 0.
        PUTTEXT(b, 0x00180050, thickness > 0 ? decimalString(thickness, "0.0000") : "");
        putCopyOr(b, 0x00180060, info, mode, "");  // kVp
        for (DicomTag tag : {0x00180090u, 0x00181100u, 0x00181150u, 0x00181151u, 0x00181152u, 0x00181190u, 0x00181210u})
            PUTCOPY(b, tag, info, mode);
        putCopyOr(b, 0x00185100, info, mode, "");  // patient position
        endGroup(b, group);
    });
    p.group20Head = encoded(p.fits, [&](HeaderBuffer& b) {
        PUTUI(b, 0x0020000D, uids.study);
        PUTUI(b, 0x0020000E, uids.series);
        PUTTEXT(b, 0x00200010, "9999");      // study ID
        PUTTEXT(b, 0x00200011, seriesText);  // series number
        PUTTEXT(b, 0x00200012, seriesText);  // acquisition number
    });
    p.group20Tail = encoded(p.fits, [&](HeaderBuffer& b) {
        putCopyOr(b, 0x00200037, info, mode, "1\\0\\0\\0\\1\\0");
        PUTUI(b, 0x00200052, isValidUid(copiedFrame) ? copiedFrame : uids.frameOfReference);
        putCopyOr(b, 0x00200060, info, mode, "");  // laterality
        putCopyOr(b, 0x00201040, info, mode, "");  // position reference indicator
    });
    p.group28Head = encoded(p.fits, [&](HeaderBuffer& b) {
        PUTUS(b, 0x00280002, 1);
        putCopyOr(b, 0x00280004, info, mode, "MONOCHROME2");
        PUTUS(b, 0x00280010, kSide);
        PUTUS(b, 0x00280011, kSide);
        // Without a field of view the pixels are taken as 1 mm: the spacing
        // may not be 0.
        const std::string spacing = dfov > 0 ? decimalString(dfov / kSide, "0.000000") : "1";
        putCopyOr(b, 0x00280030, info, mode, spacing + "\\" + spacing);
        PUTUS(b, 0x00280100, 16);
        PUTUS(b, 0x00280101, 16);
        PUTUS(b, 0x00280102, 15);
        PUTUS(b, 0x00280103, 1);
        // A window centre means nothing without its width.
        if (!windowCentre.empty() && !windowWidth.empty()) {
            PUTTEXT(b, 0x00281050, windowCentre);
            PUTTEXT(b, 0x00281051, windowWidth);
        }
    });
    p.group28Tail = encoded(p.fits, [&](HeaderBuffer& b) {
        PUTTEXT(b, 0x00281053, "1");
        PUTTEXT(b, 0x00281054, "HU");
    });

    return p;
}

}  // namespace

std::string uidComponent(std::string_view digits) {
    const size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string(digits.empty() ? "" : "0") : std::string(digits.substr(first));
}

bool isValidUid(std::string_view uid) {
    if (uid.empty() || uid.size() > kMaxUidLength) return false;
    size_t start = 0;
    for (;;) {
        const size_t dot = uid.find('.', start);
        const std::string_view c = uid.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (c.empty() || c.find_first_not_of("0123456789") != std::string_view::npos || (c.size() > 1 && c[0] == '0'))
            return false;
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}

std::optional<std::pair<std::string, std::string>> stampComponents(std::string_view answer) {
    const size_t first = answer.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    answer = answer.substr(first, answer.find_last_not_of(" \t") - first + 1);
    const size_t point = answer.find('.');
    if (point == std::string_view::npos) return std::nullopt;
    const std::string_view date = answer.substr(0, point), time = answer.substr(point + 1);
    auto digitsOnly = [](std::string_view t) {
        return !t.empty() && t.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!digitsOnly(date) || !digitsOnly(time)) return std::nullopt;
    return std::make_pair(uidComponent(date), uidComponent(time));
}

std::optional<SaveUids> makeSaveUids(uint32_t machineNumber, const std::string& stampDate, const std::string& stampTime,
                                     int series, int count, uint64_t saveNumber) {
    // The machine number with its top bit cleared, as its last 8 digits.
    const std::string machineDigits = formatFixed(machineNumber & 0x7FFFFFFFu, "00000000");
    const std::string machine = uidComponent(std::string_view(machineDigits).substr(machineDigits.size() - 8));
    const std::string base = std::string(kWriterUidRoot) + ".99." + machine;
    const std::string stamp = uidComponent(stampDate) + "." + uidComponent(stampTime);
    const std::string seriesComponent = uidComponent(formatFixed(series, "00"));

    SaveUids u;
    u.study = base + ".0." + stamp;
    u.series = base + ".1." + stamp + "." + seriesComponent;
    u.instancePrefix = base + ".2." + stamp + "." + seriesComponent + ".";
    // The last file has the longest running number; the save's token gets
    // what room that UID leaves.
    const size_t longest = u.instancePrefix.size() + std::to_string(count).size() + 1;
    if (longest + kMinTokenDigits > kMaxUidLength) return std::nullopt;
    uint64_t modulus = 1;
    for (size_t d = std::min(kMaxTokenDigits, kMaxUidLength - longest); d > 0; --d) modulus *= 10;
    u.saveToken = std::to_string(saveNumber % modulus);
    u.frameOfReference = base + ".3." + stamp + "." + u.saveToken;
    for (const std::string& uid : {u.study, u.series, u.frameOfReference, u.instance(count - 1)})
        if (!isValidUid(uid)) return std::nullopt;
    return u;
}

uint64_t nextSaveNumber() {
    // Kept for the process on purpose: two workspaces of one process must not
    // hand out the same number either.
    static std::atomic<uint64_t> next{static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count())};
    return next++;
}

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
    const int mode = syntax == kImplicitSyntax   ? VrModes::ImplicitLittle
                     : syntax == kExplicitSyntax || pixelEncodingOf(syntax) == PixelEncoding::Encapsulated
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
