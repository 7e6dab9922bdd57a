// The program's state and windows: one ImageStore shared by the windows, and
// the rule that one command runs at a time.
#pragma once

#include <string>
#include <vector>

#include "compare/CTDSP2.h"
#include "dicom/dicom_writer.h"
#include "platform/ports.h"
#include "platform/window_logic.h"
#include "measurement/CTPSFF.h"
#include "noise_reduction/NR3D.h"
#include "workspace/CTDSPF.h"
#include "workspace/image_store.h"

namespace halvex {

class Workspace {
public:
    explicit Workspace(Ui& ui);

    // Starts the main window with its program folder; false when start-up
    // failed (the reason has been shown).
    bool start(const std::string& programFolder);
    void stop();

    WindowLogic* window(const std::string& name);

    // Files and folders named on the command line: loaded as a drop on the
    // view (every regular file of a folder, by name).
    void open(const std::vector<std::string>& paths);

    Ui& ui;
    ImageStore store;
    CommandGuard guard;
    DICOMM dicom;
    CTDSPF main;
    CTPSFF measurement;  // shown by "Measure>"
    NoiseReduction noiseReduction;
    DicomWriter dicomWriter;  // "DICOM"
    CTDSP2 dual;              // shown by "Dual Win"
};

// The folder the program keeps its settings and stack file in, and what the
// user should be told about the choice (empty when nothing went wrong).
struct ProgramFolder {
    std::string path;  // ends with '/'
    std::string note;
};

// The folder asked for with --app-folder when it is a folder the program can
// write in; else, without a request, the program's own folder when it holds
// the shipped settings and can be written (a build); else a per-user data
// folder ($XDG_DATA_HOME/halvex or ~/.local/share/halvex) seeded with the
// shipped settings (beside the executable, or in the install's data folder).
// A request that can't be used, or no usable folder at all, is explained in
// the note.
ProgramFolder resolveProgramFolder(const std::string& executableFolder, const std::string& requested = {});

}  // namespace halvex
