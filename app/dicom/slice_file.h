// Writing one CT slice as a DICOM file: the UIDs of a save, the header
// runs that every file of a save shares (copied from an info file read with
// DICOMM, or fixed), the per-file elements, and the write that never leaves
// a partial file. Nothing here knows the slice list or asks anybody.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dicom/DICOMM.h"
#include "dicom/dicom_elements.h"

namespace halvex {

// The root of every UID the writer makes; its implementation class UID
// hangs below it, away from the UIDs of the saves.
inline constexpr const char* kWriterUidRoot = "1.2.999.700123.1900.1";
inline constexpr const char* kWriterImplementationClassUid = "1.2.999.700123.1900.1.0.1";
inline constexpr const char* kWriterImplementationVersion = "HALVEX_" HALVEX_VERSION;

// A decimal UID component without leading zeros ("099" -> "99", "000" -> "0").
std::string uidComponent(std::string_view digits);
// True for a UID of at most 64 characters: decimal components without
// leading zeros, separated by single dots.
bool isValidUid(std::string_view uid);
// The date and time components of a stamp answer such as
// "20240131.093000" -> "20240131" and "93000"; nothing unless the answer
// (blanks around it aside) is digits, a point and digits.
std::optional<std::pair<std::string, std::string>> stampComponents(std::string_view answer);

// The UIDs of one save.
struct SaveUids {
    std::string study;
    std::string series;
    std::string frameOfReference;  // used when the info file has none
    std::string instancePrefix;    // up to the running number
    std::string saveToken;         // differs between saves, last component

    // File k (from 0) of the save.
    std::string instance(int k) const { return instancePrefix + std::to_string(k + 1) + "." + saveToken; }
};

// The UIDs for a save of `count` files. `machineNumber` names the machine,
// `saveNumber` the save (only its last digits are used: as many as keep
// every UID of the save within 64 characters, at most 6). Nothing when fewer
// than 3 digits would fit.
std::optional<SaveUids> makeSaveUids(uint32_t machineNumber, const std::string& stampDate, const std::string& stampTime,
                                     int series, int count, uint64_t saveNumber);

// A number that differs for every save of the process; it starts from the
// clock in ms, so that saves of different runs differ as well.
uint64_t nextSaveNumber();

// Decimal strings hold at most 16 characters: the fixed pattern, or the
// general form for values too large for it.
std::string decimalString(double v, std::string_view pattern);
// The backslash-separated values of a text.
std::vector<std::string_view> splitValues(std::string_view text);

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

// Encodes what every file of a save shares: the copied texts of the info
// file (read in `mode`), the UIDs of the save and the fixed values, group by
// group.
SharedRuns encodeSharedRuns(DICOMM& info, int mode, const SaveUids& uids, int series, float thickness, float dfov);

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

// Every element of the header with the longest texts the reader hands over
// (256 bytes each) fits several times over; a header that still does not
// fit is refused, never cut.
inline constexpr size_t kHeaderCapacity = 32768;

// The whole header of one file into `b` (of kHeaderCapacity), up to the
// pixel element's tag and length.
void buildHeader(HeaderBuffer& b, const SharedRuns& p, const FileFields& f);

// Writes the header and the pixels (one slice) with one call: to a temporary
// name beside `path` first, renamed over it once all is written, so that a
// failure never leaves a partial file. Empty on success, else the file
// system's reason.
std::string writeSliceFile(const std::string& path, std::span<const uint8_t> head, const int16_t* pixels);

}  // namespace halvex
