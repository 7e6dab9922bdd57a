// Saving slices of the image store as DICOM files, one CT image per file:
// the "DICOM" button of the main window. The header elements come partly
// from a DICOM file of the series (the info file), partly from the slice
// itself (pixels, CT offset, slice location), and the UIDs are made anew.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "dicom/DICOMM.h"
#include "platform/ports.h"
#include "workspace/image_store.h"

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

// What a save takes from the main window.
struct MainWindowValues {
    std::string startText;  // STTX: the default first slice
    std::string endText;    // ENTX: the default last slice
    std::function<void(const std::string&)> setCaption;
};

class DicomWriter {
public:
    // The answers that are offered again at the next save.
    struct Settings {
        int infoImage = 0;  // 0-based slot whose file is the info file
        int from = 0;
        int to = 0;
        int series = 1;
    };

    // `reader` is the workspace's reader: its last header tells whether the
    // slices came from a multi-frame file.
    DicomWriter(ImageStore& store, const DICOMM& reader, Ui& ui) : store_(store), reader_(reader), ui_(ui) {}

    // "DICOM": DCMSAVEMULTI after a multi-frame file was read, else DCMSAVE.
    void DICOMSVBTN_Click(const MainWindowValues& main);
    // Saves a range with the header of a slice of the store (its file).
    void DCMSAVE(const MainWindowValues& main);
    // Saves a range with the header of a multi-frame file chosen in a dialog.
    void DCMSAVEMULTI(const MainWindowValues& main);
    // The output folder with its trailing separator, or the empty text.
    std::string BROWSEFOLDER();

private:
    struct Request;

    // Each step asks, checks the answer and says what is wrong with it;
    // false ends the save before anything is written.
    bool askFolder(Request& r);
    bool askRange(const MainWindowValues& main, Settings& settings, Request& r);
    bool askSeriesAndStamp(Settings& settings, Request& r);
    void save(const MainWindowValues& main, const Request& r);

    ImageStore& store_;
    const DICOMM& reader_;
    Ui& ui_;
    DICOMM info_;  // the info file's head, apart from the workspace's reads
    Settings single_;
    Settings multi_;
};

}  // namespace halvex
