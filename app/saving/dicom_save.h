// "DICOM", the main window's save of slices of the list as DICOM files, one
// CT image per file: it asks for the folder, the info file, the range, the
// series and the stamp, checks every answer and every slice, and writes the
// files through dicom/slice_file.h. The header elements come partly from a
// DICOM file of the series (the info file), partly from the slice itself
// (pixels, CT offset, slice location), and the UIDs are made anew.
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
