#include "dicom/slice_file.h"

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

#include "dicom/slice_format.h"
#include "platform/number_text.h"

namespace halvex {

namespace {

constexpr const char* kCtImageStorage = "1.2.840.10008.5.1.4.1.1.2";

constexpr size_t kMaxUidLength = 64;
constexpr size_t kMinTokenDigits = 3;
constexpr size_t kMaxTokenDigits = 6;

constexpr size_t kPreambleBytes = 128;
constexpr size_t kMetaLengthAt = 132;
constexpr size_t kMetaElementsStart = 144;  // behind (0002,0000)

// "DICM", (0002,0000) UL with a placeholder length, (0002,0001) OB 00 01.
constexpr uint8_t kMetaTemplate[30] = {0x44, 0x49, 0x43, 0x4D, 0x02, 0x00, 0x00, 0x00, 0x55, 0x4C,
                                       0x04, 0x00, 0xBE, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00,
                                       0x4F, 0x42, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01};

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

}  // namespace

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
        b.putTag(kPixelDataTag);
        b.put32(kSliceBytes);
    }
}

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

SharedRuns encodeSharedRuns(DICOMM& info, int mode, const SaveUids& uids, int series, float thickness, float dfov) {
    const std::string seriesText = formatFixed(series, "00");
    const std::string copiedFrame = info.TAGSTR("00200052", mode);
    const std::string windowCentre = info.TAGSTR("00281050", mode), windowWidth = info.TAGSTR("00281051", mode);
    SharedRuns p;
    p.metaTail = encoded(p.fits, [&](HeaderBuffer& b) {
        PUTUIEXP(b, 0x00020010, kImplicitVrLittleEndian);
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

}  // namespace halvex
